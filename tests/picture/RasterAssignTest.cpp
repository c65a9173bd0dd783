// Filling a raster from pictures, and a platform bitmap from a raster.
#include <gtest/gtest.h>

#include "picture/Graphics.h"

namespace corvane {
namespace {

// A picture that paints one colour over its whole rectangle (or nothing).
class TSolidPicture : public TGraphic {
  public:
    TSolidPicture(int32_t w, int32_t h, TColor32 color, bool paints = true)
        : w_(w), h_(h), color_(color), paints_(paints) {}
    std::string ClassName() const override { return "TSolidPicture"; }
    int32_t Width() const override { return w_; }
    int32_t Height() const override { return h_; }
    bool Empty() const override { return w_ == 0 || h_ == 0; }
    void Draw(TCanvas& canvas, const TRect& rect) override {
        ++draws;
        lastRect = rect;
        if (failDraw) throw EInvalidGraphic("draw failed");
        if (paints_) canvas.FillRect(rect, color_);
    }
    bool DrawsEveryPixelOpaque() const override { return claimsOpaque; }
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}

    int draws = 0;
    TRect lastRect;
    bool failDraw = false;
    bool claimsOpaque = false;

  private:
    int32_t w_, h_;
    TColor32 color_;
    bool paints_;
};

class TUnrelated : public TPersistent {
  public:
    std::string ClassName() const override { return "TUnrelated"; }
};

// Records the raster's notifications in order.
class RasterAssign : public ::testing::Test {
  protected:
    void SetUp() override {
        raster.OnChanging = [this](TPersistent*) { events += "changing "; };
        raster.OnChange = [this](TPersistent*) { events += "change "; };
        raster.OnResize = [this](TPersistent*) { events += "resize "; };
    }
    void ExpectAll(TColor32 value) {
        for (int32_t y = 0; y < raster.Height(); ++y)
            for (int32_t x = 0; x < raster.Width(); ++x) ASSERT_EQ(raster.GetPixel(x, y), value);
    }
    TBitmap32 raster;
    std::string events;
};

TEST_F(RasterAssign, PictureDrawsOverTheWholeRasterAndTurnsOpaque) {
    TSolidPicture picture(4, 3, 0x000A141E);
    raster.Assign(&picture);
    EXPECT_EQ(raster.Width(), 4);
    EXPECT_EQ(raster.Height(), 3);
    EXPECT_EQ(picture.lastRect, Rect(0, 0, 4, 3));
    ExpectAll(0xFF0A141E);
    EXPECT_EQ(events, "changing resize change ");
}

TEST_F(RasterAssign, UnpaintedPixelsReadOpaqueBlack) {
    TSolidPicture picture(3, 2, 0, false);
    raster.Assign(&picture);
    ExpectAll(0xFF000000);
}

TEST_F(RasterAssign, NullEmptiesWithOneChange) {
    raster.SetSize(2, 2);
    events.clear();
    raster.Assign(nullptr);
    EXPECT_TRUE(raster.Empty());
    EXPECT_EQ(raster.Width(), 0);
    EXPECT_EQ(events, "changing resize change ");
}

TEST_F(RasterAssign, UnsupportedSourceFailsAndStillFiresChange) {
    TUnrelated other;
    try {
        raster.Assign(&other);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TUnrelated to a TBitmap32");
    }
    EXPECT_EQ(events, "changing change ");
}

TEST_F(RasterAssign, ZeroWidePictureGivesAnEmptyRasterAndIsNotDrawn) {
    TSolidPicture picture(0, 5, 0x123456);
    raster.Assign(&picture);
    EXPECT_EQ(raster.Width(), 0);
    EXPECT_EQ(raster.Height(), 5);
    EXPECT_TRUE(raster.Empty());
    EXPECT_EQ(picture.draws, 0);
}

TEST_F(RasterAssign, DrawFailureKeepsTheNewSizeAndClosesTheBracket) {
    TSolidPicture picture(2, 2, 0x123456);
    picture.failDraw = true;
    EXPECT_THROW(raster.Assign(&picture), EInvalidGraphic);
    EXPECT_EQ(raster.Width(), 2);
    EXPECT_EQ(raster.UpdateCount(), 0);
    EXPECT_EQ(events, "changing resize change ");
    ExpectAll(0);
}

TEST_F(RasterAssign, OpaquePaintingSkipsClearingYetNothingOfTheOldBufferShows) {
    // Small buffers come from the heap, large ones (8 MiB and more) on huge pages.
    for (const auto& [w, h] : {std::pair{5, 3}, std::pair{2048, 1100}}) {
        SCOPED_TRACE(w);
        struct Case {
            bool claimsOpaque, paints, fails;
            TColor32 expected;
        } cases[] = {
            {true, true, false, 0xFF0A141E},   // every pixel painted opaque
            {true, true, true, 0},             // failed: all zero, as if cleared
            {false, false, false, 0xFF000000}  // cleared, then made opaque
        };
        for (const Case& c : cases) {
            raster.SetSize(w + 1, h);
            raster.FillAll(0x12345678);
            events.clear();
            TSolidPicture picture(w, h, 0xFF0A141E, c.paints);
            picture.claimsOpaque = c.claimsOpaque;
            picture.failDraw = c.fails;
            if (c.fails) {
                EXPECT_THROW(raster.Assign(&picture), EInvalidGraphic);
            } else {
                raster.Assign(&picture);
            }
            EXPECT_EQ(events, "changing resize change ");
            ExpectAll(c.expected);
        }
    }
}

TEST_F(RasterAssign, BitmapIsCopiedOneToOne) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetColorTable({TRGBQuad{30, 20, 10, 0}, TRGBQuad{3, 2, 1, 0}});
    bitmap.SetSize(3, 2);
    bitmap.ScanLine(1)[2] = 1;
    raster.Assign(&bitmap);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF0A141Eu);
    EXPECT_EQ(raster.GetPixel(2, 1), 0xFF010203u);
    EXPECT_EQ(events, "changing resize change ");
}

