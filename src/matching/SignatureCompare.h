// Comparison of two signatures against the match margin.
#pragma once

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

}  // namespace corvane
