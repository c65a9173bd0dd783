// Writes the seed pictures of the format fuzzers: MakeSeeds OUTDIR (one
// folder per format below it).
#include <filesystem>
#include <string>

#include "FormatWriters.h"

using namespace corvane;
using namespace corvane::testing;

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::filesystem::path out = argv[1];
    for (const char* dir : {"png", "webp", "tiff", "heif"})
        std::filesystem::create_directories(out / dir);
    TBitmap32 raster;
    raster.SetSize(24, 16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 24; ++x)
            raster.SetPixel(x, y,
                            static_cast<TColor32>((x * 10) << 16 | (y * 15) << 8 | (x ^ y) * 9 |
                                                  ((x + y) * 11 % 256) << 24));
    const auto put = [&](const char* dir, const std::string& name, const std::vector<uint8_t>& b) {
        WriteBytes((out / dir / name).string(), b);
    };
    put("png", "plain.png", EncodePNG(raster));
    put("png", "alpha16.png", EncodePNG(raster, {.Alpha = true, .SixteenBits = true}));
    put("png", "interlaced.png", EncodePNG(raster, {.Interlaced = true}));
    put("png", "gray.png", EncodePNG(raster, {.Gray = true}));
    put("webp", "lossless.webp", EncodeWebP(raster, true));
    put("webp", "alpha.webp", EncodeWebP(raster, true, true));
    put("webp", "lossy.webp", EncodeWebP(raster, false, false, 50));
    put("webp", "lossyalpha.webp", EncodeWebP(raster, false, true, 50));
    put("webp", "animated.webp", EncodeAnimatedWebP(raster));
    put("tiff", "plain.tif", EncodeTIFF(raster));
    put("tiff", "alpha.tif", EncodeTIFF(raster, {.Alpha = true}));
    put("tiff", "deflate16.tif", EncodeTIFF(raster, {.SixteenBits = true, .Deflate = true}));
    put("tiff", "pages.tif", EncodeTIFF(raster, {.Pages = 2}));
    put("heif", "lossy.heic", EncodeHEIF(raster, false, false, 30));
    put("heif", "alpha.heic", EncodeHEIF(raster, false, false, 30, true));
    put("heif", "lossy.avif", EncodeHEIF(raster, true, false, 30));
    return 0;
}
