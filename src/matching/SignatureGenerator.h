// Collections of signatures shaped like real photo collections, for tests and
// benchmarks of the match search: many dark, bright and near-grey pictures,
// and clusters of near-duplicates.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "signature/Signature.h"

namespace corvane {

inline std::vector<TSignature> GenerateSignatures(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    std::vector<TSignature> result;
    result.reserve(count);
    while (result.size() < count) {
        TSignature base;
        const int kind = uniform(0, 9);
        const int level = kind < 3   ? uniform(0, 50)
                          : kind < 5 ? uniform(190, 255)
                                     : uniform(20, 235);
        const int spread = kind < 5   ? 45
                           : kind < 7 ? 60
                                      : 110;  // dark/bright, near-grey, colourful
        const bool grey = kind == 5 || kind == 6;
        for (int block = 0; block < 16; ++block) {
            const int blockLevel = std::clamp(level + uniform(-spread, spread), 0, 255);
            for (int ch = 0; ch < 3; ++ch) {
                const int tint = grey ? uniform(-3, 3) : uniform(-spread / 2, spread / 2);
                base.Values[block * 3 + ch] = std::clamp(blockLevel + tint, 0, 255);
            }
        }
        result.push_back(base);
        // A cluster of near-duplicates now and then (resized, recompressed).
        const int copies = uniform(0, 9) < 3 ? uniform(1, 3) : 0;
        for (int c = 0; c < copies && result.size() < count; ++c) {
            TSignature copy = base;
            const int noise = uniform(0, 1) ? 2 : 12;
            for (auto& v : copy.Values) v = std::clamp(v + uniform(-noise, noise), 0, 255);
            result.push_back(copy);
        }
    }
    return result;
}

}  // namespace corvane
