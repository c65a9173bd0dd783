// Writers of PNG, WebP, TIFF and HEIF/AVIF files from a raster, for tests,
// benchmarks and fuzz seeds: each uses the format's own library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/Bitmap32.h"

namespace corvane::testing {

struct TPngWriteOptions {
    bool Alpha = false;        // keep the raster's alpha bytes
    bool SixteenBits = false;  // each sample v written as v x 257
    bool Interlaced = false;
    bool Gray = false;  // the green channel as gray
};
std::vector<uint8_t> EncodePNG(const TBitmap32& raster, const TPngWriteOptions& options = {});

// Lossless keeps every pixel; lossy at the quality given.
std::vector<uint8_t> EncodeWebP(const TBitmap32& raster, bool lossless, bool alpha = false,
                                float quality = 90);
// Two frames, the first the raster, the second its inverse.
std::vector<uint8_t> EncodeAnimatedWebP(const TBitmap32& raster);

struct TTiffWriteOptions {
    bool Alpha = false;  // unassociated alpha
    bool SixteenBits = false;
    bool Deflate = false;
    int Pages = 1;  // later pages are the inverse picture
};
std::vector<uint8_t> EncodeTIFF(const TBitmap32& raster, const TTiffWriteOptions& options = {});

// HEVC (or AV1 when Avif) at the quality given, or lossless.
std::vector<uint8_t> EncodeHEIF(const TBitmap32& raster, bool avif, bool lossless, int quality = 90,
                                bool alpha = false);

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

}  // namespace corvane::testing
