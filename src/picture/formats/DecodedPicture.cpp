#include "picture/formats/DecodedPicture.h"

#include <algorithm>

#include "picture/PixelMemory.h"

namespace corvane {

void LayOverBlack(TColor32* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const TColor32 p = pixels[i];
        const uint32_t alpha = p >> 24;
        if (alpha == 255) continue;
        const auto over = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
        pixels[i] =
            0xFF000000u | over(p >> 16 & 0xFF) << 16 | over(p >> 8 & 0xFF) << 8 | over(p & 0xFF);
    }
}

void FillOutside(const TPixelArea& area, int32_t width, int32_t height) {
    for (int32_t y = 0; y < area.Height; ++y) {
        TColor32* row = area.Row(y);
        const int32_t from = y < height ? std::min(width, area.Width) : 0;
        std::fill(row + from, row + area.Width, 0xFF000000u);
    }
}

void TDecodedPicture::SetWidth(int32_t) {
    throw EInvalidGraphicOperation(Format("Cannot change the size of a %s image", FormatName()));
}

void TDecodedPicture::SetHeight(int32_t) {
    throw EInvalidGraphicOperation(Format("Cannot change the size of a %s image", FormatName()));
}

void TDecodedPicture::CheckSize(int64_t width, int64_t height) const {
    if (width <= 0 || height <= 0) Fail(Format("%s image has no pixels", FormatName()));
    if (width * height > maxPixels_)
        Fail(Format("%s image of %lld x %lld pixels exceeds the limit of %lld pixels", FormatName(),
                    static_cast<long long>(width), static_cast<long long>(height),
                    static_cast<long long>(maxPixels_)));
}

void TDecodedPicture::LoadFromStream(TStream& stream) {
    width_ = height_ = 0;
    bytes_.clear();
    const int64_t count = stream.Remaining();
    bytes_.resize(static_cast<size_t>(count));
    stream.ReadBuffer(bytes_.data(), count);
    int32_t width = 0, height = 0;
    ReadSize(width, height);
    CheckSize(width, height);
    width_ = width;
    height_ = height;
    Changed();
}

void TDecodedPicture::SaveToStream(TStream& stream) {
    stream.WriteBuffer(bytes_.data(), static_cast<int64_t>(bytes_.size()));
}

void TDecodedPicture::Draw(TCanvas& canvas, const TRect& rect) {
    if (Empty()) return;
    // The library's own buffers for the picture, announced before it takes
    // them (the raster announces its own).
    const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
    AnnouncePixelBuffer(pixels, pixels * 4);
    const bool ownSizeInside = rect.Width() == width_ && rect.Height() == height_ &&
                               rect.Left >= 0 && rect.Top >= 0 && rect.Right <= canvas.Width() &&
                               rect.Bottom <= canvas.Height();
    if (!ownSizeInside) {
        DrawStretched(canvas, rect);
        return;
    }
    DecodeInto(
        TPixelArea{canvas.ScanLine(rect.Top) + rect.Left, width_, height_, canvas.StridePixels()});
}

// Rare (the loader always draws at the picture's own size): decode aside,
// then copy the nearest pixel of each target position.
void TDecodedPicture::DrawStretched(TCanvas& canvas, const TRect& rect) {
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    std::vector<TColor32> pixels(static_cast<size_t>(width_) * height_);
    DecodeInto(TPixelArea{pixels.data(), width_, height_, width_});
    const TRect clip = canvas.ClipRect();
    for (int32_t y = std::max(rect.Top, clip.Top); y < std::min(rect.Bottom, clip.Bottom); ++y) {
        const int64_t sy = int64_t{y - rect.Top} * height_ / rect.Height();
        const TColor32* source = pixels.data() + sy * width_;
        TColor32* target = canvas.ScanLine(y);
        for (int32_t x = std::max(rect.Left, clip.Left); x < std::min(rect.Right, clip.Right); ++x)
            target[x] = source[int64_t{x - rect.Left} * width_ / rect.Width()];
    }
}

}  // namespace corvane
