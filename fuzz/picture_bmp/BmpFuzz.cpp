// Any byte sequence read as a BMP must fail cleanly or give a bitmap that
// can be drawn, copied into a raster and written again.
#include <cstddef>
#include <cstdint>

#include "picture/Graphics.h"

using namespace corvane;

namespace {
// Pixels the file claims, read the way the reader reads the header. Legal
// claims up to 2^28 pixels would make each run allocate up to a gigabyte;
// the limit itself is covered by the unit tests.
int64_t ClaimedPixels(const uint8_t* data, size_t size) {
    auto get = [&](size_t at, size_t bytes) -> int64_t {
        uint32_t v = 0;
        for (size_t i = 0; i < bytes && at + i < size; ++i) v |= uint32_t{data[at + i]} << (8 * i);
        return bytes == 4 ? int64_t{static_cast<int32_t>(v)} : int64_t{v};
    };
    const bool core = get(14, 4) == 12;
    const int64_t width = get(18, core ? 2 : 4);
    const int64_t height = get(core ? 20 : 22, core ? 2 : 4);
    return (width < 0 ? -width : width) * (height < 0 ? -height : height);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ClaimedPixels(data, size) > (int64_t{1} << 18)) return 0;
    TReadOnlyMemoryStream stream(data, size);
    TBitmap bitmap;
    try {
        bitmap.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    TBitmap32 raster;
    raster.Assign(&bitmap);
    TBitmap32 small;
    small.SetSize(7, 5);
    TCanvas canvas(small);
    bitmap.Draw(canvas, Rect(-2, -1, 6, 9));
    TMemoryStream out;
    bitmap.SaveToStream(out);
    out.SetPosition(0);
    TBitmap again;
    again.LoadFromStream(out);
    return 0;
}
