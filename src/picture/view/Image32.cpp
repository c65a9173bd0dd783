#include "picture/view/Image32.h"

#include <cassert>
#include <cmath>
#include <stdexcept>

namespace corvane {

namespace {
// Round to nearest, ties to even (the default floating-point rounding).
int32_t RoundEven(double value) {
    return static_cast<int32_t>(std::nearbyint(value));
}
}  // namespace

// ---- TCustomPaintBox32 ----

TCustomPaintBox32::TCustomPaintBox32() : paintBuffer_(std::make_unique<TBitmap32>()) {
    // The buffer never notifies anybody.
    paintBuffer_->BeginUpdate();
}

void TCustomPaintBox32::SetBounds(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    BoundsChanged();
    Invalidate();
}

int32_t TCustomPaintBox32::SlackExtent(int32_t current, int32_t wanted, int32_t slack) {
    if (current < wanted) return wanted + slack;
    if (current > wanted + slack) return wanted;
    return current;
}

void TCustomPaintBox32::ResizeBuffer() {
    const TRect viewport = ViewportRect();
    const int32_t w = viewport.Width();
    const int32_t h = viewport.Height();
    TBitmap32& buffer = *paintBuffer_;
    if (buffer.Width() == w && buffer.Height() == h) return;
    int32_t newW = w;
    int32_t newH = h;
    if (bufferSlack_ >= 0) {
        newW = SlackExtent(buffer.Width(), w, bufferSlack_);
        newH = SlackExtent(buffer.Height(), h, bufferSlack_);
    }
    if (newW != buffer.Width() || newH != buffer.Height()) {
        buffer.SetSize(newW, newH);
        paintBufferValid_ = false;
    }
}

const TBitmap32& TCustomPaintBox32::Paint() {
    ResizeBuffer();
    if (!paintBufferValid_) RenderBuffer();
    return *paintBuffer_;
}

void TCustomPaintBox32::Invalidate() {
    paintBufferValid_ = false;
    RequestRepaint();
}

// ---- TCustomImage32 ----

TCustomImage32::TCustomImage32() : bitmap_(std::make_unique<TBitmap32>()) {
    bitmap_->OnChanging = [this](TPersistent*) { Changing(); };
    bitmap_->OnChange = [this](TPersistent*) { Changed(); };
    bitmap_->OnResize = [this](TPersistent*) { RasterResized(); };
    MakeDefaultStages();
}

TCustomImage32::~TCustomImage32() {
    BeginUpdate();
    bitmap_->OnChanging = nullptr;
    bitmap_->OnChange = nullptr;
    bitmap_->OnResize = nullptr;
}

void TCustomImage32::MakeDefaultStages() {
    paintStages_ = {
        {true, true, TPaintStageKind::psClearBackground, 0},
        {true, false, TPaintStageKind::psControlFrame, 0},
        {true, true, TPaintStageKind::psDrawPicture, 0},
        {true, false, TPaintStageKind::psPictureFrame, 0},
        {true, true, TPaintStageKind::psDrawLayers, 0x80000000u},
    };
}

void TCustomImage32::SetBitmapAlign(TBitmapAlign value) {
    Changing();
    cachedRectValid_ = false;
    bitmapAlign_ = value;
    Changed();
}

void TCustomImage32::SetScaleMode(TScaleMode value) {
    if (value == scaleMode_) return;
    Changing();
    cachedRectValid_ = false;
    scaleMode_ = value;
    Changed();
}

void TCustomImage32::SetScale(float value) {
    if (value < 0.001f) value = 0.001f;
    if (value == scale_) return;
    Changing();
    cachedRectValid_ = false;
    scale_ = value;
    Changed();
}

void TCustomImage32::SetOffset(float offsetX, float offsetY) {
    Changing();
    cachedRectValid_ = false;
    offsetHorz_ = offsetX;
    offsetVert_ = offsetY;
    Changed();
}

void TCustomImage32::SetColor(TColor32 rgb) {
    color_ = rgb & 0x00FFFFFFu;
    Invalidate();
}

void TCustomImage32::EndUpdate() {
    assert(updateCount_ > 0 && "Unpaired EndUpdate call");
    if (updateCount_ <= 0) throw std::logic_error("Unpaired EndUpdate call");
    --updateCount_;
}

void TCustomImage32::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(nullptr);
}

void TCustomImage32::Changed() {
    if (updateCount_ != 0) return;
    Invalidate();
    if (OnChange) OnChange(nullptr);
}

void TCustomImage32::RasterResized() {
    cachedRectValid_ = false;
    Invalidate();
    if (OnBitmapResize) OnBitmapResize(nullptr);
}

