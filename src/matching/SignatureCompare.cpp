#include "matching/SignatureCompare.h"

#include <cstdlib>

namespace corvane {

bool SignaturesMatch(const TSignature& a, const TSignature& b, int32_t margin, bool perChannel,
                     int32_t& maxDiff) {
    maxDiff = 0;
    const int32_t* pa = a.Values.data();
    const int32_t* pb = b.Values.data();
    for (int block = 0; block < 16; ++block, pa += 3, pb += 3) {
        const int32_t d0 = std::abs(pa[0] - pb[0]);
        const int32_t d1 = std::abs(pa[1] - pb[1]);
        const int32_t d2 = std::abs(pa[2] - pb[2]);
        if (perChannel) {
            for (const int32_t d : {d0, d1, d2}) {
                if (d > margin) return false;
                if (d > maxDiff) maxDiff = d;
            }
        } else {
            const int32_t sum = d0 + d1 + d2;
            if (sum > margin) return false;
            if (sum > maxDiff) maxDiff = sum;
        }
    }
    return true;
}

namespace {

std::array<std::array<uint8_t, 16>, kArrangementCount> MakeArrangements() {
    std::array<std::array<uint8_t, 16>, kArrangementCount> blocks{};
    for (int a = 1; a <= kArrangementCount; ++a)
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row) {
                // The block a viewer turning the picture by orientation A
                // shows at (col, row).
                int sc = col, sr = row;
                switch (a) {
                    case 2:
                        sc = 3 - col;
                        break;
                    case 3:
                        sc = 3 - col;
                        sr = 3 - row;
                        break;
                    case 4:
                        sr = 3 - row;
                        break;
                    case 5:
                        sc = row;
                        sr = col;
                        break;
                    case 6:
                        sc = row;
                        sr = 3 - col;
                        break;
                    case 7:
                        sc = 3 - row;
                        sr = 3 - col;
                        break;
                    case 8:
                        sc = 3 - row;
                        sr = col;
                        break;
                }
                blocks[a - 1][col * 4 + row] = static_cast<uint8_t>(sc * 4 + sr);
            }
    return blocks;
}

}  // namespace

const std::array<uint8_t, 16>& ArrangementBlocks(int arrangement) {
    static const auto blocks = MakeArrangements();
    return blocks[arrangement - 1];
}

bool ArrangedSignaturesMatch(const TSignature& a, const TSignature& b, int32_t margin,
                             bool perChannel, int32_t& maxDiff) {
    bool found = false;
    for (int arrangement = 2; arrangement <= kArrangementCount; ++arrangement) {
        TSignature arranged;
        ArrangeValues(a.Values.data(), arrangement, arranged.Values.data());
        int32_t diff = 0;
        if (!SignaturesMatch(arranged, b, margin, perChannel, diff)) continue;
        if (!found || diff < maxDiff) maxDiff = diff;
        found = true;
    }
    return found;
}

}  // namespace corvane
