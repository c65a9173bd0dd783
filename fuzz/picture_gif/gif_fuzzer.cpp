// GIF fuzzer: load, then paint into a raster as the picture loader does.
#include <cstddef>
#include <cstdint>

#include "picture/Bitmap32.h"
#include "picture/gif/GIFImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    TReadOnlyMemoryStream stream(data, size);
    TGIFImage gif;
    // Screens and frames up to 2^28 pixels are legal; a lower limit keeps
    // every iteration quick and exercises the same checks.
    gif.SetMaxPixels(int64_t{1} << 20);
    try {
        gif.LoadFromStream(stream);
        TBitmap32 raster;
        raster.Assign(&gif);
    } catch (const Exception&) {
        // Damaged pictures fail with a message; that is the expected outcome.
    }
    return 0;
}
