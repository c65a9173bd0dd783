// The PNG, WebP, TIFF and HEIF picture classes through the picture loader:
// lossless files give the bitmap they were saved from, transparency lies
// over black, damaged and cut-short files fail with the class's error.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "FormatWriters.h"
#include "TempDir.h"
#include "picture/formats/HEIFImage.h"
#include "picture/formats/PNGImage.h"
#include "picture/formats/TIFFImage.h"
#include "picture/formats/WebPImage.h"
#include "picture/loader/PictureLoader.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

using namespace testing;

class TQuietControls : public TLoadControls {
  public:
    int32_t ProgressMax() const override { return 0; }
    void SetProgressMax(int32_t) override {}
    int32_t ProgressPosition() const override { return 0; }
    void SetProgressPosition(int32_t) override {}
    TCursor ScreenCursor() const override { return TCursor::crDefault; }
    void SetScreenCursor(TCursor) override {}
    void ProcessMessages() override {}
};

// Smooth gradients with noise, so that every block of the signature differs;
// alpha runs over the whole range when asked for.
using TRaster = std::unique_ptr<TBitmap32>;

TRaster MakeBitmap(int32_t width, int32_t height, uint32_t seed, bool alpha = false) {
    std::mt19937 random(seed);
    TRaster made = std::make_unique<TBitmap32>();
    TBitmap32& bitmap = *made;
    bitmap.SetSize(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t r = (x * 255 / width + random() % 16) & 0xFF;
            const uint32_t g = (y * 255 / height + random() % 16) & 0xFF;
            const uint32_t b = ((x + y) * 128 / (width + height) + random() % 64) & 0xFF;
            const uint32_t a = alpha ? random() % 256 : 255;
            bitmap.SetPixel(x, y, a << 24 | r << 16 | g << 8 | b);
        }
    return made;
}

// The bitmap as the loader should give it: every pixel laid over black.
TRaster OverBlack(const TBitmap32& bitmap) {
    TRaster made = std::make_unique<TBitmap32>();
    TBitmap32& expected = *made;
    expected.Assign(&bitmap);
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const TColor32 p = bitmap.GetPixel(x, y);
            const uint32_t a = p >> 24;
            const auto over = [a](uint32_t c) { return (c * a + 127) / 255; };
            expected.SetPixel(x, y,
                              0xFF000000u | over(p >> 16 & 0xFF) << 16 | over(p >> 8 & 0xFF) << 8 |
                                  over(p & 0xFF));
        }
    return made;
}

int32_t LargestDifference(const TSignature& a, const TSignature& b) {
    int32_t largest = 0;
    for (int i = 0; i < TSignature::kValues; ++i)
        largest = std::max(largest, std::abs(a.Values[i] - b.Values[i]));
    return largest;
}

class FormatsTest : public TempDirTest {
  protected:
    TRaster Load(const std::string& name, const std::vector<uint8_t>& bytes) {
        TRaster raster = std::make_unique<TBitmap32>();
        bool loaded = false;
        LoadPictureFile(controls_, Write(name, bytes), false, loaded, *raster);
        EXPECT_TRUE(loaded) << name;
        return raster;
    }
    static void ExpectSamePixels(const TBitmap32& actual, const TBitmap32& expected,
                                 const std::string& what) {
        ASSERT_EQ(actual.Width(), expected.Width()) << what;
        ASSERT_EQ(actual.Height(), expected.Height()) << what;
        int differing = 0;
        for (int32_t y = 0; y < actual.Height(); ++y)
            for (int32_t x = 0; x < actual.Width(); ++x)
                differing += actual.GetPixel(x, y) != (expected.GetPixel(x, y) | 0xFF000000u);
        EXPECT_EQ(differing, 0) << what;
    }

    TQuietControls controls_;
};

struct TLosslessCase {
    const char* name;
    std::function<std::vector<uint8_t>(const TBitmap32&)> encode;
    bool alpha;
};

