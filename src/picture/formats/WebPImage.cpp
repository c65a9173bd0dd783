#include "picture/formats/WebPImage.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace corvane {

namespace {

const char* StatusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_STATUS_INVALID_PARAM:
            return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "bitstream error";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "unsupported feature";
        case VP8_STATUS_SUSPENDED:
            return "suspended";
        case VP8_STATUS_USER_ABORT:
            return "aborted";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "not enough data";
        default:
            return "unknown status";
    }
}

struct TAnimDecoderFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

}  // namespace

void TWebPImage::ReadSize(int32_t& width, int32_t& height) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(Bytes().data(), Bytes().size(), &features);
    if (status != VP8_STATUS_OK) Fail(Format("WebP error: %s", StatusText(status)));
    animated_ = features.has_animation != 0;
    alpha_ = features.has_alpha != 0;
    width = features.width;
    height = features.height;
}

void TWebPImage::DecodeInto(const TPixelArea& area) {
    if (animated_) {
        DecodeFirstFrame(area);
    } else {
        DecodeStill(area);
    }
    // Without alpha every pixel already came out opaque.
    if (animated_ || alpha_)
        for (int32_t y = 0; y < area.Height; ++y) LayOverBlack(area.Row(y), area.Width);
}

void TWebPImage::DecodeStill(const TPixelArea& area) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail("WebP error: library version mismatch");
    config.output.colorspace = MODE_BGRA;  // 0xAARRGGBB in memory
    config.output.is_external_memory = 1;
    config.output.width = area.Width;
    config.output.height = area.Height;
    config.output.u.RGBA.rgba = reinterpret_cast<uint8_t*>(area.Bits);
    config.output.u.RGBA.stride = static_cast<int>(area.Stride * 4);
    config.output.u.RGBA.size = static_cast<size_t>(area.Stride) * 4 * (area.Height - 1) +
                                static_cast<size_t>(area.Width) * 4;
    const VP8StatusCode status = WebPDecode(Bytes().data(), Bytes().size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) Fail(Format("WebP error: %s", StatusText(status)));
}

void TWebPImage::DecodeFirstFrame(const TPixelArea& area) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) Fail("WebP error: library version mismatch");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{Bytes().data(), Bytes().size()};
    std::unique_ptr<WebPAnimDecoder, TAnimDecoderFree> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) Fail("WebP error: bitstream error");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) ||
        info.canvas_width != static_cast<uint32_t>(area.Width) ||
        info.canvas_height != static_cast<uint32_t>(area.Height))
        Fail("WebP error: bitstream error");
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        Fail("WebP error: bitstream error");
    for (int32_t y = 0; y < area.Height; ++y)
        std::memcpy(area.Row(y), canvas + size_t{4} * area.Width * y, size_t{4} * area.Width);
}

}  // namespace corvane
