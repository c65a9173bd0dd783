// Internal: turning rows of a TBitmap's pixels into 32-bit colours.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "picture/Graphics.h"

namespace corvane {

// One bit-field channel widened to 8 bits: value := lut[((p & mask) >> shift) >> reduce].
class TChannelWidener {
  public:
    explicit TChannelWidener(uint32_t mask);
    uint32_t operator()(uint32_t pixel) const {
        return lut_.empty() ? 0u : lut_[((pixel & mask_) >> shift_) >> reduce_];
    }

  private:
    uint32_t mask_;
    int shift_ = 0;
    int reduce_ = 0;
    std::vector<uint8_t> lut_;
};

// Expands whole rows of one bitmap into 0x00RRGGBB colours.
class TRowExpander {
  public:
    explicit TRowExpander(const TBitmap& bitmap);
    // Writes Width colours of row y to out.
    void Expand(int32_t y, TColor32* out) const;

  private:
    void ExpandBitFields(const uint8_t* row, TColor32* out) const;

    const TBitmap& bitmap_;
    std::array<TColor32, 256> lut_{};
    std::vector<TColor32> lut16_;  // every 16-bit pixel value resolved once
    TChannelWidener red_, green_, blue_;
    bool plain32_;
};

}  // namespace corvane
