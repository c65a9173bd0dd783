// TDecodedPicture: the common part of the picture classes that hand a whole
// file to a decoding library (PNG, WebP, TIFF, HEIF). It keeps the file's
// bytes, learns the picture's size from the header when loaded (a size above
// kMaxBitmapPixels fails there, before any pixel is allocated) and decodes on
// every draw, straight into the canvas when the picture is drawn at its own
// size. Saving writes the loaded bytes unchanged.
//
// Pixels: the first frame or page at full size, 8 bits per channel, as the
// library converts it to RGB; transparent and partly transparent pixels are
// laid over black, the colour a GIF's transparent pixels read, so that
// transparent areas of a PNG and of a GIF of one picture agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/Graphics.h"

namespace corvane {

// A rectangle of 32-bit pixels owned by someone else.
struct TPixelArea {
    TColor32* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    ptrdiff_t Stride = 0;  // pixels from one row to the next

    TColor32* Row(int32_t y) const { return Bits + y * Stride; }
    // Rows follow each other without a gap.
    bool Contiguous() const { return Stride == Width; }
};

// Lays straight-alpha pixels (0xAARRGGBB) over black and makes them opaque:
// each channel becomes (channel x alpha + 127) div 255.
void LayOverBlack(TColor32* pixels, size_t count);

// Sets the opaque black to the pixels of Area that lie outside the first
// Width x Height (a decoded frame smaller than the header said).
void FillOutside(const TPixelArea& area, int32_t width, int32_t height);

class TDecodedPicture : public TGraphic {
  public:
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    // EInvalidGraphicOperation "Cannot change the size of a <format> image".
    void SetWidth(int32_t value) override;
    void SetHeight(int32_t value) override;
    bool Empty() const override { return width_ == 0 || height_ == 0; }
    // Decodes and draws the picture stretched into rect; every pixel opaque.
    // Library failures throw the class's exception.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool DrawsEveryPixelOpaque() const override { return true; }

    // Takes every byte from the stream's position to its end and reads the
    // header; failures throw the class's exception.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Largest width x height a header may claim; kMaxBitmapPixels unless
    // lowered (the fuzzers lower it to stay fast).
    void SetMaxPixels(int64_t value) { maxPixels_ = value; }

  protected:
    // "PNG", "WebP", ...: for messages.
    virtual const char* FormatName() const = 0;
    // Reads the picture's size from Bytes(); throws on failure.
    virtual void ReadSize(int32_t& width, int32_t& height) = 0;
    // Decodes into Area (the picture's own size) with every pixel opaque.
    virtual void DecodeInto(const TPixelArea& area) = 0;
    // The exception every failure of the class throws.
    [[noreturn]] virtual void Fail(const std::string& message) const = 0;

  private:
    void CheckSize(int64_t width, int64_t height) const;
    void DrawStretched(TCanvas& canvas, const TRect& rect);

    std::vector<uint8_t> bytes_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int64_t maxPixels_ = kMaxBitmapPixels;
};

}  // namespace corvane
