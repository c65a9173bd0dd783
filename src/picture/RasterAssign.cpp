// Filling a raster from other objects and back.
//
// Assign brackets the whole fill: OnChanging once at the start, OnResize for
// each inner size change, OnChange once at the end (also on failure).
#include <algorithm>

#include "picture/Bitmap32.h"
#include "picture/Graphics.h"

namespace corvane {

namespace {

// Platform bitmap: its pixels 1:1, then every pixel opaque.
void AssignFromBitmap(TBitmap32& raster, const TBitmap& bitmap) {
    const int32_t height = bitmap.Height();
    const int32_t width = bitmap.Width();
    raster.SetSize(width, height);
    if (raster.Empty()) return;
    TCanvas canvas(raster);
    bitmap.CopyToCanvas(canvas, 0, 0);
    raster.SetAlphaOpaque();
}

// Any other picture paints itself over the (all-zero) pixels; what it leaves
// unpainted reads opaque black afterwards. A picture that paints every pixel
// opaque needs neither pass over the pixels (together about 15% of the time
// a JPEG takes to load).
void AssignFromGraphic(TBitmap32& raster, TGraphic& graphic, const TRect& drawRect) {
    const int32_t height = graphic.Height();
    const int32_t width = graphic.Width();
    const bool paintsAll =
        graphic.DrawsEveryPixelOpaque() && drawRect == TRect{0, 0, width, height};
    if (paintsAll) {
        raster.SetSizeForOverwrite(width, height);
    } else {
        raster.SetSize(width, height);
    }
    if (raster.Empty()) return;
    TCanvas canvas(raster);
    try {
        graphic.Draw(canvas, drawRect);
    } catch (...) {
        // Nothing of the uncleared buffer may show: all zero, as if cleared.
        if (paintsAll) raster.FillAll(0);
        throw;
    }
    if (!paintsAll) raster.SetAlphaOpaque();
}

void AssignFromPicture(TBitmap32& raster, const TPicture& picture) {
    TGraphic* graphic = picture.Graphic();
    if (auto bitmap = dynamic_cast<const TBitmap*>(graphic)) {
        AssignFromBitmap(raster, *bitmap);
    } else if (graphic != nullptr) {
        AssignFromGraphic(raster, *graphic, TRect{0, 0, picture.Width(), picture.Height()});
    } else {
        raster.SetSize(0, 0);
    }
}

// Raster into a 32-bit device-independent bitmap, 1:1.
void FillBitmap(const TBitmap32& raster, TBitmap& bitmap) {
    bitmap.SetHandleType(THandleType::bmDIB);
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(raster.Width(), raster.Height());
    if (bitmap.Empty()) return;
    TCanvas canvas = bitmap.Canvas();
    raster.CopyToDeviceContext(canvas, 0, 0);
}

}  // namespace

void TBitmap32::Assign(const TPersistent* source) {
    Changing();
    BeginUpdate();
    try {
        if (source == nullptr) {
            SetSize(0, 0);
        } else if (auto raster = dynamic_cast<const TBitmap32*>(source)) {
            SetSize(raster->Width(), raster->Height());
            if (!Empty()) {
                std::copy_n(raster->Bits(), static_cast<size_t>(width_) * height_, Bits());
                drawMode_ = raster->drawMode_;
                masterAlpha_ = raster->masterAlpha_;
                outerColor_ = raster->outerColor_;
                stretchFilter_ = raster->stretchFilter_;
            }
        } else if (auto bitmap = dynamic_cast<const TBitmap*>(source)) {
            AssignFromBitmap(*this, *bitmap);
        } else if (auto graphic = dynamic_cast<const TGraphic*>(source)) {
            // Pictures may decode on first draw: drawing is not const.
            auto& drawable = const_cast<TGraphic&>(*graphic);
            AssignFromGraphic(*this, drawable, TRect{0, 0, graphic->Width(), graphic->Height()});
        } else if (auto picture = dynamic_cast<const TPicture*>(source)) {
            AssignFromPicture(*this, *picture);
        } else {
            AssignError(source);
        }
    } catch (...) {
        EndUpdate();
        Changed();
        throw;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::AssignTo(TPersistent* dest) const {
    if (auto picture = dynamic_cast<TPicture*>(dest)) {
        FillBitmap(*this, picture->Bitmap());
    } else if (auto bitmap = dynamic_cast<TBitmap*>(dest)) {
        FillBitmap(*this, *bitmap);
    } else {
        TPersistent::AssignTo(dest);
    }
}

void TBitmap32::CopyToDeviceContext(TCanvas& canvas, int32_t x, int32_t y) const {
    if (Empty()) return;
    const int32_t left = std::max(x, 0),
                  right = std::min<int64_t>(int64_t{x} + width_, canvas.Width());
    const int32_t top = std::max(y, 0),
                  bottom = std::min<int64_t>(int64_t{y} + height_, canvas.Height());
    if (left >= right) return;
    for (int32_t row = top; row < bottom; ++row)
        std::copy(ScanLine(row - y) + (left - x), ScanLine(row - y) + (right - x),
                  canvas.ScanLine(row) + left);
}

}  // namespace corvane
