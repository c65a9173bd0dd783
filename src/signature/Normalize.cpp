// Brightness equalisation. The map sends each brightness S (red + green +
// blue) to the number of 768ths of the pixels darker than S, built with the
// same double steps as the stored signatures were; every rounding below is to
// the nearest integer with halves to even, and an integer-by-double product
// is rounded as the exact product would be.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture/Bitmap32.h"
#include "signature/Rounding.h"
#include "signature/Signature.h"

namespace corvane {

namespace {

constexpr int kLevels = 769;  // brightness 0..765, and three unused slots

inline int Brightness(TColor32 p) {
    return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF));
}

std::vector<int32_t> BuildMap(const std::vector<int64_t>& hist, int64_t total) {
    std::vector<int32_t> map(kLevels, 0);
    const double perStep = static_cast<double>(total) / 768.0;
    double acc = 0;
    double level = 0;
    for (int s = 0; s < kLevels; ++s) {
        while (acc >= perStep) {
            acc = acc - perStep;
            level = level + 1;
        }
        map[s] = static_cast<int32_t>(level);
        acc = acc + static_cast<double>(hist[s]);
    }
    const double stretch = 768.0 / level;
    for (int s = 0; s < kLevels; ++s) map[s] = static_cast<int32_t>(RoundProduct(map[s], stretch));
    return map;
}

}  // namespace

int64_t RoundProduct(int64_t n, double factor) {
    const double a = static_cast<double>(n);
    const double product = a * factor;
    const double error = std::fma(a, factor, -product);  // exact product = product + error
    const double floorP = std::floor(product);
    // A tie of the rounded product is decided by the sign of the lost part.
    if (product - floorP == 0.5 && error != 0.0)
        return static_cast<int64_t>(error > 0 ? floorP + 1 : floorP);
    return static_cast<int64_t>(std::nearbyint(product));  // halves to even
}

void NormalizeBrightness(TBitmap32& raster) {
    if (raster.Empty()) return;  // no pixels: the step loop would never end
    const size_t count = static_cast<size_t>(raster.Width()) * static_cast<size_t>(raster.Height());
    TColor32* pixels = raster.Bits();

    std::vector<int64_t> hist(kLevels, 0);
    for (size_t i = 0; i < count; ++i) ++hist[Brightness(pixels[i])];
    const std::vector<int32_t> map = BuildMap(hist, static_cast<int64_t>(count));

    // New channel values for every (brightness, channel value) pair present;
    // a channel never exceeds the brightness, nor 255.
    std::vector<uint8_t> scaled(static_cast<size_t>(766) * 256, 0);
    for (int s = 0; s <= 765; ++s) {
        if (hist[s] == 0) continue;
        const double factor = static_cast<double>(map[s] + 1) / static_cast<double>(s + 1);
        for (int v = 0; v <= s && v <= 255; ++v) {
            const int64_t value = RoundProduct(v, factor);
            scaled[static_cast<size_t>(s) * 256 + v] =
                static_cast<uint8_t>(value > 255 ? 255 : value);
        }
    }

    for (size_t i = 0; i < count; ++i) {
        const TColor32 p = pixels[i];
        const uint8_t* row = &scaled[static_cast<size_t>(Brightness(p)) * 256];
        pixels[i] = (static_cast<TColor32>(row[(p >> 16) & 0xFF]) << 16) |
                    (static_cast<TColor32>(row[(p >> 8) & 0xFF]) << 8) | row[p & 0xFF];
    }
}

}  // namespace corvane
