// The platform bitmap: formats, drawing, writing and reading back.
#include <gtest/gtest.h>

#include <algorithm>

#include "picture/Graphics.h"

namespace corvane {
namespace {

// A 32-bit target surface with its own pixels.
struct TSurface {
    TSurface(int32_t w, int32_t h, TColor32 fill = 0)
        : pixels(static_cast<size_t>(w) * h, fill), canvas(pixels.data(), w, h, w) {}
    TColor32 At(int32_t x, int32_t y) const { return canvas.Pixel(x, y); }
    std::vector<TColor32> pixels;
    TCanvas canvas;
};

// A 24-bit bitmap whose pixel (x, y) has red x, green y, blue 7.
void MakeGradient(TBitmap& bitmap, int32_t w, int32_t h) {
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = 7, p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x);
        }
}

TColor32 Gradient(int32_t x, int32_t y) {
    return (TColor32(x) << 16) | (TColor32(y) << 8) | 7;
}

TEST(BitmapDraw, SameSizeIsAnExactCopyAtTheRectanglesPlace) {
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    TSurface target(5, 4, 0xDEADBEEF);
    bitmap.Draw(target.canvas, Rect(1, 2, 4, 4));
    EXPECT_EQ(target.At(0, 2), 0xDEADBEEFu);
    EXPECT_EQ(target.At(1, 2), Gradient(0, 0));
    EXPECT_EQ(target.At(3, 3), Gradient(2, 1));
    EXPECT_EQ(target.At(4, 3), 0xDEADBEEFu);
    EXPECT_EQ(target.At(1, 1), 0xDEADBEEFu);
}

TEST(BitmapDraw, StretchTakesTheNearestSourcePixel) {
    TBitmap bitmap;
    MakeGradient(bitmap, 2, 2);
    TSurface up(4, 4);
    bitmap.Draw(up.canvas, Rect(0, 0, 4, 4));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(up.At(x, y), Gradient(x / 2, y / 2));

    TBitmap wide;
    MakeGradient(wide, 4, 1);
    TSurface down(2, 1);
    wide.Draw(down.canvas, Rect(0, 0, 2, 1));
    EXPECT_EQ(down.At(0, 0), Gradient(1, 0));
    EXPECT_EQ(down.At(1, 0), Gradient(3, 0));
}

TEST(BitmapDraw, ClipsToTheCanvas) {
    TBitmap bitmap;
    MakeGradient(bitmap, 4, 4);
    TSurface target(2, 2, 1);
    bitmap.Draw(target.canvas, Rect(-1, -2, 3, 2));
    EXPECT_EQ(target.At(0, 0), Gradient(1, 2));
    EXPECT_EQ(target.At(1, 1), Gradient(2, 3));
    bitmap.Draw(target.canvas, Rect(5, 5, 9, 9));   // entirely outside
    bitmap.Draw(target.canvas, Rect(0, 0, -4, 4));  // no extent
    EXPECT_EQ(target.At(0, 0), Gradient(1, 2));
}

TEST(BitmapDraw, MaskedDrawLeavesMaskedPixels) {
    TBitmap bitmap;
    MakeGradient(bitmap, 2, 1);
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf1bit);
    mask.SetSize(2, 1);
    mask.ScanLine(0)[0] = 0x40;  // second pixel transparent
    TSurface target(2, 1, 0x123456);
    bitmap.DrawMasked(target.canvas, Rect(0, 0, 2, 1), mask);
    EXPECT_EQ(target.At(0, 0), Gradient(0, 0));
    EXPECT_EQ(target.At(1, 0), 0x123456u);
}

TEST(BitmapDraw, TransparentBitmapSkipsItsTransparentColour) {
    TBitmap bitmap;
    MakeGradient(bitmap, 2, 1);
    bitmap.SetTransparentColor(Gradient(1, 0));
    bitmap.SetTransparent(true);
    TSurface target(2, 1, 0x55);
    bitmap.Draw(target.canvas, Rect(0, 0, 2, 1));
    EXPECT_EQ(target.At(0, 0), Gradient(0, 0));
    EXPECT_EQ(target.At(1, 0), 0x55u);
}

