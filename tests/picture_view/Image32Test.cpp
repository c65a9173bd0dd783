#include <gtest/gtest.h>

#include "picture/view/Image32.h"

namespace corvane {
namespace {

constexpr TColor32 kBackground = 0x123456;
constexpr TColor32 kOpaqueBackground = 0xFF000000u | kBackground;

// Every pixel tells where it came from, so the resampling can be checked.
TColor32 Coded(int32_t x, int32_t y) {
    return 0xFF000000u | (uint32_t(y) << 12) | uint32_t(x);
}

void FillCoded(TBitmap32& raster, int32_t w, int32_t h) {
    raster.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) raster.SetPixel(x, y, Coded(x, y));
}

class CountingImage : public TCustomImage32 {
  public:
    int repaints = 0;

  protected:
    void RequestRepaint() override { ++repaints; }
};

struct ViewFixture : ::testing::Test {
    CountingImage view;
    void SetUp() override {
        view.SetColor(kBackground);
        view.SetBounds(217, 273);
        view.SetScaleMode(TScaleMode::smResize);
    }
};

struct SizeCase {
    int32_t bw, bh;
    TScaleMode mode;
    float scale;
    int32_t w, h;
};

class PictureSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PictureSizeTest, MatchesScaleMode) {
    const SizeCase c = GetParam();
    TCustomImage32 view;
    view.SetBounds(217, 273);
    view.SetScaleMode(c.mode);
    view.SetScale(c.scale);
    view.Bitmap().SetSize(c.bw, c.bh);
    int32_t w = -1, h = -1;
    view.PictureSize(w, h);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureSizeTest,
    ::testing::Values(SizeCase{640, 480, TScaleMode::smResize, 1, 217, 163},  // wide: fits width
                      SizeCase{100, 100, TScaleMode::smResize, 1, 217, 217},  // enlarged
                      SizeCase{1, 1000, TScaleMode::smResize, 1, 0, 273},     // too thin to show
                      SizeCase{480, 640, TScaleMode::smResize, 1, 205, 273},  // tall: fits height
                      SizeCase{217, 273, TScaleMode::smResize, 1, 217, 273},  // exact
                      SizeCase{0, 0, TScaleMode::smResize, 1, 0, 0},          // empty raster
                      SizeCase{640, 480, TScaleMode::smNormal, 1, 640, 480},
                      SizeCase{640, 480, TScaleMode::smStretch, 1, 217, 273},
                      SizeCase{5, 7, TScaleMode::smScale, 0.5f, 2, 4},  // ties to even
                      SizeCase{100, 10, TScaleMode::smScale, 0.0001f, 0, 0}));

