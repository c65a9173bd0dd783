// Block averages. Each block spans BW + 1 columns and BH + 1 rows, so the
// border column X = Col*BW and row Y = Row*BH belong to two blocks, and the
// last block column and row always reach past the picture's edge. The sums
// are gathered row by row: each row adds its four (overlapping) column runs
// to the block rows that contain it.
#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "picture/Bitmap32.h"
#include "signature/Signature.h"

namespace corvane {

namespace {

struct ChannelSums {
    int64_t red = 0, green = 0, blue = 0;
    void Add(const ChannelSums& other) {
        red += other.red;
        green += other.green;
        blue += other.blue;
    }
};

// Sums of one run of pixels, in 16-bit lanes of 256 steps at a time (256 x
// 255 cannot overflow a lane) that are then widened into the 64-bit totals.
ChannelSums SumRun(const TColor32* p, int32_t count) {
    ChannelSums sums;
#ifdef __SSE2__
    const __m128i redBlueMask = _mm_set1_epi32(0x00FF00FF);
    const __m128i greenMask = _mm_set1_epi32(0x000000FF);
    const __m128i lowHalf = _mm_set1_epi32(0x0000FFFF);
    while (count >= 4) {
        const int32_t steps = std::min(count / 4, 256);
        __m128i redBlue = _mm_setzero_si128(), green = _mm_setzero_si128();
        for (int32_t i = 0; i < steps; ++i, p += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            redBlue = _mm_add_epi16(redBlue, _mm_and_si128(v, redBlueMask));
            green = _mm_add_epi16(green, _mm_and_si128(_mm_srli_epi32(v, 8), greenMask));
        }
        count -= steps * 4;
        alignas(16) uint32_t blue4[4], red4[4], green4[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(blue4), _mm_and_si128(redBlue, lowHalf));
        _mm_store_si128(reinterpret_cast<__m128i*>(red4), _mm_srli_epi32(redBlue, 16));
        _mm_store_si128(reinterpret_cast<__m128i*>(green4), green);
        for (int k = 0; k < 4; ++k) {
            sums.blue += blue4[k];
            sums.red += red4[k];
            sums.green += green4[k];
        }
    }
#endif
    for (int32_t i = 0; i < count; ++i) {
        sums.red += (p[i] >> 16) & 0xFFu;
        sums.green += (p[i] >> 8) & 0xFFu;
        sums.blue += p[i] & 0xFFu;
    }
    return sums;
}

}  // namespace

TSignature ComputeSignature(const TBitmap32& raster) {
    const int32_t w = raster.Width();
    const int32_t h = raster.Height();
    const int64_t bw = (static_cast<int64_t>(w) + 3) / 4;
    const int64_t bh = (static_cast<int64_t>(h) + 3) / 4;
    ChannelSums blocks[4][4];  // [col][row]
    int64_t inside[4][4] = {};

    if (!raster.Empty()) {
        for (int32_t y = 0; y < h; ++y) {
            const TColor32* line = raster.ScanLine(y);
            ChannelSums runs[4];
            int64_t runLength[4];
            for (int c = 0; c < 4; ++c) {
                const int64_t x0 = std::min<int64_t>(c * bw, w);
                const int64_t x1 = std::min<int64_t>((c + 1) * bw + 1, w);  // exclusive
                runLength[c] = x1 - x0;
                runs[c] = SumRun(line + x0, static_cast<int32_t>(runLength[c]));
            }
            // Row y lies in block row y / bh, and also in the one above when
            // it is that block row's bottom border.
            const int64_t rowBelow = y / bh;
            for (int64_t r = (y % bh == 0 && rowBelow > 0) ? rowBelow - 1 : rowBelow;
                 r <= rowBelow && r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    blocks[c][r].Add(runs[c]);
                    inside[c][r] += runLength[c];
                }
            }
        }
    }

    const int64_t positions = (bw + 1) * (bh + 1);
    const TColor32 outer = raster.OuterColor();
    TSignature result;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            const int64_t outside = positions - inside[c][r];
            const ChannelSums& s = blocks[c][r];
            result.At(c + 1, r + 1, 1) =
                static_cast<int32_t>((s.red + outside * RedComponent(outer)) / positions);
            result.At(c + 1, r + 1, 2) =
                static_cast<int32_t>((s.green + outside * GreenComponent(outer)) / positions);
            result.At(c + 1, r + 1, 3) =
                static_cast<int32_t>((s.blue + outside * BlueComponent(outer)) / positions);
        }
    }
    return result;
}

}  // namespace corvane
