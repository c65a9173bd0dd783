#include <gtest/gtest.h>

#include <map>

#include "review/PairView.h"

namespace corvane {
namespace {

TColor32 Rgb(int r, int g, int b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

struct DiffCase {
    TColor32 left, right, expected;
};

class DifferenceTest : public ::testing::TestWithParam<DiffCase> {};

TEST_P(DifferenceTest, WholeValueSubtraction) {
    TBitmap32 left, right, diff;
    left.SetSize(2, 1);
    right.SetSize(2, 1);
    left.FillAll(GetParam().left);
    right.FillAll(GetParam().right);
    ComputeDifferencePicture(left, right, diff);
    ASSERT_EQ(diff.Width(), 2);
    EXPECT_EQ(diff.GetPixel(1, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DifferenceTest,
                         ::testing::Values(DiffCase{Rgb(10, 20, 30), Rgb(10, 20, 30), 0},
                                           DiffCase{Rgb(10, 20, 30), Rgb(10, 20, 31), 1},
                                           DiffCase{Rgb(10, 20, 30), Rgb(10, 20, 29), 1},
                                           DiffCase{Rgb(0, 20, 0), Rgb(0, 19, 1),
                                                    0xFF}));  // borrow

TEST(Difference, DifferentSizesGiveEmptyPicture) {
    TBitmap32 left, right, diff;
    left.SetSize(100, 80);
    right.SetSize(80, 100);
    diff.SetSize(5, 5);
    ComputeDifferencePicture(left, right, diff);
    EXPECT_TRUE(diff.Empty());
    right.SetSize(0, 0);
    left.SetSize(0, 0);
    ComputeDifferencePicture(left, right, diff);
    EXPECT_TRUE(diff.Empty());
}

TPairLabels Labels(const std::string& l, const std::string& r, bool extra = true,
                   std::map<std::string, int64_t> sizes = {}) {
    return ComputePairLabels(l, r, extra, [sizes](const std::string& name) -> int64_t {
        auto it = sizes.find(name);
        return it == sizes.end() ? 0 : it->second;
    });
}

TEST(PairLabels, EmptyPairShowsSamePathAndNameAndShortHints) {
    const TPairLabels p = Labels("", "");
    EXPECT_TRUE(p.SamePath);
    EXPECT_TRUE(p.SameName);
    EXPECT_EQ(p.LShortPath.Caption, "<== SHORT");
    EXPECT_EQ(p.RShortPath.Caption, "SHORT ==>");
    EXPECT_EQ(p.Bigger, "");
}

TEST(PairLabels, SamePathAndNameIgnoreCase) {
    const TPairLabels p = Labels("/Pics/A/x.JPG", "/pics/a/X.jpg");
    EXPECT_TRUE(p.SamePath);
    EXPECT_TRUE(p.SameName);
    const TPairLabels q = Labels("/pics/a/x.jpg", "/pics/b/y.jpg");
    EXPECT_FALSE(q.SamePath);
    EXPECT_FALSE(q.SameName);
}

struct HintCase {
    std::string left, right;
    std::string bmp, fave, animation;
};

class HintTest : public ::testing::TestWithParam<HintCase> {};

TEST_P(HintTest, Captions) {
    const HintCase c = GetParam();
    const TPairLabels p = Labels(c.left, c.right);
    EXPECT_EQ(p.IsBMP.Caption, c.bmp);
    EXPECT_EQ(p.Fave.Caption, c.fave);
    EXPECT_EQ(p.Animation.Caption, c.animation);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HintTest,
    ::testing::Values(
        HintCase{"/d/From-BMP-0001.jpg", "/d/b.jpg", "<== FROM BMP", "", ""},
        HintCase{"/d/a.jpg", "/d/from-bmp-0002.jpg", "FROM BMP ==>", "", ""},
        HintCase{"/d/FROM-BMP-1.jpg", "/d/From-Bmp-2.jpg", "<== FROM BMP ==>", "", ""},
        HintCase{"/D/Pics/FAVES/a.jpg", "/D/Pics/FAVES/b.jpg", "", "FAVE ==>", ""},
        HintCase{"/D/FAVE/a.jpg", "/D/x/b.jpg", "", "", ""},
        HintCase{"/D/x/a.jpg", "/D/FAVE/b.jpg", "", "FAVE ==>", ""},
        HintCase{"/D/FAVES/a.jpg", "/D/x/b.jpg", "", "<== FAVE", ""},
        HintCase{"/D/Faves/a.jpg", "/D/faves/b.jpg", "", "", ""},
        HintCase{"/D/ANIMATIONS/a.gif", "/D/ANIMATIONS/b.gif", "", "", "<== Animation!"},
        HintCase{"/D/x/a.gif", "/D/ANIMATIONS/b.gif", "", "", "Animation! ==>"},
        HintCase{"/D/Animations/a.gif", "/D/x/b.gif", "", "", ""}));

TEST(PairLabels, ShallowFolders) {
    const TPairLabels p = Labels("/a/x.jpg", "/a/b/x.jpg");
    EXPECT_EQ(p.LShortPath.Caption, "<== SHORT");
    EXPECT_EQ(p.RShortPath.Caption, "");
}

TEST(PairLabels, ExtraHintsHiddenWithoutMarker) {
    const TPairLabels p = Labels("/a/FROM-BMP-1.jpg", "/a/b.jpg", false);
    EXPECT_FALSE(p.IsBMP.Visible);
    EXPECT_FALSE(p.Fave.Visible);
    EXPECT_FALSE(p.LShortPath.Visible);
    EXPECT_FALSE(p.RShortPath.Visible);
    EXPECT_FALSE(p.Animation.Visible);
    EXPECT_TRUE(Labels("/a/x", "/a/y", true).IsBMP.Visible);
}

struct BiggerCase {
    int64_t left, right;
    std::string expected;
};

class BiggerTest : public ::testing::TestWithParam<BiggerCase> {};

TEST_P(BiggerTest, MoreThanATenth) {
    const BiggerCase c = GetParam();
    EXPECT_EQ(Labels("/l/a", "/r/b", false, {{"/l/a", c.left}, {"/r/b", c.right}}).Bigger,
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BiggerTest,
                         ::testing::Values(BiggerCase{1000, 1100, ""},
                                           BiggerCase{1000, 1101, "Bigger ==>"},
                                           BiggerCase{1101, 1000, "<== Bigger"},
                                           BiggerCase{0, 10, "Bigger ==>"},
                                           // no overflow for files of several GB
                                           BiggerCase{3000000000LL, 2000000000LL, "<== Bigger"}));

TEST(PairLabels, NameRule) {
    EXPECT_TRUE(Labels("/d/IMG_001a.jpg", "/d/IMG_001.jpg").LeftNameRed);
    EXPECT_FALSE(Labels("/d/IMG_001a.jpg", "/d/IMG_001.jpg").RightNameRed);
    EXPECT_TRUE(Labels("/d/photo.jpg", "/e/photo1.jpg").RightNameRed);
    EXPECT_FALSE(Labels("/d/photo.jpg", "/e/Photo1.jpg").RightNameRed);  // case-sensitive
    EXPECT_EQ(NameStem("/x/a.b.jpg"), "apg");
    EXPECT_EQ(NameStem("/x/noext"), "noext");
    EXPECT_EQ(NameStem("/x/a.jp"), "a");
}

TEST(PairLabels, IsBMPLeftIsAQuarterAcrossTheGap) {
    EXPECT_EQ(IsBMPLeft(16, 217, 520), 16 + 217 + (520 - 16 - 217) / 4);
}

TEST(Names, FolderAndNameParts) {
    EXPECT_EQ(FolderPart("/a/b/c.jpg"), "/a/b/");
    EXPECT_EQ(NamePart("/a/b/c.jpg"), "c.jpg");
    EXPECT_EQ(FolderPart("c.jpg"), "");
    EXPECT_EQ(NamePart("c:d.jpg"), "c:d.jpg");  // a colon is an ordinary character
}

}  // namespace
}  // namespace corvane