void TCustomImage32::Invalidate() {
    cachedRectValid_ = false;
    TCustomPaintBox32::Invalidate();
}

void TCustomImage32::PictureSize(int32_t& w, int32_t& h) const {
    w = 0;
    h = 0;
    const int32_t bw = bitmap_->Width();
    const int32_t bh = bitmap_->Height();
    if (bitmap_->Empty() || bw <= 0 || bh <= 0 || Width() == 0 || Height() == 0) return;
    switch (scaleMode_) {
        case TScaleMode::smNormal:
            w = bw;
            h = bh;
            break;
        case TScaleMode::smStretch:
            w = Width();
            h = Height();
            break;
        case TScaleMode::smResize: {
            const float sx = static_cast<float>(static_cast<double>(Width()) / bw);
            const float sy = static_cast<float>(static_cast<double>(Height()) / bh);
            if (sx >= sy) {
                w = RoundEven(static_cast<double>(bw) * sy);
                h = Height();
            } else {
                w = Width();
                h = RoundEven(static_cast<double>(bh) * sx);
            }
            break;
        }
        case TScaleMode::smScale:
            w = RoundEven(static_cast<double>(bw) * scale_);
            h = RoundEven(static_cast<double>(bh) * scale_);
            break;
    }
}

TRect TCustomImage32::ComputePictureRect() const {
    if (bitmap_->Empty()) return TRect{};
    int32_t w = 0;
    int32_t h = 0;
    PictureSize(w, h);
    TRect r{0, 0, w, h};
    int32_t dx = 0;
    int32_t dy = 0;
    if (bitmapAlign_ == TBitmapAlign::baCenter) {
        dx = (Width() - w) / 2;
        dy = (Height() - h) / 2;
    } else if (bitmapAlign_ == TBitmapAlign::baCustom) {
        dx = RoundEven(offsetHorz_);
        dy = RoundEven(offsetVert_);
    }
    return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

TRect TCustomImage32::PictureRect() {
    if (!cachedRectValid_) {
        cachedPictureRect_ = ComputePictureRect();
        cachedRectValid_ = true;
    }
    return cachedPictureRect_;
}

void TCustomImage32::RenderBuffer() {
    PictureRect();
    for (const TPaintStage& stage : paintStages_) {
        if (!stage.RunTime) continue;
        if (stage.Stage == TPaintStageKind::psClearBackground) ExecClearBackground();
        if (stage.Stage == TPaintStageKind::psDrawPicture) ExecDrawPicture();
        // Layers: none are ever added, so the layer stage draws nothing.
    }
    TCustomPaintBox32::RenderBuffer();
}

void TCustomImage32::ExecClearBackground() {
    TBitmap32& buffer = PaintBuffer();
    if (buffer.Empty()) return;
    const TColor32 colour = 0xFF000000u | color_;
    if (bitmap_->Empty() || bitmap_->DrawMode() != TDrawMode::dmOpaque) {
        buffer.FillAll(colour);
        return;
    }
    const TRect r = cachedPictureRect_;
    const int32_t W = Width();
    const int32_t H = Height();
    const bool uncovered = r.Left > 0 || r.Top > 0 || r.Right < W ||
                           (bitmapAlign_ != TBitmapAlign::baTile && r.Bottom < H);
    if (!uncovered) return;
    buffer.FillRectClipped(0, 0, W - 1, r.Top - 1, colour);
    buffer.FillRectClipped(0, r.Bottom, W - 1, H - 1, colour);
    buffer.FillRectClipped(0, r.Top, r.Left - 1, r.Bottom - 1, colour);
    buffer.FillRectClipped(r.Right, r.Top, W - 1, r.Bottom - 1, colour);
}

void TCustomImage32::ExecDrawPicture() {
    const TRect r = cachedPictureRect_;
    if (bitmap_->Empty() || r.IsEmpty() || PaintBuffer().Empty()) return;
    bitmap_->Lock();
    try {
        if (bitmapAlign_ != TBitmapAlign::baTile) {
            DrawInto(*bitmap_, PaintBuffer(), r);
        } else {
            for (int32_t y = r.Top; y < Height(); y += r.Height())
                for (int32_t x = r.Left; x < Width(); x += r.Width())
                    DrawInto(*bitmap_, PaintBuffer(), TRect{x, y, x + r.Width(), y + r.Height()});
        }
    } catch (...) {
        bitmap_->Unlock();
        throw;
    }
    bitmap_->Unlock();
}

}  // namespace corvane
