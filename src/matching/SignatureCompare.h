// Comparison of two signatures against the match margin.
#pragma once

#include <array>
#include <cstdint>

#include "signature/Signature.h"

namespace corvane {

// True when every compared value is at most Margin: with PerChannel the 48
// channel differences |A - B|, otherwise the 16 block sums of the three
// channel differences. Blocks are visited in text order and the first value
// above the margin ends the comparison. MaxDiff receives the largest value
// compared (before the failing one); callers read it only after true.
// Symmetric in A and B; allocation-free.
bool SignaturesMatch(const TSignature& a, const TSignature& b, int32_t margin, bool perChannel,
                     int32_t& maxDiff);

// The arrangements of a signature's 4 x 4 blocks that a turned or mirrored
// copy of the picture has, numbered like the EXIF orientations: 1 as it is,
// 2 mirrored left to right, 3 turned by 180 degrees, 4 mirrored top to
// bottom, 5 mirrored about the top-left to bottom-right diagonal, 6 turned
// 90 degrees clockwise, 7 mirrored about the other diagonal, 8 turned 90
// degrees anticlockwise.
inline constexpr int kArrangementCount = 8;
// Block number (column x 4 + row, from 0) of the source block that lands on
// each block in arrangement A (1..8).
const std::array<uint8_t, 16>& ArrangementBlocks(int arrangement);
// Values (48, in storage order) laid out in arrangement A.
template <class T>
void ArrangeValues(const T* values, int arrangement, T* arranged) {
    const std::array<uint8_t, 16>& from = ArrangementBlocks(arrangement);
    for (int block = 0; block < 16; ++block)
        for (int channel = 0; channel < 3; ++channel)
            arranged[3 * block + channel] = values[3 * from[block] + channel];
}

// A copy of the picture of A turned or mirrored (arrangements 2..8) matches
// B: true when A in one of those arrangements matches B, with MaxDiff the
// smallest of their MaxDiffs. The arrangement as it is is left to
// SignaturesMatch.
bool ArrangedSignaturesMatch(const TSignature& a, const TSignature& b, int32_t margin,
                             bool perChannel, int32_t& maxDiff);

}  // namespace corvane
