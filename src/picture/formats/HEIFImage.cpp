#include "picture/formats/HEIFImage.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace corvane {

namespace {

// Largest side the library may accept; the pixel count is checked apart.
constexpr int kMaxSide = 1 << 16;

void InitLibrary() {
    // Counted by the library; never undone, so plugins stay loaded.
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct THeifFree {
    void operator()(heif_context* p) const { heif_context_free(p); }
    void operator()(heif_image_handle* p) const { heif_image_handle_release(p); }
    void operator()(heif_image* p) const { heif_image_release(p); }
    void operator()(heif_decoding_options* p) const { heif_decoding_options_free(p); }
};
template <class T>
using THeifPtr = std::unique_ptr<T, THeifFree>;

// The file opened and its primary image's handle.
struct THeifFile {
    THeifPtr<heif_context> Context;
    THeifPtr<heif_image_handle> Primary;
};

}  // namespace

bool THEIFImage::CanDecodeHEIC() {
    InitLibrary();
    return heif_have_decoder_for_format(heif_compression_HEVC) != 0;
}

bool THEIFImage::CanDecodeAVIF() {
    InitLibrary();
    return heif_have_decoder_for_format(heif_compression_AV1) != 0;
}

namespace {

// Opens the file and its primary image; answers the library's message on
// failure, an empty text otherwise.
std::string OpenHeif(const std::vector<uint8_t>& bytes, THeifFile& file) {
    InitLibrary();
    file.Context.reset(heif_context_alloc());
    if (!file.Context) return "out of memory";
    heif_context_set_maximum_image_size_limit(file.Context.get(), kMaxSide);
    heif_error error = heif_context_read_from_memory_without_copy(file.Context.get(), bytes.data(),
                                                                  bytes.size(), nullptr);
    if (error.code != heif_error_Ok) return error.message;
    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(file.Context.get(), &primary);
    if (error.code != heif_error_Ok) return error.message;
    file.Primary.reset(primary);
    return {};
}

}  // namespace

void THEIFImage::ReadSize(int32_t& width, int32_t& height) {
    THeifFile file;
    if (const std::string error = OpenHeif(Bytes(), file); !error.empty())
        Fail("HEIF error: " + error);
    const heif_image_handle* handle = file.Primary.get();
    width = heif_image_handle_get_width(handle);
    height = heif_image_handle_get_height(handle);
    // As coded: the size before rotation and crop.
    if (!applyTransformations_ && heif_image_handle_get_ispe_width(handle) > 0) {
        width = heif_image_handle_get_ispe_width(handle);
        height = heif_image_handle_get_ispe_height(handle);
    }
}

void THEIFImage::DecodeInto(const TPixelArea& area) {
    THeifFile file;
    if (const std::string error = OpenHeif(Bytes(), file); !error.empty())
        Fail("HEIF error: " + error);
    const bool alpha = heif_image_handle_has_alpha_channel(file.Primary.get()) != 0;
    THeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options) Fail("HEIF error: out of memory");
    options->ignore_transformations = applyTransformations_ ? 0 : 1;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(
        file.Primary.get(), &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    THeifPtr<heif_image> image(decoded);
    if (error.code != heif_error_Ok) Fail(Format("HEIF error: %s", error.message));
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr) Fail("HEIF error: no pixels decoded");
    // A picture whose coded size disagrees with its header: what was decoded
    // goes to the top-left, the rest stays black.
    const int32_t width =
        std::clamp(heif_image_get_width(image.get(), heif_channel_interleaved), 0, area.Width);
    const int32_t height =
        std::clamp(heif_image_get_height(image.get(), heif_channel_interleaved), 0, area.Height);
    const int channels = alpha ? 4 : 3;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = plane + static_cast<ptrdiff_t>(stride) * y;
        TColor32* target = area.Row(y);
        for (int32_t x = 0; x < width; ++x, source += channels) {
            const uint32_t a = alpha ? source[3] : 255;
            target[x] = a << 24 | uint32_t{source[0]} << 16 | uint32_t{source[1]} << 8 | source[2];
        }
        if (alpha) LayOverBlack(target, width);
    }
    FillOutside(area, width, height);
}

}  // namespace corvane
