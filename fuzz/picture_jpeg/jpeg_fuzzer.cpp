// libFuzzer target: any bytes loaded as a .JPG and assigned into a raster,
// the way the picture loader does it. Failures must be exceptions, never
// crashes, hangs or unbounded allocations.
#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/Bitmap32.h"
#include "picture/jpeg/JPEGImage.h"

namespace {

// Keeps single runs fast; the size checks themselves are exercised by the
// header read, which runs for every input.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;

// The JPEG library is not instrumented, so its coverage is invisible to the
// fuzzer. These counters stand in for it: each distinct outcome (failure
// message, colour space, scan structure, size class) counts as new ground, so
// inputs reaching different parts of the library stay in the corpus.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t gOutcomes[512];

void Count(size_t slot) {
    uint8_t& counter = gOutcomes[slot % sizeof gOutcomes];
    if (counter < 255) ++counter;
}

void CountMessage(const std::string& message, size_t base) {
    Count(base + std::hash<std::string>{}(message) % 128);
}

size_t SizeClass(int64_t pixels) {
    size_t bits = 0;
    while (pixels > 0 && bits < 31) pixels >>= 1, ++bits;
    return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    TJPEGImage image;
    try {
        TReadOnlyMemoryStream stream(data, size);
        image.LoadFromStream(stream);
    } catch (const Exception& e) {
        CountMessage(e.Message(), 0);
        return 0;
    }
    // The orientation tag is read with libexif from the same bytes.
    Count(480 + static_cast<size_t>(image.ExifOrientation()));
    const int64_t pixels = int64_t{image.Width()} * image.Height();
    Count(128 + SizeClass(pixels) * 4 + image.Data().grayscale * 2 + image.Progressive());
    if (pixels > kMaxFuzzPixels) return 0;
    TBitmap32 raster;
    try {
        raster.Assign(&image);
        Count(256);
    } catch (const Exception& e) {
        CountMessage(e.Message(), 384);
    }
    if (!raster.Empty() && (raster.Width() != image.Width() || raster.Height() != image.Height()))
        __builtin_trap();
    return 0;
}
