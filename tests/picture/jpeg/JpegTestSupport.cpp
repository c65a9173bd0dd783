#include "JpegTestSupport.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <cstdlib>
#include <stdexcept>

namespace corvane::testing {

Bytes PatternBGR(uint32_t width, uint32_t height) {
    Bytes bgr(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &bgr[(size_t{y} * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width ? width : 1));
            p[1] = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
            p[2] = static_cast<uint8_t>(y * 255 / (height ? height : 1));
        }
    }
    return bgr;
}

Bytes PatternGray(uint32_t width, uint32_t height) {
    Bytes gray(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            gray[size_t{y} * width + x] =
                static_cast<uint8_t>((x * 3 + y * 5 + (x * y) % 17) & 0xFF);
    return gray;
}

namespace {

void ThrowOnError(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    throw std::runtime_error(text);
}

Bytes Compress(uint32_t width, uint32_t height, int components, J_COLOR_SPACE in,
               const Bytes& pixels, void (*configure)(jpeg_compress_struct&)) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = ThrowOnError;
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = in;
    jpeg_set_defaults(&cinfo);
    configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&pixels[size_t{cinfo.next_scanline} * width * components]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes result(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    free(out);
    return result;
}

int gQuality = 90;
bool gProgressive = false;

}  // namespace

Bytes MakeColorJpeg(uint32_t width, uint32_t height, int quality, bool progressive) {
    gQuality = quality;
    gProgressive = progressive;
    return Compress(width, height, 3, JCS_EXT_BGR, PatternBGR(width, height),
                    [](jpeg_compress_struct& c) {
                        jpeg_set_quality(&c, gQuality, TRUE);
                        if (gProgressive) jpeg_simple_progression(&c);
                    });
}

namespace {
int gLumaH = 2;
int gLumaV = 2;
}  // namespace

Bytes MakeSampledJpeg(uint32_t width, uint32_t height, int lumaH, int lumaV) {
    gLumaH = lumaH;
    gLumaV = lumaV;
    return Compress(width, height, 3, JCS_EXT_BGR, PatternBGR(width, height),
                    [](jpeg_compress_struct& c) {
                        c.comp_info[0].h_samp_factor = gLumaH;
                        c.comp_info[0].v_samp_factor = gLumaV;
                    });
}

Bytes MakeGrayJpeg(uint32_t width, uint32_t height) {
    return Compress(width, height, 1, JCS_GRAYSCALE, PatternGray(width, height),
                    [](jpeg_compress_struct&) {});
}

Bytes MakeFourComponentJpeg(uint32_t width, uint32_t height, bool ycck) {
    Bytes cmyk(size_t{width} * height * 4, 0x40);
    if (ycck)
        return Compress(width, height, 4, JCS_CMYK, cmyk,
                        [](jpeg_compress_struct& c) { jpeg_set_colorspace(&c, JCS_YCCK); });
    return Compress(width, height, 4, JCS_CMYK, cmyk, [](jpeg_compress_struct&) {});
}

Bytes MakeRgbJpeg(uint32_t width, uint32_t height) {
    return Compress(width, height, 3, JCS_EXT_BGR, PatternBGR(width, height),
                    [](jpeg_compress_struct& c) { jpeg_set_colorspace(&c, JCS_RGB); });
}

ReferenceImage ReferenceDecode(const Bytes& jpeg, bool fancyUpsampling) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = ThrowOnError;
    err.emit_message = [](j_common_ptr, int) {};
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
    if (cinfo.out_color_space == JCS_GRAYSCALE) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 236;
    } else {
        cinfo.out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(&cinfo);
    ReferenceImage image;
    image.width = cinfo.output_width;
    image.height = cinfo.output_height;
    image.components = cinfo.output_components;
    image.pixels.resize(size_t{image.width} * image.height * image.components);
    if (cinfo.quantize_colors)
        for (int i = 0; i < cinfo.actual_number_of_colors; ++i)
            image.grayLevels.push_back(cinfo.colormap[0][i]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            &image.pixels[size_t{cinfo.output_scanline} * image.width * image.components];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

size_t FrameSizeOffset(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    return 0;
}

}  // namespace corvane::testing
