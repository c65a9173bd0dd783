#include "FormatWriters.h"

#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace corvane::testing {

namespace {

uint8_t Red(TColor32 c) {
    return c >> 16 & 0xFF;
}
uint8_t Green(TColor32 c) {
    return c >> 8 & 0xFF;
}
uint8_t Blue(TColor32 c) {
    return c & 0xFF;
}
uint8_t Alpha(TColor32 c) {
    return c >> 24;
}

void AppendPng(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushNothing(png_structp) {}

void Invert(const TBitmap32& raster, TBitmap32& inverse) {
    inverse.SetSize(raster.Width(), raster.Height());
    for (int32_t y = 0; y < raster.Height(); ++y)
        for (int32_t x = 0; x < raster.Width(); ++x)
            inverse.SetPixel(x, y, raster.GetPixel(x, y) ^ 0x00FFFFFFu);
}

}  // namespace

std::vector<uint8_t> EncodePNG(const TBitmap32& raster, const TPngWriteOptions& options) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("PNG encoding failed");
    }
    png_set_write_fn(png, &out, AppendPng, FlushNothing);
    const int channels = (options.Gray ? 1 : 3) + (options.Alpha ? 1 : 0);
    const int colorType = options.Gray
                              ? (options.Alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY)
                              : (options.Alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB);
    png_set_IHDR(png, info, raster.Width(), raster.Height(), options.SixteenBits ? 16 : 8,
                 colorType, options.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int bytesPerSample = options.SixteenBits ? 2 : 1;
    std::vector<uint8_t> rows(size_t(raster.Width()) * raster.Height() * channels * bytesPerSample);
    std::vector<png_bytep> pointers(raster.Height());
    for (int32_t y = 0; y < raster.Height(); ++y) {
        uint8_t* row = rows.data() + size_t(y) * raster.Width() * channels * bytesPerSample;
        pointers[y] = row;
        for (int32_t x = 0; x < raster.Width(); ++x) {
            const TColor32 c = raster.GetPixel(x, y);
            uint8_t samples[4];
            int n = 0;
            if (options.Gray) {
                samples[n++] = Green(c);
            } else {
                samples[n++] = Red(c);
                samples[n++] = Green(c);
                samples[n++] = Blue(c);
            }
            if (options.Alpha) samples[n++] = Alpha(c);
            for (int i = 0; i < n; ++i)
                for (int b = 0; b < bytesPerSample; ++b) *row++ = samples[i];  // v x 257
        }
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> EncodeWebP(const TBitmap32& raster, bool lossless, bool alpha, float quality) {
    TBitmap32 copy;
    copy.Assign(&raster);
    if (!alpha) copy.SetAlphaOpaque();
    const uint8_t* bgra = reinterpret_cast<const uint8_t*>(copy.Bits());
    uint8_t* data = nullptr;
    const int stride = copy.Width() * 4;
    const size_t size =
        lossless ? WebPEncodeLosslessBGRA(bgra, copy.Width(), copy.Height(), stride, &data)
                 : WebPEncodeBGRA(bgra, copy.Width(), copy.Height(), stride, quality, &data);
    if (size == 0) throw std::runtime_error("WebP encoding failed");
    std::vector<uint8_t> out(data, data + size);
    WebPFree(data);
    return out;
}

std::vector<uint8_t> EncodeAnimatedWebP(const TBitmap32& raster) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(raster.Width(), raster.Height(), &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    TBitmap32 inverse;
    Invert(raster, inverse);
    for (const TBitmap32* frame : {&raster, static_cast<const TBitmap32*>(&inverse)}) {
        TBitmap32 picture;
        picture.Assign(frame);
        picture.SetAlphaOpaque();
        WebPPicture p;
        WebPPictureInit(&p);
        p.use_argb = 1;
        p.width = picture.Width();
        p.height = picture.Height();
        WebPPictureImportBGRA(&p, reinterpret_cast<const uint8_t*>(picture.Bits()),
                              picture.Width() * 4);
        WebPAnimEncoderAdd(encoder, &p, timestamp, &config);
        WebPPictureFree(&p);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    std::vector<uint8_t> out(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return out;
}

std::vector<uint8_t> EncodeTIFF(const TBitmap32& raster, const TTiffWriteOptions& options) {
    char name[] = "/tmp/corvane-tiff-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("no temporary file");
    TIFF* tiff = TIFFFdOpen(fd, name, "w");
    TBitmap32 inverse;
    Invert(raster, inverse);
    for (int page = 0; page < options.Pages; ++page) {
        const TBitmap32& picture = page == 0 ? raster : inverse;
        const int channels = options.Alpha ? 4 : 3;
        const int bits = options.SixteenBits ? 16 : 8;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(picture.Width()));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(picture.Height()));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION,
                     options.Deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
        if (options.Alpha) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        if (options.Pages > 1) TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        std::vector<uint8_t> row(size_t(picture.Width()) * channels * bits / 8);
        for (int32_t y = 0; y < picture.Height(); ++y) {
            uint8_t* p = row.data();
            for (int32_t x = 0; x < picture.Width(); ++x) {
                const TColor32 c = picture.GetPixel(x, y);
                const uint8_t samples[4] = {Red(c), Green(c), Blue(c), Alpha(c)};
                for (int i = 0; i < channels; ++i)
                    for (int b = 0; b < bits / 8; ++b) *p++ = samples[i];
            }
            TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> out((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    std::remove(name);
    return out;
}

namespace {

heif_error AppendHeif(heif_context*, const void* data, size_t size, void* user) {
    auto* out = static_cast<std::vector<uint8_t>*>(user);
    out->insert(out->end(), static_cast<const uint8_t*>(data),
                static_cast<const uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::vector<uint8_t> EncodeHEIF(const TBitmap32& raster, bool avif, bool lossless, int quality,
                                bool alpha) {
    heif_init(nullptr);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(
        context, avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder);
    if (encoder == nullptr) throw std::runtime_error("no HEIF encoder");
    // The AV1 encoder's fastest settings: these files are test material.
    if (avif) heif_encoder_set_parameter(encoder, "speed", "9");
    heif_encoder_set_lossless(encoder, lossless ? 1 : 0);
    if (!lossless) heif_encoder_set_lossy_quality(encoder, quality);
    heif_image* image = nullptr;
    heif_image_create(raster.Width(), raster.Height(), heif_colorspace_RGB,
                      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, raster.Width(), raster.Height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int32_t y = 0; y < raster.Height(); ++y) {
        uint8_t* p = plane + size_t(stride) * y;
        for (int32_t x = 0; x < raster.Width(); ++x) {
            const TColor32 c = raster.GetPixel(x, y);
            *p++ = Red(c);
            *p++ = Green(c);
            *p++ = Blue(c);
            if (alpha) *p++ = Alpha(c);
        }
    }
    heif_image_handle* handle = nullptr;
    const heif_error error = heif_context_encode_image(context, image, encoder, nullptr, &handle);
    if (error.code != heif_error_Ok) throw std::runtime_error(error.message);
    std::vector<uint8_t> out;
    heif_writer writer{1, AppendHeif};
    heif_context_write(context, &writer, &out);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace corvane::testing
