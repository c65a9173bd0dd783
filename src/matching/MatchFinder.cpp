#include "matching/MatchFinder.h"

#include <algorithm>

#include "matching/SignatureCompare.h"

namespace corvane {

namespace {

TSignature FromBytes(const TSignatureIndex::TValues& values) {
    TSignature s;
    std::copy(values.begin(), values.end(), s.Values.begin());
    return s;
}

}  // namespace

bool ToByteValues(const TSignature& signature, TSignatureIndex::TValues& values) {
    bool inRange = true;
    for (int k = 0; k < TSignature::kValues; ++k) {
        const int32_t v = signature.Values[k];
        inRange &= v >= 0 && v <= 255;
        values[k] = static_cast<uint8_t>(v);
    }
    return inRange;
}

TMatchFinder::TMatchFinder(std::vector<TValues> values, std::vector<bool> ignored)
    : values_(std::move(values)), ignored_(std::move(ignored)), index_(values_) {}

void TMatchFinder::RangeMatches(uint32_t position, int32_t margin, bool perChannel,
                                std::vector<TFoundMatch>& out) const {
    Collect(position, position + 1, margin, perChannel, out);
}

void TMatchFinder::AllMatches(uint32_t position, int32_t margin, bool perChannel,
                              std::vector<TFoundMatch>& out) const {
    Collect(position, 0, margin, perChannel, out);
}

void TMatchFinder::Collect(uint32_t position, uint32_t firstCandidate, int32_t margin,
                           bool perChannel, std::vector<TFoundMatch>& out) const {
    out.clear();
    // Later positions in BySignature order never have a smaller first value.
    index_.FindNear(values_[position], margin, firstCandidate > position, near_);
    std::sort(near_.begin(), near_.end());
    const TSignature picture = FromBytes(values_[position]);
    for (uint32_t candidate : near_) {
        if (candidate < firstCandidate || candidate == position) continue;
        if (ignored_[candidate] != ignored_[position]) continue;
        int32_t maxDiff = 0;
        if (SignaturesMatch(picture, FromBytes(values_[candidate]), margin, perChannel, maxDiff))
            out.push_back({candidate, maxDiff});
    }
}

size_t TMatchFinder::MemoryUsed() const {
    return values_.capacity() * sizeof(TValues) + ignored_.capacity() / 8 + index_.MemoryUsed() +
           near_.capacity() * sizeof(uint32_t);
}

}  // namespace corvane
