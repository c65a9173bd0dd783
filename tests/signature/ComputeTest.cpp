#include <gtest/gtest.h>

#include <random>

#include "picture/Bitmap32.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

void FillSolid(TBitmap32& raster, int32_t w, int32_t h, TColor32 colour) {
    raster.SetSize(w, h);
    raster.FillAll(colour);
}

// The block averages written the plain way, position by position.
TSignature ReferenceSignature(const TBitmap32& raster) {
    const int32_t bw = (raster.Width() + 3) / 4, bh = (raster.Height() + 3) / 4;
    TSignature s;
    for (int col = 1; col <= 4; ++col)
        for (int row = 1; row <= 4; ++row) {
            int64_t r = 0, g = 0, b = 0, n = 0;
            for (int32_t y = (row - 1) * bh; y <= row * bh; ++y)
                for (int32_t x = (col - 1) * bw; x <= col * bw; ++x) {
                    const TColor32 p = raster.GetPixelChecked(x, y);
                    r += RedComponent(p);
                    g += GreenComponent(p);
                    b += BlueComponent(p);
                    ++n;
                }
            s.At(col, row, 1) = static_cast<int32_t>(r / n);
            s.At(col, row, 2) = static_cast<int32_t>(g / n);
            s.At(col, row, 3) = static_cast<int32_t>(b / n);
        }
    return s;
}

void ExpectGrey(const TSignature& s, int col, int row, int32_t value) {
    for (int ch = 1; ch <= 3; ++ch) EXPECT_EQ(s.At(col, row, ch), value) << col << "," << row;
}

TEST(Compute, WhitePictureOf100By60) {
    TBitmap32 raster;
    FillSolid(raster, 100, 60, 0xFFFFFFFF);
    const TSignature s = ComputeSignature(raster);
    for (int col = 1; col <= 3; ++col)
        for (int row = 1; row <= 3; ++row) ExpectGrey(s, col, row, 255);
    for (int row = 1; row <= 3; ++row) ExpectGrey(s, 4, row, 245);
    for (int col = 1; col <= 3; ++col) ExpectGrey(s, col, 4, 239);
    ExpectGrey(s, 4, 4, 229);
}

TEST(Compute, TinyPicturesReadBlackPastTheEdge) {
    TBitmap32 raster;
    FillSolid(raster, 1, 1, 0xFFFFFFFF);
    TSignature s = ComputeSignature(raster);
    ExpectGrey(s, 1, 1, 63);
    for (int i = 3; i < 48; ++i) EXPECT_EQ(s.Values[i], 0);

    FillSolid(raster, 9, 9, 0xFFFFFFFF);
    s = ComputeSignature(raster);
    const int32_t expected[4][4] = {
        {255, 255, 191, 0}, {255, 255, 191, 0}, {191, 191, 143, 0}, {0, 0, 0, 0}};
    for (int col = 1; col <= 4; ++col)
        for (int row = 1; row <= 4; ++row) ExpectGrey(s, col, row, expected[col - 1][row - 1]);
}

TEST(Compute, NarrowPicturesLeaveTheLastBlockColumnsBlack) {
    const struct {
        int32_t width;
        int firstBlackColumn;
    } cases[] = {{1, 2}, {2, 3}, {3, 4}, {5, 4}, {6, 4}, {9, 4}};
    TBitmap32 raster;
    for (const auto& c : cases) {
        FillSolid(raster, c.width, 8, 0xFFFFFFFF);
        const TSignature wide = ComputeSignature(raster);
        FillSolid(raster, 8, c.width, 0xFFFFFFFF);
        const TSignature tall = ComputeSignature(raster);
        for (int block = c.firstBlackColumn; block <= 4; ++block)
            for (int other = 1; other <= 4; ++other) {
                ExpectGrey(wide, block, other, 0);
                ExpectGrey(tall, other, block, 0);
            }
        EXPECT_GT(wide.At(1, 1, 1), 0) << c.width;
    }
}

TEST(Compute, EmptyRastersGiveZeros) {
    TBitmap32 raster;
    EXPECT_EQ(ComputeSignature(raster), TSignature{});
    raster.SetSize(0, 10);
    EXPECT_EQ(ComputeSignature(raster), TSignature{});
    raster.SetSize(640, 480);
    raster.FillAll(0xFFFFFFFF);
    raster.SetHeight(0);
    EXPECT_EQ(ComputeSignature(raster), TSignature{});
}

TEST(Compute, WideRowsOfBrightPixelsSumExactly) {
    // Runs of thousands of pixels at the channel maximum, and random ones.
    TBitmap32 raster;
    FillSolid(raster, 9001, 3, 0xFFFFFFFF);
    EXPECT_EQ(ComputeSignature(raster), ReferenceSignature(raster));
    std::mt19937 random(4);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 9001; ++x) raster.SetPixel(x, y, random() | 0x00F0F0F0u);
    EXPECT_EQ(ComputeSignature(raster), ReferenceSignature(raster));
}

TEST(Compute, MatchesThePlainBlockAverageAndIgnoresAlpha) {
    std::mt19937 random(11);
    TBitmap32 raster;
    for (int round = 0; round < 60; ++round) {
        raster.SetSize(1 + random() % 70, 1 + random() % 70);
        raster.SetOuterColor(round % 3 == 0 ? 0xFF102030u : 0u);
        for (int32_t y = 0; y < raster.Height(); ++y)
            for (int32_t x = 0; x < raster.Width(); ++x) raster.SetPixel(x, y, random());
        const TSignature s = ComputeSignature(raster);
        ASSERT_EQ(s, ReferenceSignature(raster)) << raster.Width() << "x" << raster.Height();
        for (int32_t y = 0; y < raster.Height(); ++y)
            for (int32_t x = 0; x < raster.Width(); ++x)
                raster.SetPixel(x, y, raster.GetPixel(x, y) ^ 0xA5000000u);
        ASSERT_EQ(ComputeSignature(raster), s);
    }
}

}  // namespace
}  // namespace corvane
