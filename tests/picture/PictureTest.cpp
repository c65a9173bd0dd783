// The picture container and its extension table.
#include <gtest/gtest.h>

#include "BmpBuilder.h"
#include "TempDir.h"
#include "picture/Graphics.h"

namespace corvane {
namespace {

using testing::BuildBmp;
using testing::TBmpLayout;

std::vector<uint8_t> SmallBmp() {
    TBmpLayout s;
    s.width = 1;
    s.height = 1;
    s.pixels = {1, 2, 3, 0};
    return BuildBmp(s);
}

std::string LoadError(TPicture& picture, const std::string& file) {
    try {
        picture.LoadFromFile(file);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

class PictureFile : public testing::TempDirTest {};

TEST_F(PictureFile, BmpEndingInAnyCaseSelectsTheBitmap) {
    for (const char* name : {"a.BMP", "b.bmp", "c.bMp", "x.gif.bmp"}) {
        SCOPED_TRACE(name);
        TPicture picture;
        picture.LoadFromFile(Write(name, SmallBmp()));
        ASSERT_NE(dynamic_cast<TBitmap*>(picture.Graphic()), nullptr);
        EXPECT_EQ(picture.Width(), 1);
    }
}

TEST_F(PictureFile, UnknownExtensionIsNamedAsWritten) {
    TPicture picture;
    EXPECT_EQ(LoadError(picture, Write("a.PNG", SmallBmp())),
              "Unknown picture file extension (.PNG)");
    EXPECT_EQ(LoadError(picture, Write("noext", SmallBmp())), "Unknown picture file extension (.)");
}

TEST_F(PictureFile, MissingFileCannotBeOpened) {
    TPicture picture;
    const std::string missing = Path("none.bmp");
    EXPECT_EQ(LoadError(picture, missing), "Cannot open file " + missing);
    std::filesystem::create_directory(Path("folder.bmp"));
    EXPECT_EQ(LoadError(picture, Path("folder.bmp")), "Cannot open file " + Path("folder.bmp"));
}

TEST_F(PictureFile, FailedLoadKeepsTheHeldGraphic) {
    TPicture picture;
    picture.LoadFromFile(Write("good.bmp", SmallBmp()));
    TGraphic* held = picture.Graphic();
    EXPECT_EQ(LoadError(picture, Write("bad.bmp", {'B', 'N', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})),
              "Bitmap image is not valid");
    EXPECT_EQ(picture.Graphic(), held);
}

TEST_F(PictureFile, ZeroByteBitmapLoadsEmpty) {
    TPicture picture;
    picture.LoadFromFile(Write("zero.bmp", {}));
    EXPECT_EQ(picture.Width(), 0);
    TBitmap32 raster;
    raster.Assign(&picture);
    EXPECT_TRUE(raster.Empty());
}

TEST_F(PictureFile, SavedBitmapLoadsAgain) {
    TPicture picture;
    picture.LoadFromFile(Write("in.bmp", SmallBmp()));
    picture.SaveToFile(Path("out.bmp"));
    TPicture again;
    again.LoadFromFile(Path("out.bmp"));
    EXPECT_EQ(again.Bitmap().PixelColor(0, 0), 0x030201u);
    EXPECT_THROW(picture.SaveToFile(Path("no/such/folder.bmp")), EFCreateError);
}

TEST(Picture, BitmapAccessorReplacesAnotherGraphic) {
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };
    TBitmap& first = picture.Bitmap();
    EXPECT_EQ(&picture.Bitmap(), &first);
    EXPECT_EQ(changes, 1);
    first.SetSize(2, 2);  // the held graphic's change reaches the container
    EXPECT_EQ(changes, 2);
}

TEST(FileFormats, StartsWithFourLowerCaseRows) {
    const auto rows = TFileFormatsList::Instance().Rows();
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0].extension, "wmf");
    EXPECT_EQ(rows[1].extension, "emf");
    EXPECT_EQ(rows[2].extension, "ico");
    EXPECT_EQ(rows[3].extension, "bmp");
    EXPECT_EQ(rows[3].description, "Bitmaps");
    EXPECT_EQ(rows[3].className, "TBitmap");
}

TEST(FileFormats, RegistrationIsLowerCasedOnceAndNewestWins) {
    auto& list = TFileFormatsList::Instance();
    const size_t before = list.Rows().size();
    list.Add("TSTX", "Test", "TBitmapA", [] { return std::make_unique<TBitmap>(); });
    list.Add("tstx", "Test", "TBitmapA", [] { return std::make_unique<TBitmap>(); });
    EXPECT_EQ(list.Rows().size(), before + 1);
    list.Add("tstx", "Test", "TBitmapB", [] { return std::make_unique<TBitmap>(); });
    ASSERT_NE(list.FindExt("tstx"), nullptr);
    EXPECT_EQ(list.FindExt("tstx")->className, "TBitmapB");
    EXPECT_EQ(list.FindExt("TSTX"), nullptr);
}

}  // namespace
}  // namespace corvane
