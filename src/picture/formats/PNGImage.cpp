// libpng reports errors through longjmp; everything between setjmp and the
// end of a read lives in plain C structures, so nothing is skipped over.
#include "picture/formats/PNGImage.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

struct TPngSource {
    const uint8_t* Data;
    size_t Size;
    size_t Position;
    char Error[256];
};

void ReadBytes(png_structp png, png_bytep out, size_t count) {
    auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
    if (count > source->Size - source->Position) png_error(png, "Unexpected end of file");
    std::memcpy(out, source->Data + source->Position, count);
    source->Position += count;
}

void OnError(png_structp png, png_const_charp message) {
    auto* source = static_cast<TPngSource*>(png_get_error_ptr(png));
    std::snprintf(source->Error, sizeof source->Error, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Every pixel as blue, green, red, alpha bytes (0xAARRGGBB in memory).
void RequestBgra(png_structp png) {
    png_set_expand(png);    // palette to RGB, gray below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);  // 16 bits to 8, rounded
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
}

// Reads the header (Area null) or the whole picture into Area. Answers false
// with Source.Error set on failure.
bool RunPng(TPngSource& source, const TPixelArea* area, png_uint_32& width, png_uint_32& height,
            bool& transparent) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
    if (png == nullptr) {
        std::snprintf(source.Error, sizeof source.Error, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, ReadBytes);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    transparent = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                  png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (area != nullptr) {
        if (width != static_cast<png_uint_32>(area->Width) ||
            height != static_cast<png_uint_32>(area->Height))
            png_error(png, "size differs from the header's");
        RequestBgra(png);
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != size_t{width} * 4) png_error(png, "unexpected row size");
        // Interlaced pictures refine the rows in place, pass after pass.
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(png, reinterpret_cast<png_bytep>(area->Row(static_cast<int32_t>(y))),
                             nullptr);
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

void TPNGImage::ReadSize(int32_t& width, int32_t& height) {
    TPngSource source{Bytes().data(), Bytes().size(), 0, {}};
    png_uint_32 w = 0, h = 0;
    bool transparent = false;
    if (!RunPng(source, nullptr, w, h, transparent)) Fail(Format("PNG error: %s", source.Error));
    // libpng refuses sides above 1,000,000, so both fit.
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
}

void TPNGImage::DecodeInto(const TPixelArea& area) {
    TPngSource source{Bytes().data(), Bytes().size(), 0, {}};
    png_uint_32 w = 0, h = 0;
    bool transparent = false;
    if (!RunPng(source, &area, w, h, transparent)) Fail(Format("PNG error: %s", source.Error));
    // Without alpha or tRNS every pixel already came out opaque.
    if (transparent)
        for (int32_t y = 0; y < area.Height; ++y) LayOverBlack(area.Row(y), area.Width);
}

}  // namespace corvane
