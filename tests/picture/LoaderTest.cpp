// LoadPictureFile in both modes, and the conversion run's loader.
#include <gtest/gtest.h>

#include "BmpBuilder.h"
#include "TempDir.h"
#include "picture/Graphics.h"
#include "picture/loader/PictureLoader.h"

namespace corvane {
namespace {

using testing::BuildBmp;
using testing::TBmpLayout;

// Plain fields, with the cursor history.
class TFakeControls : public TLoadControls {
  public:
    int32_t ProgressMax() const override { return max; }
    void SetProgressMax(int32_t value) override { max = value; }
    int32_t ProgressPosition() const override { return position; }
    void SetProgressPosition(int32_t value) override { position = value; }
    TCursor ScreenCursor() const override { return cursor; }
    void SetScreenCursor(TCursor value) override {
        cursor = value;
        cursors.push_back(value);
    }
    void ProcessMessages() override { ++messageRounds; }

    int32_t max = 10;
    int32_t position = 3;
    TCursor cursor = TCursor::crDefault;
    std::vector<TCursor> cursors;
    int messageRounds = 0;
};

std::vector<uint8_t> TwoByOneBmp() {
    TBmpLayout s;
    s.width = 2;
    s.height = 1;
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    return BuildBmp(s);
}

class Loader : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        view.SetSize(7, 7);
    }
    bool Load(const std::string& file, bool countOnly) {
        bool loaded = true;
        LoadPictureFile(controls, file, countOnly, loaded, view);
        return loaded;
    }
    TFakeControls controls;
    TBitmap32 view;
};

TEST(PictureKind, OnlyTheLastFourCharactersCount) {
    const struct {
        const char* name;
        TPictureKind kind;
    } cases[] = {
        {"PHOTO.Jpg", TPictureKind::pkJPEG}, {"photo.jpg", TPictureKind::pkJPEG},
        {"x.jpg.jpg", TPictureKind::pkJPEG}, {"x.gif.bmp", TPictureKind::pkBMP},
        {"a.GIF", TPictureKind::pkGIF},      {"photo.jpeg", TPictureKind::pkNone},
        {"noext", TPictureKind::pkNone},     {"bmp", TPictureKind::pkNone},
        {".bmp", TPictureKind::pkBMP},       {"x.bmp ", TPictureKind::pkNone},
    };
    for (const auto& c : cases) EXPECT_EQ(PictureKindOf(c.name), c.kind) << c.name;
}

TEST_F(Loader, LoadModeFillsTheViewAndStepsTheProgress) {
    controls.cursor = TCursor::crArrow;
    EXPECT_TRUE(Load(Write("p.BMP", TwoByOneBmp()), false));
    EXPECT_EQ(view.Width(), 2);
    EXPECT_EQ(view.GetPixel(1, 0), 0xFF060504u);
    EXPECT_EQ(controls.position, 4);
    EXPECT_EQ(controls.max, 10);
    EXPECT_EQ(controls.messageRounds, 1);
    EXPECT_EQ(controls.cursors, (std::vector<TCursor>{TCursor::crHourGlass, TCursor::crArrow}));
}

TEST_F(Loader, CountOnlyAddsOneToTheMaximumAndLoadsNothing) {
    EXPECT_FALSE(Load(Write("p.bmp", TwoByOneBmp()), true));
    EXPECT_EQ(controls.max, 11);
    EXPECT_EQ(controls.position, 3);
    EXPECT_TRUE(view.Empty());
    EXPECT_EQ(view.Width(), 0);
    EXPECT_EQ(view.Height(), 0);
    EXPECT_TRUE(controls.cursors.empty());
}

TEST_F(Loader, NonPicturesAndMissingFilesAreSilentlyNotLoaded) {
    std::filesystem::create_directory(Path("pics.jpg"));
    const std::string names[] = {Write("photo.jpeg", TwoByOneBmp()), Write("noext", TwoByOneBmp()),
                                 Path("missing.bmp"), Path("pics.jpg")};
    for (const std::string& name : names) {
        for (bool countOnly : {true, false}) {
            SCOPED_TRACE(name);
            view.SetSize(3, 3);
            EXPECT_FALSE(Load(name, countOnly));
            EXPECT_EQ(view.Width(), 0);
            EXPECT_EQ(view.Height(), 0);
        }
    }
    EXPECT_EQ(controls.max, 10);
    EXPECT_EQ(controls.position, 3);
    EXPECT_EQ(controls.messageRounds, 0);
}

TEST_F(Loader, ViewIsEmptiedHeightFirst) {
    std::vector<std::pair<int32_t, int32_t>> sizes;
    view.OnResize = [&](TPersistent*) { sizes.emplace_back(view.Width(), view.Height()); };
    Load(Path("missing.bmp"), false);
    EXPECT_EQ(sizes, (std::vector<std::pair<int32_t, int32_t>>{{7, 0}, {0, 0}}));
}

TEST_F(Loader, DecodingFailureRestoresTheCursorAndPropagates) {
    controls.cursor = TCursor::crArrow;
    for (const char* name : {"bad.gif", "bad.bmp", "bad.jpg"}) {
        SCOPED_TRACE(name);
        const int32_t before = controls.position;
        bool loaded = true;
        EXPECT_THROW(LoadPictureFile(controls,
                                     Write(name, {'B', 'N', '?', '?', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                  0, 0, 0, 0}),
                                     false, loaded, view),
                     Exception);
        EXPECT_FALSE(loaded);
        EXPECT_EQ(controls.cursor, TCursor::crArrow);
        EXPECT_EQ(controls.position, before + 1);
    }
}

TEST_F(Loader, GifGoesThroughItsOwnDecoder) {
    // 1 x 1, global map {red, black}, one pixel of index 0.
    const std::vector<uint8_t> gif = {'G', 'I',  'F', '8', '9', 'a', 1, 0,    1,    0, 0x80, 0,
                                      0,   0xFF, 0,   0,   0,   0,   0, 0x2C, 0,    0, 0,    0,
                                      1,   0,    1,   0,   0,   2,   2, 0x44, 0x01, 0, 0x3B};
    EXPECT_TRUE(Load(Write("one.GIF", gif), false));
    ASSERT_EQ(view.Width(), 1);
    EXPECT_EQ(view.GetPixel(0, 0), 0xFFFF0000u);
}

TEST(PictureFormats, RegistrationAddsTheDecodersOnce) {
    RegisterPictureFormats();
    const size_t rows = TFileFormatsList::Instance().Rows().size();
    RegisterPictureFormats();
    EXPECT_EQ(TFileFormatsList::Instance().Rows().size(), rows);
    ASSERT_NE(TFileFormatsList::Instance().FindExt("gif"), nullptr);
    EXPECT_EQ(TFileFormatsList::Instance().FindExt("jpg")->description, "JPEG Image File");
}

TEST_F(Loader, ConversionLoaderEndsWithTheArrowCursor) {
    LoadConversionPicture(controls, Write("c.bmp", TwoByOneBmp()), view);
    EXPECT_EQ(view.Width(), 2);
    EXPECT_EQ(controls.cursors, (std::vector<TCursor>{TCursor::crHourGlass, TCursor::crArrow}));
    EXPECT_EQ(controls.position, 3);
    EXPECT_EQ(controls.messageRounds, 0);

    controls.cursors.clear();
    EXPECT_THROW(LoadConversionPicture(controls, Path("missing.bmp"), view), EFOpenError);
    EXPECT_EQ(controls.cursor, TCursor::crArrow);
    EXPECT_TRUE(view.Empty());
}

}  // namespace
}  // namespace corvane