TEST(BitmapFormat, TrueColourConversionsKeepEveryColour) {
    for (TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf24bit}) {
        TBitmap bitmap;
        MakeGradient(bitmap, 5, 3);
        bitmap.SetPixelFormat(TPixelFormat::pf32bit);
        bitmap.SetPixelFormat(format);
        EXPECT_EQ(bitmap.PixelFormat(), format);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(bitmap.PixelColor(x, y), Gradient(x, y));
    }
}

TEST(BitmapFormat, PalettedToTrueColourResolvesTheTable) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetColorTable({TRGBQuad{1, 2, 3, 0}, TRGBQuad{4, 5, 6, 0}});
    bitmap.SetSize(2, 1);
    bitmap.ScanLine(0)[1] = 1;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(bitmap.PixelColor(0, 0), 0x030201u);
    EXPECT_EQ(bitmap.PixelColor(1, 0), 0x060504u);
}

TEST(BitmapFormat, TrueColourToPalettedPicksTheNearestEntry) {
    TBitmap bitmap;
    bitmap.SetSize(2, 1);
    const uint8_t pixels[6] = {10, 10, 10, 250, 230, 240};
    std::copy_n(pixels, 6, bitmap.ScanLine(0));
    bitmap.SetColorTable({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    bitmap.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_EQ(bitmap.PixelColor(0, 0), 0x000000u);
    EXPECT_EQ(bitmap.PixelColor(1, 0), 0xFFFFFFu);
}

TEST(BitmapFormat, RowsArePaddedAndTopDown) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(3, 2);
    EXPECT_EQ(bitmap.RowBytes(), 12);
    EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), 12);
    EXPECT_THROW(bitmap.Canvas(), EInvalidGraphicOperation);
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(bitmap.Canvas().Width(), 3);
}

TEST(BitmapSize, RefusesMoreThanTheLimitWithoutAllocating) {
    TBitmap bitmap;
    bitmap.SetSize(4, 4);
    EXPECT_THROW(bitmap.SetSize(1 << 16, (1 << 12) + 1), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 4);
    bitmap.SetSize(-3, 2);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(BitmapSize, LargeBuffersStartZeroedAndCopyWhole) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(1200, 1000);  // large enough for page-mapped storage
    EXPECT_EQ(bitmap.PixelColor(1199, 999), 0u);
    bitmap.ScanLine(999)[4 * 1199] = 0x42;
    TBitmap copy;
    copy.Assign(&bitmap);
    bitmap.SetSize(0, 0);
    EXPECT_EQ(copy.PixelColor(1199, 999), 0x42u);
}

TEST(BitmapStream, WrittenFilesReadBackInEveryFormat) {
    for (TPixelFormat format :
         {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
          TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBitmap original;
        MakeGradient(original, 5, 3);
        original.SetPixelFormat(format);
        TMemoryStream stream;
        original.SaveToStream(stream);
        stream.SetPosition(0);
        TBitmap copy;
        copy.LoadFromStream(stream);
        EXPECT_EQ(copy.PixelFormat(), format);
        ASSERT_EQ(copy.Width(), 5);
        ASSERT_EQ(copy.Height(), 3);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x)
                EXPECT_EQ(copy.PixelColor(x, y), original.PixelColor(x, y));
    }
}

TEST(BitmapAssign, CopiesAreDeep) {
    TBitmap original;
    MakeGradient(original, 2, 2);
    TBitmap copy;
    copy.Assign(&original);
    original.ScanLine(0)[0] = 99;
    EXPECT_EQ(copy.PixelColor(0, 0), Gradient(0, 0));
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
}

TEST(BitmapNotify, ChangesFireOnChange) {
    TBitmap bitmap;
    int changes = 0;
    bitmap.OnChange = [&](TPersistent*) { ++changes; };
    bitmap.SetSize(2, 2);
    bitmap.SetSize(2, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(bitmap.Modified());
}

}  // namespace
}  // namespace corvane
