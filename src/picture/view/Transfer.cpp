#include "picture/view/Transfer.h"

#include <algorithm>
#include <cstring>

namespace corvane {

TRect IntersectRect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    if (r.IsEmpty()) return TRect{};
    return r;
}

int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return -1;
    int64_t product = a * b;
    const bool negative = (product < 0) != (c < 0);
    product = product < 0 ? -product : product;
    const int64_t divisor = c < 0 ? -c : c;
    const int64_t q = (product + divisor / 2) / divisor;
    return static_cast<int32_t>(negative ? -q : q);
}

namespace {

void CopySameSize(TBitmap32& dest, const TRect& visible, const TRect& destRect,
                  const TBitmap32& source, const TRect& sourceRect) {
    const int32_t dx = sourceRect.Left - destRect.Left;
    const int32_t dy = sourceRect.Top - destRect.Top;
    const size_t bytes = static_cast<size_t>(visible.Width()) * sizeof(TColor32);
    for (int32_t y = visible.Top; y < visible.Bottom; ++y)
        std::memcpy(dest.PixelPtr(visible.Left, y), source.ScanLine(y + dy) + visible.Left + dx,
                    bytes);
}

// Start of the accumulator for a clipped target: the first visible target
// position scaled over the extents minus one. A target of one pixel starts
// at 0, which keeps the mapping inside the source.
uint64_t StartOffset(int32_t clippedBy, int32_t sourceExtent, int32_t destExtent) {
    if (destExtent <= 1 || clippedBy == 0) return 0;
    return static_cast<uint64_t>(
        MulDiv(static_cast<int64_t>(clippedBy) * (sourceExtent - 1), 65535, destExtent - 1));
}

void StretchNearest(TBitmap32& dest, const TRect& visible, const TRect& destRect,
                    const TBitmap32& source, const TRect& sourceRect) {
    const int32_t sw = sourceRect.Width();
    const int32_t sh = sourceRect.Height();
    // 64-bit so that very wide sources cannot wrap; identical to 32-bit
    // arithmetic for every extent below 32768.
    const uint64_t stepX =
        (static_cast<uint64_t>(sw) << 16) / static_cast<uint64_t>(destRect.Width());
    const uint64_t stepY =
        (static_cast<uint64_t>(sh) << 16) / static_cast<uint64_t>(destRect.Height());
    const uint64_t startX = StartOffset(visible.Left - destRect.Left, sw, destRect.Width());
    uint64_t accY = StartOffset(visible.Top - destRect.Top, sh, destRect.Height());
    for (int32_t y = visible.Top; y < visible.Bottom; ++y, accY += stepY) {
        const int32_t sy =
            sourceRect.Top + static_cast<int32_t>(std::min<uint64_t>(accY >> 16, sh - 1));
        const TColor32* srcRow = source.ScanLine(sy) + sourceRect.Left;
        TColor32* dstRow = dest.PixelPtr(visible.Left, y);
        uint64_t accX = startX;
        for (int32_t x = visible.Left; x < visible.Right; ++x, accX += stepX)
            *dstRow++ = srcRow[std::min<uint64_t>(accX >> 16, sw - 1)];
    }
}

}  // namespace

void StretchTransfer(TBitmap32& dest, const TRect& destRect, const TBitmap32& source,
                     const TRect& sourceRect) {
    if (dest.Empty()) throw ETransferError("Destination bitmap is nil or empty");
    if (source.Empty()) throw ETransferError("Source bitmap is nil or empty");
    const TRect sourceBounds{0, 0, source.Width(), source.Height()};
    if (sourceRect.Left < 0 || sourceRect.Top < 0 || sourceRect.Right > sourceBounds.Right ||
        sourceRect.Bottom > sourceBounds.Bottom)
        throw ETransferError("Source rectangle is invalid");
    if (sourceRect.IsEmpty() || destRect.IsEmpty()) return;
    const TRect visible = IntersectRect(destRect, TRect{0, 0, dest.Width(), dest.Height()});
    if (visible.IsEmpty()) return;
    if (sourceRect.Width() == destRect.Width() && sourceRect.Height() == destRect.Height())
        CopySameSize(dest, visible, destRect, source, sourceRect);
    else
        StretchNearest(dest, visible, destRect, source, sourceRect);
}

void DrawInto(const TBitmap32& source, TBitmap32& dest, const TRect& destRect) {
    if (dest.Empty()) throw ETransferError("Destination bitmap is nil or empty");
    if (source.Empty()) throw ETransferError("Source bitmap is nil or empty");
    StretchTransfer(dest, destRect, source, TRect{0, 0, source.Width(), source.Height()});
}

}  // namespace corvane
