#include <gtest/gtest.h>

#include "picture/view/Transfer.h"

namespace corvane {
namespace {

TColor32 Coded(int32_t x, int32_t y) {
    return (uint32_t(y) << 16) | uint32_t(x);
}

void FillCoded(TBitmap32& raster, int32_t w, int32_t h) {
    raster.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) raster.SetPixel(x, y, Coded(x, y));
}

TEST(Transfer, RejectsEmptyRastersAndBadSourceRect) {
    TBitmap32 empty, source, dest;
    FillCoded(source, 4, 4);
    dest.SetSize(4, 4);
    EXPECT_THROW(DrawInto(source, empty, TRect{0, 0, 2, 2}), ETransferError);
    EXPECT_THROW(DrawInto(empty, dest, TRect{0, 0, 2, 2}), ETransferError);
    try {
        StretchTransfer(dest, TRect{0, 0, 2, 2}, source, TRect{0, 0, 5, 4});
        FAIL();
    } catch (const ETransferError& e) {
        EXPECT_EQ(e.Message(), "Source rectangle is invalid");
    }
}

TEST(Transfer, EmptyOrOutsideTargetDrawsNothing) {
    TBitmap32 source, dest;
    FillCoded(source, 4, 4);
    dest.SetSize(4, 4);
    dest.FillAll(7);
    DrawInto(source, dest, TRect{2, 2, 2, 5});
    DrawInto(source, dest, TRect{10, 10, 20, 20});
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(dest.GetPixel(x, y), 7u);
}

TEST(Transfer, SameSizeCopiesWithClipping) {
    TBitmap32 source, dest;
    FillCoded(source, 6, 6);
    dest.SetSize(4, 4);
    DrawInto(source, dest, TRect{-2, -1, 4, 5});
    EXPECT_EQ(dest.GetPixel(0, 0), Coded(2, 1));
    EXPECT_EQ(dest.GetPixel(3, 3), Coded(5, 4));
}

TEST(Transfer, NearestNeighbourMapping) {
    TBitmap32 source, dest;
    FillCoded(source, 7, 3);
    dest.SetSize(20, 9);
    DrawInto(source, dest, TRect{0, 0, 20, 9});
    const uint32_t stepX = (7u << 16) / 20, stepY = (3u << 16) / 9;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(dest.GetPixel(x, y), Coded((x * stepX) >> 16, (y * stepY) >> 16));
}

TEST(Transfer, AlphaIsCopiedUnchanged) {
    TBitmap32 source, dest;
    source.SetSize(1, 1);
    source.SetPixel(0, 0, 0x00102030u);
    dest.SetSize(3, 3);
    DrawInto(source, dest, TRect{0, 0, 3, 3});
    EXPECT_EQ(dest.GetPixel(2, 2), 0x00102030u);
}

TEST(Transfer, ClippedStartStaysInsideSource) {
    TBitmap32 source, dest;
    FillCoded(source, 10, 10);
    dest.SetSize(8, 8);
    // Target partly left of and above the destination.
    DrawInto(source, dest, TRect{-5, -5, 15, 15});
    const uint32_t start = uint32_t(MulDiv(5 * 9, 65535, 19));
    const uint32_t step = (10u << 16) / 20;
    for (int32_t x = 0; x < 8; ++x)
        EXPECT_EQ(dest.GetPixel(x, 0) & 0xFFFF, std::min<uint32_t>((start + x * step) >> 16, 9));
}

TEST(Transfer, OnePixelTargetTakesFirstSourcePixel) {
    TBitmap32 source, dest;
    FillCoded(source, 50, 50);
    dest.SetSize(1, 1);
    DrawInto(source, dest, TRect{0, 0, 1, 1});
    EXPECT_EQ(dest.GetPixel(0, 0), Coded(0, 0));
}

TEST(MulDiv, RoundsToNearest) {
    EXPECT_EQ(MulDiv(1, 3, 2), 2);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
}

}  // namespace
}  // namespace corvane
