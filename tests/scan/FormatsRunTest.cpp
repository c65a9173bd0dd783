// The compute run with the further picture formats: the default setting
// leaves them alone; added, they are stored like the others, and a damaged
// or cut-short file is reported without stopping the run.
#include <algorithm>

#include "EngineFixture.h"
#include "FormatWriters.h"
#include "scan/TextFiles.h"

namespace corvane::test {
namespace {

void ToRaster(const TPattern& pattern, TBitmap32& raster) {
    raster.SetSize(pattern.Width, pattern.Height);
    for (int y = 0; y < pattern.Height; ++y)
        for (int x = 0; x < pattern.Width; ++x) {
            const uint8_t* p = &pattern.Bgr[(static_cast<size_t>(y) * pattern.Width + x) * 3];
            raster.SetPixel(x, y, 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
}

class FormatsRunTest : public EngineFixture {
  protected:
    // One losslessly saved copy of Pattern per new format, and the bitmap.
    void WriteEveryFormat(const TPattern& pattern) {
        TBitmap32 raster;
        ToRaster(pattern, raster);
        using namespace corvane::testing;
        const auto put = [&](const char* name, const std::vector<uint8_t>& bytes) {
            corvane::testing::WriteBytes(pictures_ + name, bytes);
        };
        WriteBmp(pictures_ + "b.bmp", pattern);
        put("p.PNG", EncodePNG(raster));
        put("w.webp", EncodeWebP(raster, true));
        put("t.tif", EncodeTIFF(raster));
        put("t2.Tiff", EncodeTIFF(raster, {.Deflate = true}));
        if (TPictureFormats::Available(TPictureKind::pkHEIF))
            put("h.heic", EncodeHEIF(raster, false, true));
        if (TPictureFormats::Available(TPictureKind::pkAVIF))
            put("a.avif", EncodeHEIF(raster, true, true));
    }
    std::string SignatureOf(const std::string& name) {
        TStoreTable& table = engine_.Signatures.SignaturesTable;
        for (table.First(); !table.AtEnd(); table.Next())
            if (engine_.Signatures.SignaturesTableFileName.Value() == name)
                return engine_.Signatures.SignaturesTableSignature.Value();
        return {};
    }
};

TEST_F(FormatsRunTest, DefaultSettingsIgnoreTheNewExtensions) {
    WriteEveryFormat(MakePattern(4));
    WriteBytes(pictures_ + "broken.png", "not a picture");
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records(), (std::vector<std::pair<std::string, std::string>>{{"b.bmp", pictures_}}));
    EXPECT_FALSE(controls_.Memo2VisibleValue);
    EXPECT_EQ(controls_.ProgressMaxValue, 2);
}

TEST_F(FormatsRunTest, AddedFormatsAreStoredAndBrokenFilesListedWhileTheRunGoesOn) {
    controls_.PictureFormats = TPictureFormats::Parse("JPG,GIF,BMP,PNG,WEBP,TIFF,HEIC,AVIF");
    for (const int workers : {1, 2}) {
        engine_.Workers = workers;
        controls_.Force = true;
        controls_.Memo2.clear();
        const TPattern pattern = MakePattern(5);
        WriteEveryFormat(pattern);
        TBitmap32 raster;
        ToRaster(pattern, raster);
        const std::vector<uint8_t> png = corvane::testing::EncodePNG(raster);
        corvane::testing::WriteBytes(pictures_ + "cut.png",
                                     std::vector<uint8_t>(png.begin(), png.begin() + 200));
        WriteBytes(pictures_ + "bad.webp", "RIFF....WEBPVP8 garbage");
        WriteBytes(pictures_ + "bad.tif", "II*\x00\x08\x00\x00\x00garbage");
        engine_.ComputeButtonClick();

        std::vector<std::string> bad = controls_.Memo2;
        std::sort(bad.begin(), bad.end());
        EXPECT_EQ(bad, (std::vector<std::string>{"Unable to process \"" + pictures_ + "bad.tif\"",
                                                 "Unable to process \"" + pictures_ + "bad.webp\"",
                                                 "Unable to process \"" + pictures_ + "cut.png\""}))
            << workers;
        const std::string bitmap = SignatureOf("b.bmp");
        for (const char* lossless : {"p.PNG", "w.webp", "t.tif", "t2.Tiff"})
            EXPECT_EQ(SignatureOf(lossless), bitmap) << lossless << " " << workers;
        for (const char* coded : {"h.heic", "a.avif"}) {
            const bool expected = std::filesystem::exists(pictures_ + coded);
            EXPECT_EQ(!SignatureOf(coded).empty(), expected) << coded;
        }
        engine_.SaveBadFiles();
        EXPECT_EQ(ReadTextLines(programFolder_ + "BadFiles.txt").size(), 3u);
    }
}

TEST_F(FormatsRunTest, TheSettingsKeepFormatsOrientationAndRotations) {
    controls_.PictureFormats = TPictureFormats::Parse("PNG,tif");
    controls_.ApplyOrientation = true;
    controls_.Rotations = true;
    engine_.WriteSettings();
    TPlainFormControls other;
    TCorvaneEngine second(other);
    second.State.ProgramFolder = programFolder_;
    second.ReadSettings();
    EXPECT_EQ(other.PictureFormats.Text(), "PNG,TIFF");
    EXPECT_TRUE(other.ApplyOrientation);
    EXPECT_TRUE(other.Rotations);

    TPlainFormControls fresh;
    TCorvaneEngine third(fresh);
    third.State.ProgramFolder = data_.Make("empty");
    third.ReadSettings();
    EXPECT_EQ(fresh.PictureFormats.Text(), "JPG,GIF,BMP");
    EXPECT_FALSE(fresh.ApplyOrientation);
    EXPECT_FALSE(fresh.Rotations);
}

}  // namespace
}  // namespace corvane::test