TEST_F(FormatsTest, LosslessFilesGiveTheBitmapAndItsSignature) {
    const TLosslessCase cases[] = {
        {"plain.png", [](const TBitmap32& b) { return EncodePNG(b); }, false},
        {"deep.PNG", [](const TBitmap32& b) { return EncodePNG(b, {.SixteenBits = true}); }, false},
        {"interlaced.png", [](const TBitmap32& b) { return EncodePNG(b, {.Interlaced = true}); },
         false},
        {"alpha.png", [](const TBitmap32& b) { return EncodePNG(b, {.Alpha = true}); }, true},
        {"deepalpha.png",
         [](const TBitmap32& b) { return EncodePNG(b, {.Alpha = true, .SixteenBits = true}); },
         true},
        {"lossless.webp", [](const TBitmap32& b) { return EncodeWebP(b, true); }, false},
        {"alpha.WebP", [](const TBitmap32& b) { return EncodeWebP(b, true, true); }, true},
        {"plain.tif", [](const TBitmap32& b) { return EncodeTIFF(b); }, false},
        {"deflate16.tiff",
         [](const TBitmap32& b) { return EncodeTIFF(b, {.SixteenBits = true, .Deflate = true}); },
         false},
        {"alpha.tif", [](const TBitmap32& b) { return EncodeTIFF(b, {.Alpha = true}); }, true},
        {"pages.tif", [](const TBitmap32& b) { return EncodeTIFF(b, {.Pages = 2}); }, false},
    };
    for (const TLosslessCase& c : cases) {
        const TRaster made = MakeBitmap(67, 45, 7, c.alpha);
        const TBitmap32& bitmap = *made;
        const TRaster expected = OverBlack(bitmap);
        const TRaster loaded = Load(c.name, c.encode(bitmap));
        ExpectSamePixels(*loaded, *expected, c.name);
        EXPECT_EQ(SignatureToString(ComputeSignature(*loaded)),
                  SignatureToString(ComputeSignature(*expected)))
            << c.name;
    }
}

TEST_F(FormatsTest, GrayPngComesOutAsEqualChannels) {
    const TRaster bitmap = MakeBitmap(20, 10, 3);
    const TRaster loaded = Load("gray.png", EncodePNG(*bitmap, {.Gray = true}));
    for (int32_t x = 0; x < 20; ++x) {
        const uint32_t g = bitmap->GetPixel(x, 5) >> 8 & 0xFF;
        EXPECT_EQ(loaded->GetPixel(x, 5), 0xFF000000u | g << 16 | g << 8 | g);
    }
}

TEST_F(FormatsTest, TransparentPixelsReadBlackInEveryFormat) {
    const TRaster made = MakeBitmap(16, 16, 5);
    TBitmap32& bitmap = *made;
    for (int32_t x = 0; x < 16; ++x) bitmap.SetPixel(x, 3, 0x00FFFFFFu);  // transparent white
    for (const auto& [name, bytes] : {std::pair{"t.png", EncodePNG(bitmap, {.Alpha = true})},
                                      std::pair{"t.webp", EncodeWebP(bitmap, true, true)},
                                      std::pair{"t.tif", EncodeTIFF(bitmap, {.Alpha = true})}}) {
        const TRaster loaded = Load(name, bytes);
        for (int32_t x = 0; x < 16; ++x) EXPECT_EQ(loaded->GetPixel(x, 3), 0xFF000000u) << name;
    }
}

TEST_F(FormatsTest, AnimatedWebPGivesItsFirstFrame) {
    const TRaster bitmap = MakeBitmap(30, 20, 9);
    ExpectSamePixels(*Load("anim.webp", EncodeAnimatedWebP(*bitmap)), *bitmap, "animated");
}

TEST_F(FormatsTest, LossyWebPAndHeifStayCloseToTheBitmap) {
    const TRaster made = MakeBitmap(64, 48, 11);
    const TBitmap32& bitmap = *made;
    const TSignature original = ComputeSignature(bitmap);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"lossy.webp", EncodeWebP(bitmap, false, false, 95)}};
    if (THEIFImage::CanDecodeHEIC()) {
        files.emplace_back("lossless.heic", EncodeHEIF(bitmap, false, true));
        files.emplace_back("lossy.HEIF", EncodeHEIF(bitmap, false, false, 95));
        files.emplace_back("alpha.heic", EncodeHEIF(bitmap, false, true, 90, true));
    }
    if (THEIFImage::CanDecodeAVIF())
        files.emplace_back("lossy.avif", EncodeHEIF(bitmap, true, false, 95));
    for (const auto& [name, bytes] : files) {
        const TRaster loaded = Load(name, bytes);
        EXPECT_EQ(loaded->Width(), 64) << name;
        EXPECT_EQ(loaded->Height(), 48) << name;
        EXPECT_LE(LargestDifference(ComputeSignature(*loaded), original), 5) << name;
    }
}

struct TBrokenCase {
    const char* name;
    std::vector<uint8_t> bytes;
};

