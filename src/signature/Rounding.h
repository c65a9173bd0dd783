// Rounding used by brightness normalisation, where stored signatures depend
// on every bit.
#pragma once

#include <cstdint>

namespace corvane {

// n * factor rounded to the nearest integer, halves to even, as if the
// product were computed exactly (it needs at most 63 significant bits).
int64_t RoundProduct(int64_t n, double factor);

}  // namespace corvane
