#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "picture/Bitmap32.h"
#include "signature/Rounding.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

constexpr TColor32 kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kMidGrey = 0x00808080;

TColor32 NormalizedUniform(TColor32 colour) {
    TBitmap32 raster;
    raster.SetSize(5, 3);
    raster.FillAll(colour);
    NormalizeBrightness(raster);
    return raster.GetPixel(4, 2);
}

TEST(Normalize, UniformPicturesGoDark) {
    EXPECT_EQ(NormalizedUniform(0xFF808080), 0x00000000u);  // 128 / 385 rounds to 0
    EXPECT_EQ(NormalizedUniform(0xFFFF0000), 0x00010000u);  // red 255 / 256 -> 1
    EXPECT_EQ(NormalizedUniform(kBlack), 0x00000000u);
}

TEST(Normalize, HalfBlackHalfWhite) {
    const struct {
        int32_t blacks, whites;
    } cases[] = {{1, 1}, {50, 50}};  // 50 + 50: the step loop falls one short (Level 767)
    for (const auto& c : cases) {
        TBitmap32 raster;
        raster.SetSize(c.blacks + c.whites, 1);
        for (int32_t x = 0; x < raster.Width(); ++x)
            raster.SetPixel(x, 0, x < c.blacks ? kBlack : kWhite);
        NormalizeBrightness(raster);
        EXPECT_EQ(raster.GetPixel(0, 0), 0u);
        EXPECT_EQ(raster.GetPixel(raster.Width() - 1, 0), kMidGrey) << c.blacks;
    }
}

TEST(Normalize, SaturatedChannelsClampAndAlphaIsCleared) {
    // Ten near-black pixels and one dark blue: the blue pixel maps high and
    // its channels saturate.
    TBitmap32 raster;
    raster.SetSize(11, 1);
    for (int32_t x = 0; x < 10; ++x) raster.SetPixel(x, 0, 0xFF000001);
    raster.SetPixel(10, 0, 0xFF010130);
    NormalizeBrightness(raster);
    for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(raster.GetPixel(x, 0) >> 24, 0u);
    EXPECT_EQ(BlueComponent(raster.GetPixel(10, 0)), 255);
    EXPECT_LT(RedComponent(raster.GetPixel(10, 0)), 255);
}

TEST(Normalize, EmptyRasterIsLeftAlone) {
    TBitmap32 raster;
    NormalizeBrightness(raster);
    raster.SetSize(0, 7);
    NormalizeBrightness(raster);
    EXPECT_EQ(raster.Height(), 7);
    EXPECT_TRUE(raster.Empty());
}

// n * factor rounded with exact integer arithmetic on the double's bits.
int64_t ExactRoundedProduct(int64_t n, double factor) {
    int exponent = 0;
    const double mantissa = std::frexp(factor, &exponent);  // factor = m * 2^exponent
    const __int128 m = static_cast<__int128>(std::ldexp(mantissa, 53));
    const int shift = 53 - exponent;  // factor = m / 2^shift
    const __int128 product = m * n;
    if (shift <= 0) return static_cast<int64_t>(product << -shift);
    const __int128 whole = product >> shift;
    const __int128 rest = product - (whole << shift);
    const __int128 half = static_cast<__int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (whole & 1))) return static_cast<int64_t>(whole + 1);
    return static_cast<int64_t>(whole);
}

TEST(Rounding, HalvesGoToEvenAndProductsRoundExactly) {
    EXPECT_EQ(RoundProduct(5, 0.5), 2);
    EXPECT_EQ(RoundProduct(3, 0.5), 2);
    EXPECT_EQ(RoundProduct(1, 0.5), 0);
    EXPECT_EQ(RoundProduct(383, 768.0 / 767.0), 383);
    EXPECT_EQ(RoundProduct(255, 385.0 / 766.0), 128);
    // Every factor normalisation can form, against exact arithmetic.
    std::mt19937 random(5);
    for (int s = 0; s <= 765; ++s) {
        for (int k = 0; k < 12; ++k) {
            const double factor = static_cast<double>(random() % 769 + 1) / (s + 1);
            for (int v = 0; v <= 255; v += 1 + static_cast<int>(random() % 7))
                ASSERT_EQ(RoundProduct(v, factor), ExactRoundedProduct(v, factor))
                    << v << " " << factor;
        }
        const double stretch = 768.0 / (700 + s % 69);
        ASSERT_EQ(RoundProduct(s, stretch), ExactRoundedProduct(s, stretch));
    }
    // A product whose double rounding lands on a half decides by the lost part.
    const double justBelowHalf = std::nextafter(0.5, 0.0);
    const double justAboveHalf = std::nextafter(0.5, 1.0);
    for (int64_t n : {3, 5, 7, 255, 1001, 123457})
        for (double f : {justBelowHalf, justAboveHalf})
            EXPECT_EQ(RoundProduct(n, f), ExactRoundedProduct(n, f)) << n;
}

}  // namespace
}  // namespace corvane
