// Template part of SignatureSnapshot.h.
#pragma once

#include <cstdlib>
#include <optional>
#include <string_view>

#include "matching/SignatureCompare.h"
#include "util/Exception.h"

namespace corvane {

namespace snapshot_detail {

// SignaturesMatch over values held as bytes: the same blocks in the same
// order, the same early return and the same MaxDiff.
inline bool CompactSignaturesMatch(const uint8_t* a, const uint8_t* b, int32_t margin,
                                   bool perChannel, int32_t& maxDiff) {
    maxDiff = 0;
    for (int block = 0; block < 16; ++block, a += 3, b += 3) {
        const int32_t d0 = std::abs(int32_t{a[0]} - int32_t{b[0]});
        const int32_t d1 = std::abs(int32_t{a[1]} - int32_t{b[1]});
        const int32_t d2 = std::abs(int32_t{a[2]} - int32_t{b[2]});
        if (perChannel) {
            if (d0 > margin) return false;
            if (d0 > maxDiff) maxDiff = d0;
            if (d1 > margin) return false;
            if (d1 > maxDiff) maxDiff = d1;
            if (d2 > margin) return false;
            if (d2 > maxDiff) maxDiff = d2;
        } else {
            const int32_t sum = d0 + d1 + d2;
            if (sum > margin) return false;
            if (sum > maxDiff) maxDiff = sum;
        }
    }
    return true;
}

// The bound text as the prefix form of the hot data, when it has 4 characters.
inline bool BoundPrefix(const std::string& boundText, uint32_t& prefix) {
    if (boundText.size() != 4) return false;
    prefix = 0;
    for (const char c : boundText) prefix = prefix << 8 | static_cast<uint8_t>(c);
    return true;
}

}  // namespace snapshot_detail

template <class TOnMatch>
TRangeScanResult RangeScanSnapshot(const TSignatureSnapshot& snapshot, size_t position,
                                   const std::string& boundText, int32_t margin, bool perChannel,
                                   TOnMatch&& onMatch) {
    using namespace snapshot_detail;
    TRangeScanResult result;
    const TSignatureSnapshot::THot& pictureHot = snapshot.Hot(position);
    const uint8_t* pictureValues = snapshot.CompactValues(position);
    // Only a picture whose values do not all fit in bytes needs them parsed.
    std::optional<TSignature> pictureSignature;
    if (!pictureHot.Compact) pictureSignature = snapshot.Values(position);
    const std::string_view pictureName = snapshot.FullName(position);
    uint32_t bound = 0;
    const bool fourCharacterBound = BoundPrefix(boundText, bound);
    for (size_t i = position; i < snapshot.Size(); ++i) {
        ++result.Visited;
        const TSignatureSnapshot::THot& hot = snapshot.Hot(i);
        if (hot.Ignored != pictureHot.Ignored) continue;
        // A 192-character text is above a 4-character bound exactly when its
        // first 4 characters are not below it.
        const bool above = fourCharacterBound && hot.LongText ? hot.Prefix >= bound
                                                              : snapshot.TextAbove(i, boundText);
        if (above) break;
        if (!hot.Parsed) continue;  // damaged: the next compute run recomputes it
        int32_t maxDiff = 0;
        const bool match = pictureHot.Compact && hot.Compact
                               ? CompactSignaturesMatch(pictureValues, snapshot.CompactValues(i),
                                                        margin, perChannel, maxDiff)
                               : SignaturesMatch(pictureHot.Compact ? snapshot.Values(position)
                                                                    : *pictureSignature,
                                                 snapshot.Values(i), margin, perChannel, maxDiff);
        if (!match) continue;
        if (snapshot.FullName(i) == pictureName) continue;
        onMatch(i, maxDiff);
    }
    return result;
}

template <class TOnMatch>
TRangeScanResult RangeScanIndexed(const TSignatureSnapshot& snapshot, size_t position,
                                  const std::string& boundText, int32_t margin, bool perChannel,
                                  TOnMatch&& onMatch) {
    // The table scan visits records from the picture on and stops at the
    // first one of the picture's ignore status whose text is above the bound;
    // texts ascend, so the first text above the bound is found directly.
    const size_t low = snapshot.FirstAbove(position, boundText);
    const bool pictureIgnored = snapshot.Hot(position).Ignored;
    const size_t stop = snapshot.NextWithStatus(low, pictureIgnored);
    TRangeScanResult result;
    result.Visited = static_cast<int64_t>(stop < snapshot.Size() ? stop + 1 : stop) -
                     static_cast<int64_t>(position);
    // Every match lies before the stop: a candidate above the bound differs
    // from the picture by more than the margin in its first value.
    thread_local std::vector<TFoundMatch> found;
    snapshot.RangeMatches(position, margin, perChannel, found);
    const std::string_view pictureName = snapshot.FullName(position);
    for (const TFoundMatch& match : found)
        if (snapshot.FullName(match.Position) != pictureName)
            onMatch(match.Position, match.MaxDiff);
    return result;
}

}  // namespace corvane
