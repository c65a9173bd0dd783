// The 32-bit drawing surface.
#include <algorithm>

#include "picture/Graphics.h"

namespace corvane {

TCanvas::TCanvas(TColor32* bits, int32_t width, int32_t height, ptrdiff_t stridePixels)
    : bits_(bits), width_(std::max(width, 0)), height_(std::max(height, 0)), stride_(stridePixels) {
    if (bits_ == nullptr) width_ = height_ = 0;
}

TCanvas::TCanvas(TBitmap32& raster)
    : TCanvas(raster.Bits(), raster.Empty() ? 0 : raster.Width(),
              raster.Empty() ? 0 : raster.Height(), raster.Width()) {}

TColor32 TCanvas::Pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return ScanLine(y)[x];
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor32 value) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    ScanLine(y)[x] = value;
}

void TCanvas::FillRect(const TRect& rect, TColor32 value) {
    const int32_t left = std::max(rect.Left, 0);
    const int32_t right = std::min(rect.Right, width_);
    const int32_t top = std::max(rect.Top, 0);
    const int32_t bottom = std::min(rect.Bottom, height_);
    if (left >= right) return;
    for (int32_t y = top; y < bottom; ++y)
        std::fill(ScanLine(y) + left, ScanLine(y) + right, value);
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) {
    graphic.Draw(*this, rect);
}

void TCanvas::Draw(int32_t x, int32_t y, TGraphic& graphic) {
    const TRect rect{x, y, x + graphic.Width(), y + graphic.Height()};
    graphic.Draw(*this, rect);
}

}  // namespace corvane