TEST_F(FormatsTest, DamagedAndCutShortFilesFailWithTheirFormatsError) {
    const TRaster made = MakeBitmap(64, 48, 13);
    const TBitmap32& bitmap = *made;
    std::vector<TBrokenCase> files = {{"x.png", EncodePNG(bitmap)},
                                      {"x.webp", EncodeWebP(bitmap, true)},
                                      {"y.webp", EncodeWebP(bitmap, false)},
                                      {"x.tif", EncodeTIFF(bitmap, {.Deflate = true})}};
    if (THEIFImage::CanDecodeHEIC()) files.push_back({"x.heic", EncodeHEIF(bitmap, false, false)});
    for (const TBrokenCase& file : files) {
        std::vector<uint8_t> cut(file.bytes.begin(), file.bytes.begin() + file.bytes.size() / 2);
        std::vector<uint8_t> damaged = file.bytes;
        for (size_t i = 8; i < damaged.size(); i += 7) damaged[i] ^= 0x5A;
        std::vector<uint8_t> empty;
        for (const auto& [what, bytes] :
             {std::pair{"cut", cut}, std::pair{"damaged", damaged}, std::pair{"empty", empty}}) {
            TBitmap32 raster;
            bool loaded = true;
            EXPECT_THROW(LoadPictureFile(controls_, Write(file.name, bytes), false, loaded, raster),
                         EInvalidGraphic)
                << file.name << " " << what;
            EXPECT_FALSE(loaded);
        }
    }
}

TEST_F(FormatsTest, SizeAboveTheLimitFailsAtTheHeader) {
    const TRaster made = MakeBitmap(40, 30, 1);
    const TBitmap32& bitmap = *made;
    TPNGImage png;
    png.SetMaxPixels(1199);
    TMemoryStream stream;
    const std::vector<uint8_t> bytes = EncodePNG(bitmap);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    try {
        png.LoadFromStream(stream);
        FAIL() << "no error";
    } catch (const EPNG& e) {
        EXPECT_EQ(e.Message(), "PNG image of 40 x 30 pixels exceeds the limit of 1199 pixels");
    }
    EXPECT_EQ(png.Width(), 0);
}

TEST(PictureFormats, KindsByEndingAndTheSettingsText) {
    EXPECT_EQ(PictureKindOf("a.PnG"), TPictureKind::pkPNG);
    EXPECT_EQ(PictureKindOf("a.webp"), TPictureKind::pkWebP);
    EXPECT_EQ(PictureKindOf("a.tif"), TPictureKind::pkTIFF);
    EXPECT_EQ(PictureKindOf("a.TIFF"), TPictureKind::pkTIFF);
    EXPECT_EQ(PictureKindOf("a.heic"), TPictureKind::pkHEIF);
    EXPECT_EQ(PictureKindOf("a.heif"), TPictureKind::pkHEIF);
    EXPECT_EQ(PictureKindOf("a.avif"), TPictureKind::pkAVIF);
    EXPECT_EQ(PictureKindOf("a.png.x"), TPictureKind::pkNone);
    EXPECT_EQ(PictureKindOf("a.jpeg"), TPictureKind::pkNone);

    const TPictureFormats classic;
    EXPECT_EQ(classic.Text(), "JPG,GIF,BMP");
    EXPECT_EQ(TPictureFormats::Parse("JPG,GIF,BMP"), classic);
    for (const char* name : {"a.Jpg", "B.BMP", "g.gif"}) EXPECT_TRUE(classic.AcceptsName(name));
    for (const char* name :
         {"e.png", "w.webp", "t.tif", "t.tiff", "h.heic", "h.heif", "a.avif", "d.jpeg", "f"})
        EXPECT_FALSE(classic.AcceptsName(name)) << name;

    const TPictureFormats more = TPictureFormats::Parse(" png , Tif,heif,WEBP,bogus");
    EXPECT_EQ(more.Text(), THEIFImage::CanDecodeHEIC() ? "PNG,WEBP,TIFF,HEIC" : "PNG,WEBP,TIFF");
    for (const char* name : {"e.PNG", "w.webp", "t.tif", "t.TIFF"})
        EXPECT_TRUE(more.AcceptsName(name)) << name;
    EXPECT_FALSE(more.AcceptsName("a.jpg"));
    EXPECT_EQ(TPictureFormats::Parse("AVIF").Has(TPictureKind::pkAVIF),
              THEIFImage::CanDecodeAVIF());
}

}  // namespace
}  // namespace corvane