TEST_F(RasterAssign, TransparentBitmapIsStillCopiedWhole) {
    TBitmap bitmap;
    bitmap.SetSize(1, 1);
    bitmap.SetTransparent(true);
    raster.Assign(&bitmap);
    ExpectAll(0xFF000000);
}

TEST_F(RasterAssign, ContainerUsesTheHeldGraphic) {
    TPicture holdsBitmap;
    holdsBitmap.Bitmap().SetSize(2, 1);
    holdsBitmap.Bitmap().ScanLine(0)[3] = 0x44;
    raster.Assign(&holdsBitmap);
    EXPECT_EQ(raster.GetPixel(1, 0), 0xFF000044u);

    TPicture holdsPicture;
    holdsPicture.SetGraphic(std::make_unique<TSolidPicture>(2, 3, 0x000102));
    raster.Assign(&holdsPicture);
    EXPECT_EQ(raster.Height(), 3);
    ExpectAll(0xFF000102);
}

TEST_F(RasterAssign, AnotherRasterIsCopiedWithAlphaAndSettings) {
    TBitmap32 other;
    other.SetSize(2, 1);
    other.SetPixel(1, 0, 0x11223344);
    other.SetOuterColor(0x77);
    raster.Assign(&other);
    EXPECT_EQ(raster.GetPixel(1, 0), 0x11223344u);
    EXPECT_EQ(raster.OuterColor(), 0x77u);
}

TEST(RasterAssignTo, ContainerReceivesA32BitBitmap) {
    TBitmap32 raster;
    raster.SetSize(3, 2);
    raster.SetPixel(2, 1, 0xFF405060);
    TPicture picture;
    picture.SetGraphic(std::make_unique<TSolidPicture>(1, 1, 0));
    picture.Assign(&raster);
    auto* bitmap = dynamic_cast<TBitmap*>(picture.Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(bitmap->HandleType(), THandleType::bmDIB);
    EXPECT_EQ(bitmap->Width(), 3);
    EXPECT_EQ(bitmap->PixelColor(2, 1), 0x405060u);
    EXPECT_EQ(bitmap->PixelColor(0, 0), 0u);
}

TEST(RasterAssignTo, BitmapRoundTripKeepsColours) {
    TBitmap32 raster;
    raster.SetSize(2, 2);
    raster.SetPixel(0, 1, 0xFFABCDEF);
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.Assign(&raster);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf32bit);
    TBitmap32 back;
    back.Assign(&bitmap);
    EXPECT_EQ(back.GetPixel(0, 1), 0xFFABCDEFu);
    EXPECT_EQ(back.GetPixel(1, 1), 0xFF000000u);

    TBitmap32 empty;
    bitmap.Assign(&empty);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(RasterAssignTo, OtherDestinationsFail) {
    TBitmap32 raster;
    TSolidPicture picture(1, 1, 0);
    EXPECT_THROW(picture.Assign(&raster), EConvertAssign);
}

}  // namespace
}  // namespace corvane
