#include "picture/formats/TIFFImage.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvane {

namespace {

// No single allocation of the library may exceed this: a damaged strip or
// tile size cannot make it take more than the largest picture needs.
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{4} * kMaxBitmapPixels;

// The file's bytes as the library's file, plus the last error message. The
// handlers are per file, so workers decoding side by side do not mix them.
struct TTiffSource {
    const uint8_t* Data;
    uint64_t Size;
    uint64_t Position;
    char Error[256];
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* source = static_cast<TTiffSource*>(handle);
    if (count < 0) return -1;
    const uint64_t available =
        source->Position < source->Size ? source->Size - source->Position : 0;
    const uint64_t n = std::min<uint64_t>(available, static_cast<uint64_t>(count));
    if (n > 0) std::memcpy(buffer, source->Data + source->Position, n);
    source->Position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TTiffSource*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = source->Position;
    if (whence == SEEK_END) base = source->Size;
    if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
    source->Position = base + offset;
    return source->Position;
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    return static_cast<TTiffSource*>(handle)->Size;
}

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* source = static_cast<TTiffSource*>(user);
    std::vsnprintf(source->Error, sizeof source->Error, format, args);
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TTiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TTiffHandle = std::unique_ptr<TIFF, TTiffClose>;

TTiffHandle OpenTiff(TTiffSource& source) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibraryAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &source);
    // "m": no memory mapping, the procedures above are the only access.
    TIFF* tiff = TIFFClientOpenExt("picture", "rm", &source, ReadProc, WriteProc, SeekProc,
                                   CloseProc, SizeProc, nullptr, nullptr, options);
    TIFFOpenOptionsFree(options);
    return TTiffHandle(tiff);
}

// libtiff's packed RGBA (red in the low byte, colour already multiplied by
// alpha) as opaque 0xAARRGGBB: laid over black, the colour stays as it is.
void ToOpaqueColor(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        pixels[i] = 0xFF000000u | TIFFGetR(p) << 16 | TIFFGetG(p) << 8 | TIFFGetB(p);
    }
}

}  // namespace

void TTIFFImage::ReadSize(int32_t& width, int32_t& height) {
    TTiffSource source{Bytes().data(), Bytes().size(), 0, "damaged data"};
    TTiffHandle tiff = OpenTiff(source);
    if (!tiff) Fail(Format("TIFF error: %s", source.Error));
    uint32_t w = 0, h = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &w) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &h))
        Fail("TIFF error: no picture size");
    if (w > INT32_MAX || h > INT32_MAX) Fail("TIFF error: picture size out of range");
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff.get(), message)) Fail(Format("TIFF error: %s", message));
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
}

void TTIFFImage::DecodeInto(const TPixelArea& area) {
    TTiffSource source{Bytes().data(), Bytes().size(), 0, "damaged data"};
    TTiffHandle tiff = OpenTiff(source);
    if (!tiff) Fail(Format("TIFF error: %s", source.Error));
    char message[1024] = "";
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tiff.get(), 1, message))
        Fail(Format("TIFF error: %s", message));
    image.req_orientation = ORIENTATION_TOPLEFT;
    // The library fills Width x Height contiguous pixels: straight into the
    // area when its rows follow each other, else into a buffer.
    std::vector<uint32_t> buffer;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(area.Bits);
    if (!area.Contiguous()) {
        buffer.resize(static_cast<size_t>(area.Width) * area.Height);
        pixels = buffer.data();
    }
    const bool sameSize = image.width == static_cast<uint32_t>(area.Width) &&
                          image.height == static_cast<uint32_t>(area.Height);
    const int done = sameSize && TIFFRGBAImageGet(&image, pixels, image.width, image.height);
    TIFFRGBAImageEnd(&image);
    if (!sameSize) Fail("TIFF error: size differs from the header's");
    if (!done) Fail(Format("TIFF error: %s", source.Error));
    for (int32_t y = 0; y < area.Height; ++y) {
        uint32_t* row = pixels + static_cast<size_t>(area.Width) * y;
        ToOpaqueColor(row, area.Width);
        if (!area.Contiguous()) std::memcpy(area.Row(y), row, size_t{4} * area.Width);
    }
}

}  // namespace corvane
