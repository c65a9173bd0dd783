#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "JpegTestSupport.h"
#include "picture/jpeg/JPEGImage.h"

namespace corvane {
namespace {

using testing::Bytes;

class JPEGImageTest : public ::testing::Test {
  protected:
    std::string WriteFile(const std::string& name, const Bytes& bytes) {
        const std::string path = ::testing::TempDir() + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static Bytes Saved(TJPEGImage& image) {
        TMemoryStream stream;
        image.SaveToStream(stream);
        return Bytes(stream.Memory(), stream.Memory() + stream.Size());
    }
    static void LoadBytes(TJPEGImage& image, const Bytes& bytes) {
        TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        image.LoadFromStream(stream);
    }
    static std::string FailureOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const Exception& e) {
            return e.Message();
        }
        return "(no failure)";
    }
};

TEST_F(JPEGImageTest, ZeroByteFileIsAnEmptyPicture) {
    TJPEGImage image;
    image.LoadFromFile(WriteFile("empty.jpg", {}));
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_TRUE(image.Empty());
    TBitmap32 raster;
    raster.SetSize(5, 5);
    raster.Assign(&image);
    EXPECT_TRUE(raster.Empty());
    EXPECT_TRUE(Saved(image).empty());
}

TEST_F(JPEGImageTest, LoadFailures) {
    struct Case {
        std::string name;
        Bytes bytes;
        const char* message;
    };
    const Case cases[] = {
        {"gif.jpg", Bytes{'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0}, "JPEG error #52"},
        {"bmp.jpg", Bytes{'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0}, "JPEG error #52"},
        {"cmyk.jpg", testing::MakeFourComponentJpeg(8, 8, false), "JPEG error #25"},
        {"ycck.jpg", testing::MakeFourComponentJpeg(8, 8, true), "JPEG error #25"},
    };
    for (const auto& c : cases) {
        TJPEGImage image;
        const std::string path = WriteFile(c.name, c.bytes);
        EXPECT_EQ(FailureOf([&] { image.LoadFromFile(path); }), c.message) << c.name;
        EXPECT_THROW(image.LoadFromFile(path), EJPEG);
    }
    TJPEGImage image;
    const std::string missing = ::testing::TempDir() + "no-such-file.jpg";
    EXPECT_EQ(FailureOf([&] { image.LoadFromFile(missing); }), "Cannot open file " + missing);
}

TEST_F(JPEGImageTest, LoadedFileSavesItsOwnBytesWithoutDecoding) {
    const Bytes jpeg = testing::MakeColorJpeg(40, 30, 70, true);
    TJPEGImage image;
    image.LoadFromFile(WriteFile("saved.jpg", jpeg));
    EXPECT_TRUE(image.Progressive());
    const std::string copy = ::testing::TempDir() + "copy.jpg";
    image.SaveToFile(copy);
    EXPECT_EQ(ReadFile(copy), jpeg);
    EXPECT_FALSE(image.HasBitmap());
}

TEST_F(JPEGImageTest, RasterReceivesTheLibraryColoursOpaque) {
    const Bytes jpeg = testing::MakeColorJpeg(45, 31);
    const auto reference = testing::ReferenceDecode(jpeg);
    TJPEGImage image;
    LoadBytes(image, jpeg);
    EXPECT_EQ(image.Width(), 45);
    EXPECT_EQ(image.Height(), 31);
    TBitmap32 raster;
    // Another size first: the new buffer is not cleared, so every pixel
    // must come from the picture.
    raster.SetSize(46, 31);
    raster.FillAll(0x12345678);
    raster.Assign(&image);
    ASSERT_EQ(raster.Width(), 45);
    ASSERT_EQ(raster.Height(), 31);
    for (int32_t y = 0; y < 31; ++y) {
        for (int32_t x = 0; x < 45; ++x) {
            const uint8_t* rgb = &reference.pixels[(size_t(y) * 45 + x) * 3];
            const TColor32 expected = 0xFF000000u | (rgb[0] << 16) | (rgb[1] << 8) | rgb[2];
            ASSERT_EQ(raster.GetPixel(x, y), expected) << x << "," << y;
        }
    }
}

// 4:4:0 files get their chroma rows repeated, as version 6 of the library
// decoded them; every other sampling keeps the library's interpolation.
TEST_F(JPEGImageTest, VerticallyHalvedChromaIsRepeatedNotInterpolated) {
    const struct {
        int lumaH, lumaV;
        bool fancy;
    } cases[] = {{1, 2, false}, {2, 1, true}, {2, 2, true}, {1, 1, true}};
    for (const auto& c : cases) {
        const Bytes jpeg = testing::MakeSampledJpeg(45, 31, c.lumaH, c.lumaV);
        const auto expected = testing::ReferenceDecode(jpeg, c.fancy);
        const auto other = testing::ReferenceDecode(jpeg, !c.fancy);
        TJPEGImage image;
        LoadBytes(image, jpeg);
        TBitmap32 raster;
        raster.Assign(&image);
        int differing = 0, differingFromOther = 0;
        for (int32_t y = 0; y < 31; ++y)
            for (int32_t x = 0; x < 45; ++x) {
                const uint8_t* e = &expected.pixels[(size_t(y) * 45 + x) * 3];
                const uint8_t* o = &other.pixels[(size_t(y) * 45 + x) * 3];
                const TColor32 p = raster.GetPixel(x, y);
                differing += p != (0xFF000000u | (e[0] << 16) | (e[1] << 8) | e[2]);
                differingFromOther += p != (0xFF000000u | (o[0] << 16) | (o[1] << 8) | o[2]);
            }
        EXPECT_EQ(differing, 0) << c.lumaH << "x" << c.lumaV;
        if (c.lumaH * c.lumaV > 1) {
            EXPECT_GT(differingFromOther, 0) << c.lumaH << "x" << c.lumaV;
        }
    }
}

TEST_F(JPEGImageTest, DrawingStraightIntoTheRasterEqualsDrawingTheBitmap) {
    TJPEGImage direct;
    LoadBytes(direct, testing::MakeColorJpeg(77, 53, 85, true));
    TBitmap32 fromDirect;
    fromDirect.Assign(&direct);
    EXPECT_FALSE(direct.HasBitmap());

    TBitmap32 fromBitmap;
    fromBitmap.Assign(&direct.Bitmap());
    EXPECT_EQ(direct.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(fromBitmap.Width(), fromDirect.Width());
    ASSERT_EQ(fromBitmap.Height(), fromDirect.Height());
    EXPECT_TRUE(std::equal(fromBitmap.Bits(), fromBitmap.Bits() + 77 * 53, fromDirect.Bits()));
}

TEST_F(JPEGImageTest, GrayPixelsUseThe236Levels) {
    std::set<TColor32> levels;
    for (int j = 0; j < 236; ++j) {
        const TColor32 v = (255 * j + 117) / 235;
        levels.insert(0xFF000000u | v << 16 | v << 8 | v);
    }
    TJPEGImage image;
    LoadBytes(image, testing::MakeGrayJpeg(50, 20));
    EXPECT_TRUE(image.Data().grayscale);
    TBitmap32 raster;
    raster.Assign(&image);
    ASSERT_EQ(raster.Width(), 50);
    for (int32_t y = 0; y < raster.Height(); ++y)
        for (int32_t x = 0; x < raster.Width(); ++x)
            ASSERT_TRUE(levels.count(raster.GetPixel(x, y))) << x << "," << y;
}

TEST_F(JPEGImageTest, TruncatedFileDecodesAtFullSize) {
    const Bytes whole = testing::MakeColorJpeg(64, 48);
    TJPEGImage image;
    LoadBytes(image,
              Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(whole.size() / 2)));
    TBitmap32 raster;
    EXPECT_NO_THROW(raster.Assign(&image));
    EXPECT_EQ(raster.Width(), 64);
    EXPECT_EQ(raster.Height(), 48);
}

TEST_F(JPEGImageTest, DecodeFailureLeavesTheRasterSizedAndBlankAndClosesTheBracket) {
    Bytes jpeg = testing::MakeColorJpeg(32, 32, 80, true);
    // Spoil the spectral range of the second scan: the header still reads.
    size_t sos = 0;
    int seen = 0;
    for (size_t i = 0; i + 1 < jpeg.size() && seen < 2; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && ++seen == 2) sos = i;
    ASSERT_NE(sos, 0u);
    const size_t ss = sos + 5 + 2 * jpeg[sos + 4];
    jpeg[ss] = 9, jpeg[ss + 1] = 3;

    TJPEGImage image;
    LoadBytes(image, jpeg);
    TBitmap32 raster;
    raster.SetSize(33, 32);
    raster.FillAll(0x12345678);
    int changes = 0;
    raster.OnChange = [&](TPersistent*) { ++changes; };
    EXPECT_EQ(FailureOf([&] { raster.Assign(&image); }), "JPEG error #14");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(raster.Width(), 32);
    EXPECT_TRUE(std::all_of(raster.Bits(), raster.Bits() + 32 * 32,
                            [](TColor32 pixel) { return pixel == 0; }));
    EXPECT_FALSE(image.HasBitmap());
}

TEST_F(JPEGImageTest, BitmapAssignedAtQuality95SavesAJfifThatDecodesToIt) {
    TBitmap32 raster;
    raster.SetSize(2, 2);
    raster.FillAll(0xFF336699);
    TBitmap bitmap;
    bitmap.Assign(&raster);
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf32bit);
    TJPEGImage image;
    image.SetQuality(95);
    image.Assign(&bitmap);
    EXPECT_EQ(image.Width(), 2);
    const Bytes jpeg = Saved(image);
    ASSERT_GT(jpeg.size(), 10u);
    EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 10), "JFIF");

    TJPEGImage reloaded;
    LoadBytes(reloaded, jpeg);
    EXPECT_EQ(reloaded.Width(), 2);
    EXPECT_EQ(reloaded.Height(), 2);
    TBitmap32 back;
    back.Assign(&reloaded);
    const TColor32 p = back.GetPixel(1, 1);
    EXPECT_NEAR(RedComponent(p), 0x33, 3);
    EXPECT_NEAR(GreenComponent(p), 0x66, 3);
    EXPECT_NEAR(BlueComponent(p), 0x99, 3);
}

TEST_F(JPEGImageTest, BitmapFormatsEncodeLikeTheirTwentyFourBitForm) {
    TBitmap source;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    source.SetSize(19, 13);
    const Bytes bgr = testing::PatternBGR(19, 13);
    for (int32_t y = 0; y < 13; ++y) std::copy_n(&bgr[size_t(y) * 57], 57, source.ScanLine(y));
    auto encoded = [](const TBitmap& bitmap) {
        TJPEGImage image;
        image.SetQuality(95);
        image.Assign(&bitmap);
        return Saved(image);
    };
    const Bytes expected = encoded(source);
    EXPECT_EQ(expected, testing::MakeColorJpeg(19, 13, 95));
    for (TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf15bit}) {
        TBitmap other;
        other.Assign(&source);
        other.SetPixelFormat(format);
        TBitmap widened;
        widened.Assign(&other);
        widened.SetPixelFormat(TPixelFormat::pf24bit);
        EXPECT_EQ(encoded(other), encoded(widened));
    }
}

TEST_F(JPEGImageTest, EmptyBitmapSavesNothing) {
    TBitmap bitmap;
    TJPEGImage image;
    image.Assign(&bitmap);
    const std::string path = ::testing::TempDir() + "nothing.jpg";
    image.SaveToFile(path);
    EXPECT_TRUE(ReadFile(path).empty());
}

TEST_F(JPEGImageTest, SizeCannotBeSet) {
    TJPEGImage image;
    EXPECT_EQ(FailureOf([&] { image.SetWidth(3); }), "Cannot change the size of a JPEG image");
    EXPECT_EQ(FailureOf([&] { image.SetHeight(3); }), "Cannot change the size of a JPEG image");
}

TEST_F(JPEGImageTest, AssignmentRules) {
    TJPEGImage image;
    LoadBytes(image, testing::MakeColorJpeg(12, 10));
    image.Bitmap();
    TJPEGImage copy;
    copy.Assign(&image);
    EXPECT_EQ(&copy.Data(), &image.Data());  // shared bytes
    EXPECT_TRUE(copy.HasBitmap());
    EXPECT_EQ(copy.Width(), 12);

    TBitmap target;
    target.Assign(&copy);
    EXPECT_EQ(target.Width(), 12);
    EXPECT_EQ(target.PixelColor(3, 3), copy.Bitmap().PixelColor(3, 3));

    TBitmap32 raster;
    EXPECT_EQ(FailureOf([&] { image.Assign(&raster); }),
              "Cannot assign a TBitmap32 to a TJPEGImage");
}

TEST_F(JPEGImageTest, ScaleShiftGivesTheLibraryOutputSize) {
    TJPEGImage image;
    LoadBytes(image, testing::MakeColorJpeg(100, 61));
    image.SetScaleShift(2);
    EXPECT_EQ(image.Width(), 25);
    EXPECT_EQ(image.Height(), 16);
    EXPECT_EQ(image.Bitmap().Width(), 25);
    image.SetScaleShift(0);
    EXPECT_EQ(image.Width(), 100);
}

TEST_F(JPEGImageTest, ProgressBracketsTheDecode) {
    TJPEGImage image;
    LoadBytes(image, testing::MakeColorJpeg(16, 16));
    std::vector<std::pair<TProgressStage, int>> stages;
    image.OnProgress = [&](TPersistent*, TProgressStage stage, uint8_t percent, bool, const TRect&,
                           const std::string&) { stages.emplace_back(stage, percent); };
    image.Bitmap();
    ASSERT_GE(stages.size(), 2u);
    EXPECT_EQ(stages.front(), std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(stages.back(), std::make_pair(TProgressStage::psEnding, 100));
}

TEST_F(JPEGImageTest, AbortBeforeTheDecodeStartsReachesTheCaller) {
    TJPEGImage image;
    LoadBytes(image, testing::MakeColorJpeg(16, 16));
    image.OnProgress = [](TPersistent*, TProgressStage stage, uint8_t, bool, const TRect&,
                          const std::string&) {
        if (stage == TProgressStage::psStarting) throw EAbort();
    };
    EXPECT_THROW(image.Bitmap(), EAbort);
}

TEST_F(JPEGImageTest, RegisteredUnderJpegAndJpg) {
    RegisterJPEGFormat();
    RegisterJPEGFormat();
    for (const char* ext : {"jpeg", "jpg"}) {
        const TFileFormat* row = TFileFormatsList::Instance().FindExt(ext);
        ASSERT_NE(row, nullptr) << ext;
        EXPECT_EQ(row->description, "JPEG Image File");
        EXPECT_EQ(row->className, "TJPEGImage");
    }
    TPicture picture;
    picture.LoadFromFile(WriteFile("Mixed.JpG", testing::MakeColorJpeg(9, 7)));
    EXPECT_NE(dynamic_cast<TJPEGImage*>(picture.Graphic()), nullptr);
    TBitmap32 raster;
    raster.Assign(&picture);
    EXPECT_EQ(raster.Width(), 9);
    EXPECT_EQ(raster.Height(), 7);
}

}  // namespace
}  // namespace corvane
