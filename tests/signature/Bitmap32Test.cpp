#include "picture/Bitmap32.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

// Records the notifications a raster fires, in order.
struct Recorder {
    std::string events;
    explicit Recorder(TBitmap32& raster) {
        raster.OnChanging = [this](TPersistent*) { events += "changing "; };
        raster.OnChange = [this](TPersistent*) { events += "change "; };
        raster.OnResize = [this](TPersistent*) { events += "resize "; };
    }
};

TEST(Raster, NewRasterIsEmpty) {
    TBitmap32 raster;
    EXPECT_EQ(raster.Width(), 0);
    EXPECT_EQ(raster.Height(), 0);
    EXPECT_TRUE(raster.Empty());
    EXPECT_EQ(raster.GetPixelChecked(0, 0), 0u);
    EXPECT_EQ(raster.MasterAlpha(), 255u);
    EXPECT_EQ(raster.DrawMode(), TDrawMode::dmOpaque);
    EXPECT_EQ(raster.StretchFilter(), TStretchFilter::sfNearest);
}

TEST(Raster, SetSizeRulesAndNotifications) {
    TBitmap32 raster;
    Recorder rec(raster);
    EXPECT_TRUE(raster.SetSize(-5, 10));
    EXPECT_EQ(raster.Width(), 0);
    EXPECT_EQ(raster.Height(), 10);
    EXPECT_TRUE(raster.Empty());
    EXPECT_EQ(rec.events, "changing change resize ");
    rec.events.clear();
    EXPECT_FALSE(raster.SetSize(0, 10));
    EXPECT_EQ(rec.events, "");

    raster.SetSize(640, 480);
    raster.SetHeight(0);
    EXPECT_EQ(raster.Width(), 640);
    EXPECT_EQ(raster.Height(), 0);
    EXPECT_TRUE(raster.Empty());

    // Notifications inside an update bracket stay silent, except resize.
    rec.events.clear();
    raster.BeginUpdate();
    raster.SetSize(2, 2);
    raster.EndUpdate();
    EXPECT_EQ(rec.events, "resize ");
}

TEST(Raster, PixelAccessAndContentAcrossSizes) {
    TBitmap32 raster;
    raster.SetSize(3, 2);
    raster.SetPixel(2, 1, 0x12345678);
    EXPECT_EQ(raster.Bits()[5], 0x12345678u);
    EXPECT_EQ(raster.GetPixel(2, 1), 0x12345678u);
    EXPECT_EQ(*raster.PixelPtr(2, 1), 0x12345678u);
    EXPECT_EQ(raster.ScanLine(1)[2], 0x12345678u);

    raster.SetOuterColor(0xCAFEBABE);
    for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}}) {
        EXPECT_EQ(raster.GetPixelChecked(x, y), 0xCAFEBABEu);
        raster.SetPixelChecked(x, y, 1);
    }
    EXPECT_EQ(raster.GetPixelChecked(2, 1), 0x12345678u);

    EXPECT_FALSE(raster.SetSize(3, 2));
    EXPECT_EQ(raster.GetPixel(2, 1), 0x12345678u);
    raster.SetSize(4, 4);
    raster.SetSize(3, 2);
    EXPECT_EQ(raster.GetPixel(2, 1), 0u);
}

TEST(Raster, FillsAndAlpha) {
    TBitmap32 raster;
    raster.SetSize(4, 3);
    raster.FillAll(0x00112233);
    raster.FillRectClipped(5, 2, 2, -4, 0x00FFFFFF);  // corners swapped and clamped
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(raster.GetPixel(x, y), x >= 2 ? 0x00FFFFFFu : 0x00112233u) << x << "," << y;
    raster.SetAlphaOpaque();
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF112233u);
    raster.FillRect(1, 1, 1, 1, 5);
    EXPECT_EQ(raster.GetPixel(1, 1), 5u);

    Recorder rec(raster);
    raster.SetMasterAlpha(255);
    raster.SetDrawMode(TDrawMode::dmBlend);
    EXPECT_EQ(rec.events, "changing change ");
}

TEST(Raster, AssignCopiesAnotherRasterWithOneChange) {
    TBitmap32 source, target;
    source.SetSize(2, 2);
    source.FillAll(0x80102030);
    source.SetOuterColor(7);
    Recorder rec(target);
    target.Assign(&source);
    EXPECT_EQ(rec.events, "changing resize change ");
    EXPECT_EQ(target.GetPixel(1, 1), 0x80102030u);
    EXPECT_EQ(target.OuterColor(), 7u);
    rec.events.clear();
    target.Assign(nullptr);
    EXPECT_TRUE(target.Empty());
    EXPECT_EQ(rec.events, "changing resize change ");
}

}  // namespace
}  // namespace corvane
