// libFuzzer target: any bytes loaded as one of the further picture formats
// (chosen at build time by CORVANE_FUZZ_CLASS) and assigned into a raster,
// the way the picture loader does it. Failures must be exceptions, never
// crashes, hangs or unbounded allocations.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "picture/Bitmap32.h"
#include "picture/formats/HEIFImage.h"
#include "picture/formats/PNGImage.h"
#include "picture/formats/TIFFImage.h"
#include "picture/formats/WebPImage.h"

namespace {

// Keeps single runs fast; the size check itself runs for every input.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;

// The libraries are not instrumented, so their coverage is invisible to the
// fuzzer. These counters stand in for it: each distinct outcome (failure
// message, size class) counts as new ground.
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
    CORVANE_FUZZ_CLASS image;
    image.SetMaxPixels(kMaxFuzzPixels);
    try {
        TReadOnlyMemoryStream stream(data, size);
        image.LoadFromStream(stream);
    } catch (const Exception& e) {
        CountMessage(e.Message(), 0);
        return 0;
    }
    Count(128 + SizeClass(int64_t{image.Width()} * image.Height()));
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
