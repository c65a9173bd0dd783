// Pictures for the JPEG tests, made with the library itself, and a plain
// reference decode with the library's defaults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane::testing {

using Bytes = std::vector<uint8_t>;

// A smooth colour pattern with some detail, as BGR rows.
Bytes PatternBGR(uint32_t width, uint32_t height);
// A gray ramp with some noise, one byte per pixel.
Bytes PatternGray(uint32_t width, uint32_t height);

// Baseline (or progressive) 4:2:0 YCbCr JPEG of PatternBGR.
Bytes MakeColorJpeg(uint32_t width, uint32_t height, int quality = 90, bool progressive = false);
// Baseline JPEG of PatternBGR whose luma has the sampling factors given and
// whose chroma has 1 x 1 (2, 1: 4:2:2; 1, 2: 4:4:0).
Bytes MakeSampledJpeg(uint32_t width, uint32_t height, int lumaH, int lumaV);
// One-component JPEG of PatternGray.
Bytes MakeGrayJpeg(uint32_t width, uint32_t height);
// Four-component files (JCS_CMYK stored as CMYK, or as YCCK).
Bytes MakeFourComponentJpeg(uint32_t width, uint32_t height, bool ycck);
// Three-component file stored as RGB (no colour transform).
Bytes MakeRgbJpeg(uint32_t width, uint32_t height);

struct ReferenceImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int components = 0;  // 3: R, G, B bytes; 1: gray
    Bytes pixels;
    std::vector<uint8_t> grayLevels;  // colormap when quantised
};
// Plain libjpeg decode: defaults after jpeg_read_header (JDCT_ISLOW, fancy
// upsampling), RGB output; grayscale files quantised to 236 levels (indices
// in pixels, levels in grayLevels).
// FancyUpsampling false: chroma rows and columns repeated instead.
ReferenceImage ReferenceDecode(const Bytes& jpeg, bool fancyUpsampling = true);

// Offset of the SOF0 marker's height field, or 0.
size_t FrameSizeOffset(const Bytes& jpeg);

}  // namespace corvane::testing
