// TBitmap32: the one in-memory picture format. A top-down buffer of 32-bit
// pixels 0xAARRGGBB (bytes blue, green, red, alpha in memory), row-major with
// no padding: pixel (X, Y) is element X + Y * Width.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "picture/Persistent.h"

namespace corvane {

using TColor32 = uint32_t;
class TCanvas;

inline uint8_t RedComponent(TColor32 c) {
    return static_cast<uint8_t>(c >> 16);
}
inline uint8_t GreenComponent(TColor32 c) {
    return static_cast<uint8_t>(c >> 8);
}
inline uint8_t BlueComponent(TColor32 c) {
    return static_cast<uint8_t>(c);
}

enum class TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum class TStretchFilter : uint8_t { sfNearest = 0, sfLinear = 1, sfSpline = 2 };

// Change notification with an update bracket, and a lock for painting.
class TThreadPersistent : public TPersistent {
  public:
    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

    void BeginUpdate() { ++updateCount_; }
    // Lowering the count below zero is a programming error (asserts).
    void EndUpdate();
    // Lock takes a process-wide section to count, then the object's own.
    void Lock();
    void Unlock();
    int32_t LockCount() const { return lockCount_; }
    int32_t UpdateCount() const { return updateCount_; }

    // Fire OnChanging / OnChange unless an update bracket is open.
    virtual void Changing();
    virtual void Changed();

  private:
    std::recursive_mutex section_;
    int32_t lockCount_ = 0;
    int32_t updateCount_ = 0;
};

class TCustomMap : public TThreadPersistent {
  public:
    TNotifyEvent OnResize;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void SetWidth(int32_t value) { SetSize(value, height_); }
    void SetHeight(int32_t value) { SetSize(width_, value); }

    virtual bool Empty() const { return width_ == 0 || height_ == 0; }
    virtual void MakeEmpty();
    // Fires OnResize always, whatever the update count.
    virtual void Resized();
    // Stores the new size; answers whether it changed.
    virtual bool SetSize(int32_t newWidth, int32_t newHeight);

  protected:
    int32_t width_ = 0;
    int32_t height_ = 0;
};

class TBitmap32 : public TCustomMap {
  public:
    TBitmap32() = default;
    ~TBitmap32() override;
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;

    std::string ClassName() const override { return "TBitmap32"; }

    // Sizes below 1 count as 0. Same size: false, nothing happens. Otherwise
    // Changing, release, allocate an all-zero buffer when both are positive,
    // store both values, Changed, Resized, true. On allocation failure the
    // raster ends empty at 0 x 0 (after Changed and Resized) and
    // "Can't allocate the DIB handle" is thrown.
    bool SetSize(int32_t newWidth, int32_t newHeight) override;
    // SetSize for a caller that writes every pixel next: a new buffer is not
    // cleared first.
    bool SetSizeForOverwrite(int32_t newWidth, int32_t newHeight);
    bool Empty() const override { return bits_ == nullptr; }

    // Unchecked access: callers keep 0 <= X < Width and 0 <= Y < Height.
    TColor32 GetPixel(int32_t x, int32_t y) const {
        return bits_[x + static_cast<ptrdiff_t>(y) * width_];
    }
    void SetPixel(int32_t x, int32_t y, TColor32 value) {
        bits_[x + static_cast<ptrdiff_t>(y) * width_] = value;
    }
    TColor32* PixelPtr(int32_t x, int32_t y) {
        return bits_.get() + x + static_cast<ptrdiff_t>(y) * width_;
    }
    TColor32* ScanLine(int32_t y) { return bits_.get() + static_cast<ptrdiff_t>(y) * width_; }
    const TColor32* ScanLine(int32_t y) const {
        return bits_.get() + static_cast<ptrdiff_t>(y) * width_;
    }
    TColor32* Bits() { return bits_.get(); }
    const TColor32* Bits() const { return bits_.get(); }

    // Checked access: outside the raster reads OuterColor and writes nothing.
    TColor32 GetPixelChecked(int32_t x, int32_t y) const {
        return (x >= 0 && x < width_ && y >= 0 && y < height_) ? GetPixel(x, y) : outerColor_;
    }
    void SetPixelChecked(int32_t x, int32_t y, TColor32 value) {
        if (x >= 0 && x < width_ && y >= 0 && y < height_) SetPixel(x, y, value);
    }

    void FillAll(TColor32 value);
    // Inclusive corners, no clipping.
    void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 value);
    // Orders and clamps the corners, fills only when something is left.
    void FillRectClipped(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 value);
    // Alpha byte of every pixel := 0xFF.
    void SetAlphaOpaque();
    // If not empty: copies all pixels unchanged onto the canvas with the
    // top-left at (x, y), clipped to the canvas.
    void CopyToDeviceContext(TCanvas& canvas, int32_t x, int32_t y) const;

    TDrawMode DrawMode() const { return drawMode_; }
    void SetDrawMode(TDrawMode value);
    uint32_t MasterAlpha() const { return masterAlpha_; }
    void SetMasterAlpha(uint32_t value);
    TStretchFilter StretchFilter() const { return stretchFilter_; }
    void SetStretchFilter(TStretchFilter value);
    TColor32 OuterColor() const { return outerColor_; }
    void SetOuterColor(TColor32 value) { outerColor_ = value; }  // no notification

    // Fill from another raster, a platform bitmap, a picture or a container.
    void Assign(const TPersistent* source) override;

  protected:
    // Fill a platform bitmap or picture container with this raster's pixels.
    void AssignTo(TPersistent* dest) const override;

  private:
    bool Resize(int32_t newWidth, int32_t newHeight, bool clear);
    struct FreeBits {
        void operator()(TColor32* p) const;
    };
    // From malloc/calloc, or aligned_alloc for large ones (AllocatePixels)
    std::unique_ptr<TColor32[], FreeBits> bits_;
    TDrawMode drawMode_ = TDrawMode::dmOpaque;
    uint32_t masterAlpha_ = 255;
    TColor32 outerColor_ = 0;
    TStretchFilter stretchFilter_ = TStretchFilter::sfNearest;
};

}  // namespace corvane
