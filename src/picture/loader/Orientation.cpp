#include "picture/loader/Orientation.h"

#include <vector>

namespace corvane {

void OrientRaster(TBitmap32& raster, int orientation) {
    if (orientation < 2 || orientation > 8 || raster.Empty()) return;
    const int32_t w = raster.Width();
    const int32_t h = raster.Height();
    const std::vector<TColor32> source(raster.Bits(), raster.Bits() + static_cast<size_t>(w) * h);
    const bool swapsSides = orientation >= 5;
    const int32_t outWidth = swapsSides ? h : w;
    const int32_t outHeight = swapsSides ? w : h;
    // The source position of each target position (x, y).
    const auto at = [&](int32_t x, int32_t y) -> TColor32 {
        int32_t sx = x, sy = y;
        switch (orientation) {
            case 2:
                sx = w - 1 - x;
                break;
            case 3:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case 4:
                sy = h - 1 - y;
                break;
            case 5:
                sx = y;
                sy = x;
                break;
            case 6:
                sx = y;
                sy = h - 1 - x;
                break;
            case 7:
                sx = w - 1 - y;
                sy = h - 1 - x;
                break;
            case 8:
                sx = w - 1 - y;
                sy = x;
                break;
        }
        return source[static_cast<size_t>(sy) * w + sx];
    };
    raster.SetSizeForOverwrite(outWidth, outHeight);
    for (int32_t y = 0; y < outHeight; ++y) {
        TColor32* row = raster.ScanLine(y);
        for (int32_t x = 0; x < outWidth; ++x) row[x] = at(x, y);
    }
}

}  // namespace corvane
