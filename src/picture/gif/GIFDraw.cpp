// Painting frame 0 of a TGIFImage onto a canvas.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "picture/gif/GIFImage.h"

namespace corvane {

namespace {

using TGIFLookup = std::array<TColor32, 256>;

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The colour map followed by black for indices the map lacks.
TGIFLookup MakeLookup(const TGIFColorMap& map) {
    TGIFLookup lookup;
    lookup.fill(0xFF000000);
    for (int i = 0; i < map.Count(); ++i) {
        const TGIFColor& c = map[i];
        lookup[static_cast<size_t>(i)] =
            0xFF000000 | (TColor32{c.Red} << 16) | (TColor32{c.Green} << 8) | TColor32{c.Blue};
    }
    return lookup;
}

// 1:1 copy of the frame with its top-left at (target.Left, target.Top),
// clipped to the canvas. skipIndex >= 0: pixels of that index stay unpainted.
void PaintUnscaled(const TGIFSubImage& frame, const TGIFLookup& lookup, int skipIndex,
                   TCanvas& canvas, const TRect& target) {
    const int32_t x0 = std::max(target.Left, 0);
    const int32_t x1 = std::min(target.Right, canvas.Width());
    const int32_t y0 = std::max(target.Top, 0);
    const int32_t y1 = std::min(target.Bottom, canvas.Height());
    if (x0 >= x1 || y0 >= y1) return;
    const uint8_t* data = frame.Data().data();
    const size_t frameWidth = frame.Width();
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* src =
            data + static_cast<size_t>(y - target.Top) * frameWidth + (x0 - target.Left);
        TColor32* dst = canvas.ScanLine(y) + x0;
        const int32_t n = x1 - x0;
        if (skipIndex < 0) {
            for (int32_t i = 0; i < n; ++i) dst[i] = lookup[src[i]];
        } else {
            for (int32_t i = 0; i < n; ++i)
                if (src[i] != skipIndex) dst[i] = lookup[src[i]];
        }
    }
}

// The frame as an 8-bit platform bitmap with a 256-entry colour table.
void MakeFrameBitmap(const TGIFSubImage& frame, const TGIFColorMap& map, TBitmap& bitmap) {
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetSize(frame.Width(), frame.Height());
    std::vector<TRGBQuad> table(256);
    for (int i = 0; i < map.Count(); ++i)
        table[static_cast<size_t>(i)] = {map[i].Blue, map[i].Green, map[i].Red, 0};
    bitmap.SetColorTable(std::move(table));
    for (int32_t y = 0; y < frame.Height(); ++y)
        std::memcpy(bitmap.ScanLine(y),
                    frame.Data().data() + static_cast<size_t>(y) * frame.Width(), frame.Width());
}

// 1-bit mask, a set bit (leftmost pixel in the high bit) for each pixel of
// the transparent index; answers whether any bit is set.
bool MakeFrameMask(const TGIFSubImage& frame, uint8_t transparentIndex, TBitmap& mask) {
    mask.SetPixelFormat(TPixelFormat::pf1bit);
    mask.SetSize(frame.Width(), frame.Height());
    bool any = false;
    for (int32_t y = 0; y < frame.Height(); ++y) {
        const uint8_t* src = frame.Data().data() + static_cast<size_t>(y) * frame.Width();
        uint8_t* row = mask.ScanLine(y);
        std::memset(row, 0, static_cast<size_t>(mask.RowBytes()));
        for (int32_t x = 0; x < frame.Width(); ++x) {
            if (src[x] != transparentIndex) continue;
            row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            any = true;
        }
    }
    return any;
}

// Stretched drawing through the platform bitmap, as for any other picture.
void PaintScaled(const TGIFSubImage& frame, const TGIFColorMap& map, bool honourTransparency,
                 TCanvas& canvas, const TRect& target) {
    try {
        TBitmap bitmap;
        MakeFrameBitmap(frame, map, bitmap);
        if (honourTransparency && frame.Transparent()) {
            TBitmap mask;
            if (MakeFrameMask(frame, frame.TransparentColorIndex(), mask)) {
                bitmap.DrawMasked(canvas, target, mask);
                return;
            }
        }
        bitmap.Draw(canvas, target);
    } catch (const std::bad_alloc&) {
        throw GIFException("Failed to allocate memory for GIF DIB");
    } catch (const EOutOfResources&) {
        throw GIFException("Failed to allocate memory for GIF DIB");
    }
}

}  // namespace

int32_t GIFMulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
    const int64_t result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max() ||
        result < std::numeric_limits<int32_t>::min())
        return -1;
    return static_cast<int32_t>(result);
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (drawing_ || images_.empty()) return;
    drawing_ = true;
    try {
        DrawFrame(*images_.front(), canvas, rect);
    } catch (...) {
        drawing_ = false;
        throw;
    }
    drawing_ = false;
}

bool TGIFImage::DrawsEveryPixelOpaque() const {
    if (drawing_ || images_.empty()) return false;
    const TGIFSubImage& frame = *images_.front();
    const bool skips = (drawOptions_ & goTransparent) != 0 && frame.Transparent();
    return !skips && frame.Left() == 0 && frame.Top() == 0 && frame.Width() == Width() &&
           frame.Height() == Height() && !frame.Data().empty() &&
           frame.ActiveColorMap().Count() > 0;
}

void TGIFImage::DrawFrame(const TGIFSubImage& frame, TCanvas& canvas, const TRect& rect) {
    const TGIFColorMap& map = frame.ActiveColorMap();
    if (map.Count() == 0) throw GIFException("No global or local color table defined");
    if (frame.Data().empty()) return;
    Progress(TProgressStage::psRunning, 0, false, TRect{}, "Rendering...");
    // The frame's place on the logical screen, mapped onto rect.
    const int32_t screenWidth = Width();
    const int32_t screenHeight = Height();
    auto across = [&](int32_t x) {
        return ClampToInt32(int64_t{rect.Left} + GIFMulDiv(x, rect.Width(), screenWidth));
    };
    auto down = [&](int32_t y) {
        return ClampToInt32(int64_t{rect.Top} + GIFMulDiv(y, rect.Height(), screenHeight));
    };
    const TRect target{across(frame.Left()), down(frame.Top()),
                       across(frame.Left() + frame.Width()), down(frame.Top() + frame.Height())};
    if (target.IsEmpty()) return;
    const bool honourTransparency = (drawOptions_ & goTransparent) != 0;
    if (target.Width() == frame.Width() && target.Height() == frame.Height()) {
        const int skip =
            honourTransparency && frame.Transparent() ? frame.TransparentColorIndex() : -1;
        PaintUnscaled(frame, MakeLookup(map), skip, canvas, target);
    } else {
        PaintScaled(frame, map, honourTransparency, canvas, target);
    }
}

}  // namespace corvane
