// The picture view without its window: a control of a given size that owns a
// raster (Bitmap) and paints it, scaled by ScaleMode, into an off-screen paint
// buffer. The window layer only copies the buffer's (0, 0)-(Width, Height)
// area to the screen and forwards clicks; everything visible is decided here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "picture/Bitmap32.h"
#include "picture/view/Transfer.h"

namespace corvane {

enum class TBitmapAlign : uint8_t { baTopLeft = 0, baCenter = 1, baTile = 2, baCustom = 3 };
enum class TScaleMode : uint8_t { smNormal = 0, smStretch = 1, smScale = 2, smResize = 3 };

// Paint buffer with slack: the buffer grows by BufferSlack beyond the
// viewport so that small resizes do not reallocate it.
class TCustomPaintBox32 {
  public:
    TCustomPaintBox32();
    virtual ~TCustomPaintBox32() = default;
    TCustomPaintBox32(const TCustomPaintBox32&) = delete;
    TCustomPaintBox32& operator=(const TCustomPaintBox32&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // A change of size invalidates the buffer (and the picture rectangle).
    void SetBounds(int32_t width, int32_t height);

    TBitmap32& PaintBuffer() { return *paintBuffer_; }
    const TBitmap32& PaintBuffer() const { return *paintBuffer_; }
    int32_t BufferSlack() const { return bufferSlack_; }
    void SetBufferSlack(int32_t value) { bufferSlack_ = value; }
    bool PaintBufferValid() const { return paintBufferValid_; }

    // The platform's paint request: size the buffer to the viewport, render
    // it when invalid, and give it back; the caller copies the viewport area
    // (0, 0)-(Width, Height) to the screen 1:1.
    const TBitmap32& Paint();

    // Marks the buffer invalid and asks for a repaint.
    virtual void Invalidate();

  protected:
    virtual void RenderBuffer() { paintBufferValid_ = true; }
    virtual TRect ViewportRect() const { return TRect{0, 0, width_, height_}; }
    // Asks the window layer to repaint; nothing without a window.
    virtual void RequestRepaint() {}
    virtual void BoundsChanged() {}

  private:
    void ResizeBuffer();
    static int32_t SlackExtent(int32_t current, int32_t wanted, int32_t slack);

    std::unique_ptr<TBitmap32> paintBuffer_;
    int32_t bufferSlack_ = 40;
    bool paintBufferValid_ = false;
    int32_t width_ = 192;
    int32_t height_ = 192;
};

enum class TPaintStageKind : uint8_t {
    psClearBackground,
    psControlFrame,
    psDrawPicture,
    psPictureFrame,
    psDrawLayers,
};

struct TPaintStage {
    bool DsgnTime;
    bool RunTime;
    TPaintStageKind Stage;
    uint32_t Parameter;
};

// Raster view with scale modes and alignments. Raster notifications are
// wired so that Assign, SetSize and size writes repaint by themselves, while
// plain pixel writes need an explicit Invalidate.
class TCustomImage32 : public TCustomPaintBox32 {
  public:
    TCustomImage32();
    ~TCustomImage32() override;

    TBitmap32& Bitmap() { return *bitmap_; }
    const TBitmap32& Bitmap() const { return *bitmap_; }
    void SetBitmap(const TBitmap32& value) { bitmap_->Assign(&value); }

    TBitmapAlign BitmapAlign() const { return bitmapAlign_; }
    void SetBitmapAlign(TBitmapAlign value);
    TScaleMode ScaleMode() const { return scaleMode_; }
    void SetScaleMode(TScaleMode value);
    float Scale() const { return scale_; }
    // Values below 0.001 are raised to 0.001.
    void SetScale(float value);
    void SetOffset(float offsetX, float offsetY);

    // Background colour as 0x00RRGGBB; painted with alpha 255.
    TColor32 Color() const { return color_; }
    void SetColor(TColor32 rgb);

    const std::vector<TPaintStage>& PaintStages() const { return paintStages_; }

    void BeginUpdate() { ++updateCount_; }
    // Asserts "Unpaired EndUpdate call" when the count would go negative.
    void EndUpdate();
    void Changing();
    void Changed();

    // Size of the picture inside the control; (0, 0) for an empty raster or
    // a control of no width or height.
    void PictureSize(int32_t& w, int32_t& h) const;
    // The picture's rectangle, cached until invalidated.
    TRect PictureRect();

    void Invalidate() override;

    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;
    TNotifyEvent OnBitmapResize;

  protected:
    void RenderBuffer() override;
    void BoundsChanged() override { cachedRectValid_ = false; }
    virtual void RasterResized();

  private:
    void MakeDefaultStages();
    void ExecClearBackground();
    void ExecDrawPicture();
    TRect ComputePictureRect() const;

    std::unique_ptr<TBitmap32> bitmap_;
    TBitmapAlign bitmapAlign_ = TBitmapAlign::baTopLeft;
    float offsetHorz_ = 0;
    float offsetVert_ = 0;
    std::vector<TPaintStage> paintStages_;
    float scale_ = 1.0f;
    TScaleMode scaleMode_ = TScaleMode::smNormal;
    int32_t updateCount_ = 0;
    TRect cachedPictureRect_;
    bool cachedRectValid_ = false;
    TColor32 color_ = 0xF0F0F0;
};

}  // namespace corvane