TEST(PictureSize, ControlWithoutAreaShowsNothing) {
    TCustomImage32 view;
    view.SetScaleMode(TScaleMode::smNormal);
    view.Bitmap().SetSize(10, 10);
    view.SetBounds(0, 50);
    int32_t w = -1, h = -1;
    view.PictureSize(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST(PictureRect, AlignmentMovesTheRectangle) {
    TCustomImage32 view;
    view.SetBounds(217, 273);
    view.SetScaleMode(TScaleMode::smResize);
    view.Bitmap().SetSize(640, 480);
    EXPECT_EQ(view.PictureRect(), (TRect{0, 0, 217, 163}));
    view.SetBitmapAlign(TBitmapAlign::baCenter);
    EXPECT_EQ(view.PictureRect(), (TRect{0, 55, 217, 218}));
    view.SetBitmapAlign(TBitmapAlign::baCustom);
    view.SetOffset(2.5f, 3.5f);  // rounded to even
    EXPECT_EQ(view.PictureRect(), (TRect{2, 4, 219, 167}));
    view.Bitmap().SetSize(0, 0);
    EXPECT_EQ(view.PictureRect(), (TRect{}));
}

TEST(Scale, IsNeverBelowOneThousandth) {
    TCustomImage32 view;
    view.SetScale(0.0f);
    EXPECT_FLOAT_EQ(view.Scale(), 0.001f);
}

TEST(Update, UnpairedEndUpdateFails) {
    TCustomImage32 view;
    view.BeginUpdate();
    view.EndUpdate();
#ifdef NDEBUG
    EXPECT_THROW(view.EndUpdate(), std::logic_error);
#else
    EXPECT_DEATH(view.EndUpdate(), "Unpaired EndUpdate call");
#endif
}

// Checks every viewport pixel: inside the picture rectangle the nearest
// source pixel, outside it the background.
void ExpectPainted(CountingImage& view, const TRect& picture) {
    const TBitmap32& buffer = view.Paint();
    const TBitmap32& raster = view.Bitmap();
    const uint64_t stepX =
        picture.IsEmpty() ? 0 : (uint64_t(raster.Width()) << 16) / picture.Width();
    const uint64_t stepY =
        picture.IsEmpty() ? 0 : (uint64_t(raster.Height()) << 16) / picture.Height();
    int mismatches = 0;
    for (int32_t y = 0; y < view.Height(); ++y)
        for (int32_t x = 0; x < view.Width(); ++x) {
            const bool inside =
                x >= picture.Left && x < picture.Right && y >= picture.Top && y < picture.Bottom;
            TColor32 expected = kOpaqueBackground;
            if (inside) {
                const int32_t sx = int32_t(((x - picture.Left) * stepX) >> 16);
                const int32_t sy = int32_t(((y - picture.Top) * stepY) >> 16);
                expected = raster.GetPixel(sx, sy);
            }
            if (buffer.GetPixel(x, y) != expected && ++mismatches < 5)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ViewFixture, ReducedPictureLeavesBackgroundBelow) {
    FillCoded(view.Bitmap(), 640, 480);
    ExpectPainted(view, TRect{0, 0, 217, 163});
}

TEST_F(ViewFixture, SmallPictureIsEnlarged) {
    FillCoded(view.Bitmap(), 100, 100);
    ExpectPainted(view, TRect{0, 0, 217, 217});
}

TEST_F(ViewFixture, TooThinPictureShowsOnlyBackground) {
    FillCoded(view.Bitmap(), 1, 1000);
    ExpectPainted(view, TRect{});
}

TEST_F(ViewFixture, EmptyRasterShowsOnlyBackground) {
    ExpectPainted(view, TRect{});
    FillCoded(view.Bitmap(), 30, 30);
    view.Bitmap().SetSize(0, 0);
    ExpectPainted(view, TRect{});
}

TEST_F(ViewFixture, ExactSizeIsCopiedOneToOne) {
    FillCoded(view.Bitmap(), 217, 273);
    const TBitmap32& buffer = view.Paint();
    for (int32_t y = 0; y < 273; y += 17)
        for (int32_t x = 0; x < 217; x += 13) ASSERT_EQ(buffer.GetPixel(x, y), Coded(x, y));
}

TEST_F(ViewFixture, NormalModeCopiesUnscaledAndClips) {
    view.SetScaleMode(TScaleMode::smNormal);
    FillCoded(view.Bitmap(), 300, 100);
    const TBitmap32& buffer = view.Paint();
    EXPECT_EQ(buffer.GetPixel(216, 99), Coded(216, 99));
    EXPECT_EQ(buffer.GetPixel(0, 0), Coded(0, 0));
    EXPECT_EQ(buffer.GetPixel(5, 100), kOpaqueBackground);
}

TEST_F(ViewFixture, PixelWritesShowOnlyAfterInvalidate) {
    FillCoded(view.Bitmap(), 217, 273);
    view.Paint();
    const int before = view.repaints;
    view.Bitmap().SetPixel(3, 4, 0xFF00FF00u);
    EXPECT_EQ(view.repaints, before);
    EXPECT_EQ(view.Paint().GetPixel(3, 4), Coded(3, 4));
    view.Invalidate();
    EXPECT_GT(view.repaints, before);
    EXPECT_EQ(view.Paint().GetPixel(3, 4), 0xFF00FF00u);
}

TEST_F(ViewFixture, AssignRepaintsByItself) {
    FillCoded(view.Bitmap(), 217, 273);
    view.Paint();
    TBitmap32 other;
    other.SetSize(217, 273);
    other.FillAll(0xFFABCDEFu);
    const int before = view.repaints;
    view.SetBitmap(other);
    EXPECT_GT(view.repaints, before);
    EXPECT_EQ(view.Paint().GetPixel(100, 100), 0xFFABCDEFu);
}

TEST_F(ViewFixture, BufferKeepsSlack) {
    view.Paint();
    EXPECT_EQ(view.PaintBuffer().Width(), 257);
    EXPECT_EQ(view.PaintBuffer().Height(), 313);
    view.SetBounds(230, 300);  // grows within the slack: no reallocation
    view.Paint();
    EXPECT_EQ(view.PaintBuffer().Width(), 257);
    EXPECT_EQ(view.PaintBuffer().Height(), 313);
    view.SetBounds(100, 300);  // more than 40 narrower: exact width
    view.Paint();
    EXPECT_EQ(view.PaintBuffer().Width(), 100);
    EXPECT_EQ(view.PaintBuffer().Height(), 313);
    view.SetBufferSlack(-1);
    view.SetBounds(120, 310);
    view.Paint();
    EXPECT_EQ(view.PaintBuffer().Width(), 120);
    EXPECT_EQ(view.PaintBuffer().Height(), 310);
}

TEST_F(ViewFixture, NonOpaqueRasterClearsWholeBuffer) {
    FillCoded(view.Bitmap(), 640, 480);
    view.Bitmap().SetDrawMode(TDrawMode::dmBlend);
    // The picture is drawn over the cleared buffer all the same.
    ExpectPainted(view, TRect{0, 0, 217, 163});
}

TEST(Tile, RepeatsThePicture) {
    CountingImage view;
    view.SetColor(kBackground);
    view.SetBounds(25, 12);
    view.SetBitmapAlign(TBitmapAlign::baTile);
    FillCoded(view.Bitmap(), 10, 5);
    const TBitmap32& buffer = view.Paint();
    EXPECT_EQ(buffer.GetPixel(13, 7), Coded(3, 2));
    EXPECT_EQ(buffer.GetPixel(24, 11), Coded(4, 1));
}

}  // namespace
}  // namespace corvane
