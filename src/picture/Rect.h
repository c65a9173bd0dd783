// TRect: the one rectangle type of the picture library.
#pragma once

#include <cstdint>

namespace corvane {

// Rectangle with exclusive right and bottom edges.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TRect&) const = default;
};

}  // namespace corvane
