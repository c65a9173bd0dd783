// The BMP reader, seen through what reaches the raster.
#include <gtest/gtest.h>

#include <functional>

#include "BmpBuilder.h"
#include "picture/Graphics.h"

namespace corvane {
namespace {

using testing::BuildBmp;
using testing::PaddedRows;
using testing::Quad;
using testing::TBmpLayout;

// Reads the bytes as a BMP and fills a raster from the bitmap.
void Decode(const std::vector<uint8_t>& bytes, TBitmap32& raster) {
    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    raster.Assign(&bitmap);
}

std::string DecodeError(const std::vector<uint8_t>& bytes) {
    try {
        TBitmap32 raster;
        Decode(bytes, raster);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

const std::vector<TRGBQuad> kFourColours = {Quad(10, 20, 30), Quad(200, 100, 50), Quad(1, 2, 3),
                                            Quad(255, 255, 255)};

// A 2 x 2 picture: expected raster pixels, top row first.
struct TFormatCase {
    const char* name;
    TBmpLayout layout;
    std::vector<TColor32> expected;
};

TBmpLayout Layout(uint32_t headerSize, uint16_t bitCount, uint32_t compression,
              std::vector<TRGBQuad> table, std::vector<uint8_t> pixels, int32_t height = 2) {
    TBmpLayout s;
    s.headerSize = headerSize;
    s.width = 2;
    s.height = height;
    s.bitCount = bitCount;
    s.compression = compression;
    s.colorsUsed = headerSize == 12 ? 0 : static_cast<uint32_t>(table.size());
    s.table = std::move(table);
    s.pixels = std::move(pixels);
    // Run-length files state their data size (else the uncompressed size limits it).
    if (compression == 1 || compression == 2) s.imageSize = static_cast<uint32_t>(s.pixels.size());
    return s;
}

TBmpLayout WithMasks(TBmpLayout s, std::vector<uint32_t> masks) {
    s.masks = std::move(masks);
    return s;
}

std::vector<TFormatCase> FormatCases() {
    const std::vector<TColor32> paletteRaster = {0xFF0A141E, 0xFFC86432, 0xFF010203, 0xFFFFFFFF};
    const std::vector<uint8_t> rows16 = PaddedRows({{0x00, 0x7C, 0xE0, 0x03},    // red, green
                                                    {0x1F, 0x00, 0x01, 0x41}});  // blue, mixed
    std::vector<TRGBQuad> sixteen = kFourColours;
    sixteen.resize(16, Quad(9, 9, 9));
    return {
        {"1 bit",
         Layout(40, 1, 0, {Quad(10, 20, 30), Quad(200, 100, 50)}, PaddedRows({{0x80}, {0x40}})),
         {0xFF0A141E, 0xFFC86432, 0xFFC86432, 0xFF0A141E}},
        {"4 bit", Layout(40, 4, 0, sixteen, PaddedRows({{0x23}, {0x01}})), paletteRaster},
        {"8 bit, 4 colours", Layout(40, 8, 0, kFourColours, PaddedRows({{2, 3}, {0, 1}})),
         paletteRaster},
        {"OS/2 8 bit",
         Layout(
             12, 8, 0,
             [] {
                 auto t = kFourColours;
                 t.resize(256);
                 return t;
             }(),
             PaddedRows({{2, 3}, {0, 1}})),
         paletteRaster},
        {"24 bit",
         Layout(40, 24, 0, {}, PaddedRows({{3, 2, 1, 6, 5, 4}, {9, 8, 7, 12, 11, 10}})),
         {0xFF070809, 0xFF0A0B0C, 0xFF010203, 0xFF040506}},
        {"24 bit, 124-byte header",
         Layout(124, 24, 0, {}, PaddedRows({{3, 2, 1, 6, 5, 4}, {9, 8, 7, 12, 11, 10}})),
         {0xFF070809, 0xFF0A0B0C, 0xFF010203, 0xFF040506}},
        {"24 bit top-down",
         Layout(40, 24, 0, {}, PaddedRows({{9, 8, 7, 12, 11, 10}, {3, 2, 1, 6, 5, 4}}), -2),
         {0xFF070809, 0xFF0A0B0C, 0xFF010203, 0xFF040506}},
        {"32 bit drops the fourth byte",
         Layout(40, 32, 0, {},
              PaddedRows({{3, 2, 1, 0x55, 6, 5, 4, 0}, {9, 8, 7, 0xFF, 12, 11, 10, 1}})),
         {0xFF070809, 0xFF0A0B0C, 0xFF010203, 0xFF040506}},
        {"16 bit 5-5-5",
         Layout(40, 16, 0, {}, rows16),
         {0xFF0000FF, 0xFF844208, 0xFFFF0000, 0xFF00FF00}},
        {"16 bit fields 5-6-5",
         WithMasks(
             Layout(40, 16, 3, {}, PaddedRows({{0x00, 0xF8, 0x00, 0x04}, {0x1F, 0x00, 0xE0, 0x07}})),
             {0xF800, 0x07E0, 0x001F}),
         {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF008200}},
        {"32 bit fields, red in the low byte",
         WithMasks(Layout(40, 32, 3, {},
                        PaddedRows({{1, 2, 3, 0, 4, 5, 6, 0}, {7, 8, 9, 0, 10, 11, 12, 0}})),
                   {0x000000FF, 0x0000FF00, 0x00FF0000}),
         {0xFF070809, 0xFF0A0B0C, 0xFF010203, 0xFF040506}},
        {"16 bit fields in a 108-byte header",
         WithMasks(
             Layout(108, 16, 3, {}, PaddedRows({{0x00, 0xF8, 0x00, 0x04}, {0x1F, 0x00, 0xE0, 0x07}})),
             {0xF800, 0x07E0, 0x001F}),
         {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF008200}},
        {"16 bit without compression ignores header masks",
         WithMasks(Layout(108, 16, 0, {}, rows16), {0xF800, 0x07E0, 0x001F}),
         {0xFF0000FF, 0xFF844208, 0xFFFF0000, 0xFF00FF00}},
        // Run-length data start with the bottom row.
        {"RLE8",
         Layout(40, 8, 1, kFourColours, {1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 1}),
         {0xFF0A141E, 0xFFC86432, 0xFF010203, 0xFFFFFFFF}},
        {"RLE8 delta skips read black",
         Layout(40, 8, 1, kFourColours, {1, 0, 0, 2, 0, 1, 1, 1, 0, 1}),
         {0xFF000000, 0xFFC86432, 0xFF0A141E, 0xFF000000}},
        {"RLE8 absolute run",
         Layout(40, 8, 1, kFourColours, {0, 3, 3, 2, 1, 0, 0, 0, 2, 1, 0, 1}),
         {0xFFC86432, 0xFFC86432, 0xFFFFFFFF, 0xFF010203}},
        {"RLE4",
         Layout(40, 4, 2, sixteen, {2, 0x23, 0, 0, 2, 0x01, 0, 1}),
         {0xFF0A141E, 0xFFC86432, 0xFF010203, 0xFFFFFFFF}},
        {"RLE4 data ending early",
         Layout(40, 4, 2, sixteen, {0, 3, 0x32}),
         {0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFF010203}},
    };
}

TEST(BmpReader, DecodesEveryPixelFormat) {
    for (const TFormatCase& c : FormatCases()) {
        SCOPED_TRACE(c.name);
        TBitmap32 raster;
        ASSERT_NO_THROW(Decode(BuildBmp(c.layout), raster));
        ASSERT_EQ(raster.Width(), 2);
        ASSERT_EQ(raster.Height(), 2);
        EXPECT_EQ(raster.GetPixel(0, 0), c.expected[0]);
        EXPECT_EQ(raster.GetPixel(1, 0), c.expected[1]);
        EXPECT_EQ(raster.GetPixel(0, 1), c.expected[2]);
        EXPECT_EQ(raster.GetPixel(1, 1), c.expected[3]);
    }
}

struct TFailureCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;
};

std::vector<uint8_t> Truncated(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// Overwrites the info header's size field.
std::vector<uint8_t> WithHeaderSize(std::vector<uint8_t> bytes, uint32_t size) {
    for (int i = 0; i < 4; ++i) bytes[14 + i] = static_cast<uint8_t>(size >> (8 * i));
    return bytes;
}

TBmpLayout Modified(std::function<void(TBmpLayout&)> change) {
    TBmpLayout s = Layout(40, 8, 0, kFourColours, PaddedRows({{2, 3}, {0, 1}}));
    change(s);
    return s;
}

std::vector<TFailureCase> FailureCases() {
    const auto valid = BuildBmp(Modified([](TBmpLayout&) {}));
    const std::string notValid = "Bitmap image is not valid";
    const std::string readError = "Stream read error";
    auto header = [](uint32_t size) {
        return "Unsupported bitmap header size (" + std::to_string(size) + " bytes)";
    };
    return {
        {"fewer than 14 bytes", Truncated(valid, 13), readError},
        {"header cut short", Truncated(valid, 30), readError},
        {"colour table cut short", Truncated(valid, 14 + 40 + 10), readError},
        {"signature BN", BuildBmp(Modified([](TBmpLayout& s) { s.signature = "BN"; })), notValid},
        {"two planes", BuildBmp(Modified([](TBmpLayout& s) { s.planes = 2; })), notValid},
        {"header size 16", WithHeaderSize(valid, 16), header(16)},
        {"header size 39", WithHeaderSize(valid, 39), header(39)},
        {"header size 0", WithHeaderSize(valid, 0), header(0)},
        {"header size 64", WithHeaderSize(valid, 64), header(64)},
        {"header size 4 GB", WithHeaderSize(valid, 0xFFFFFFF0), header(0xFFFFFFF0)},
        {"257 colours", BuildBmp(Modified([](TBmpLayout& s) { s.colorsUsed = 257; })),
         "Bitmap color count 257 exceeds 256"},
        {"colour count near 2^32",
         BuildBmp(Modified([](TBmpLayout& s) { s.colorsUsed = 0xFFFFFFFF; })),
         "Bitmap color count 4294967295 exceeds 256"},
        {"more than 2^28 pixels",
         BuildBmp(Modified([](TBmpLayout& s) { s.width = 65536, s.height = 4097; })),
         "Bitmap of 65536 x 4097 pixels exceeds the limit of 268435456 pixels"},
        {"most negative height", BuildBmp(Modified([](TBmpLayout& s) { s.height = INT32_MIN; })),
         notValid},
        {"width 0", BuildBmp(Modified([](TBmpLayout& s) { s.width = 0; })), notValid},
        {"negative width", BuildBmp(Modified([](TBmpLayout& s) { s.width = -2; })), notValid},
        {"height 0", BuildBmp(Modified([](TBmpLayout& s) { s.height = 0; })), notValid},
        {"2 bits per pixel", BuildBmp(Modified([](TBmpLayout& s) { s.bitCount = 2; })), notValid},
        {"JPEG compression", BuildBmp(Modified([](TBmpLayout& s) { s.compression = 4; })), notValid},
        {"RLE8 at 4 bits",
         BuildBmp(Modified([](TBmpLayout& s) { s.compression = 1, s.bitCount = 4; })), notValid},
        {"bit fields at 8 bits", BuildBmp(Modified([](TBmpLayout& s) { s.compression = 3; })),
         notValid},
        {"top-down RLE8", BuildBmp(Modified([](TBmpLayout& s) { s.compression = 1, s.height = -2; })),
         notValid},
    };
}

TEST(BmpReader, RejectsDamagedFilesWithTheirMessage) {
    for (const TFailureCase& c : FailureCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeError(c.bytes), c.message);
    }
}

TEST(BmpReader, ZeroBytesGiveAnEmptyRaster) {
    TBitmap32 raster;
    raster.SetSize(3, 3);
    Decode({}, raster);
    EXPECT_EQ(raster.Width(), 0);
    EXPECT_EQ(raster.Height(), 0);
    EXPECT_TRUE(raster.Empty());
}

TEST(BmpReader, MissingRowsOfAShortPixelAreaReadBlack) {
    // 2 x 4, 24 bits, only the two bottom rows present.
    TBmpLayout s = Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}), 4);
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    ASSERT_EQ(raster.Height(), 4);
    EXPECT_EQ(raster.GetPixel(0, 3), 0xFF030201u);
    EXPECT_EQ(raster.GetPixel(1, 2), 0xFF0C0B0Au);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(raster.GetPixel(x, y), 0xFF000000u);
}

TEST(BmpReader, ShortTopDownAreaKeepsTheTopRows) {
    TBmpLayout s = Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}}), -3);
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF030201u);
    EXPECT_EQ(raster.GetPixel(1, 2), 0xFF000000u);
}

TEST(BmpReader, PixelsStartRightAfterTheColourTable) {
    // The data offset points past a gap; the gap bytes are read as pixels.
    TBmpLayout s = Layout(40, 8, 0, kFourColours, PaddedRows({{1, 1}}), 1);
    s.gapAfterTable = 4;
    for (auto& b : s.pixels) b = 1;
    s.table.resize(256, Quad(0, 0, 0));
    s.table[0xEE] = Quad(7, 7, 7);
    s.colorsUsed = 256;
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF070707u);
    EXPECT_EQ(raster.GetPixel(1, 0), 0xFF070707u);
}

// What the conversion run relies on before it replaces a bitmap: every pixel
// byte present, read from where the file header says the pixels begin.
TEST(BmpReader, PixelsCompleteOnlyWhenReadWholeFromTheHeadersOffset) {
    const TBmpLayout whole = Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
    TBmpLayout gap = whole;
    gap.gapAfterTable = 4;
    TBmpLayout cut = whole;
    cut.pixels.resize(cut.pixels.size() - 1);
    const TBmpLayout runs = Layout(40, 8, 1, kFourColours, {2, 1, 0, 0, 2, 3, 0, 1}, 2);
    TBmpLayout runsCut = runs;
    runsCut.pixels.resize(4);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool complete;
    } cases[] = {
        {"whole", BuildBmp(whole), true},
        {"gap before the pixels", BuildBmp(gap), false},
        {"one byte short", BuildBmp(cut), false},
        {"run-length to its end", BuildBmp(runs), true},
        {"run-length cut short", BuildBmp(runsCut), false},
        {"no bytes", {}, false},
    };
    for (const auto& c : cases) {
        TReadOnlyMemoryStream stream(c.bytes.data(), c.bytes.size());
        TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        EXPECT_EQ(bitmap.PixelsComplete(), c.complete) << c.name;
    }
}

TEST(BmpReader, ImageSizeLimitsTheBytesTaken) {
    TBmpLayout s = Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}), 2);
    s.imageSize = 8;  // only the bottom row
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 1), 0xFF030201u);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF000000u);
}

TEST(BmpReader, OversizedImageSizeAndTrailingBytesStayInsideTheBuffer) {
    TBmpLayout s = Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}}), 1);
    s.imageSize = 0xFFFFFFFF;
    s.pixels.resize(4096, 0xAB);
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(1, 0), 0xFF060504u);
}

TEST(BmpReader, FourBitsWithoutColourCountReadSixteenEntries) {
    std::vector<TRGBQuad> table(16, Quad(0, 0, 0));
    table[15] = Quad(50, 60, 70);
    TBmpLayout s = Layout(40, 4, 0, table, PaddedRows({{0xF0}}), 1);
    s.width = 1;
    s.colorsUsed = 0;
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF323C46u);
}

TEST(BmpReader, IndexBeyondTheColourTableReadsBlack) {
    TBmpLayout s = Layout(40, 8, 0, {Quad(9, 9, 9)}, PaddedRows({{0, 200}}), 1);
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF090909u);
    EXPECT_EQ(raster.GetPixel(1, 0), 0xFF000000u);
}

TEST(BmpReader, RunLengthCoordinatesOutsideThePictureAreIgnored) {
    // Runs past the row end, a delta far outside, then more data.
    TBmpLayout s = Layout(40, 8, 1, kFourColours, {255, 3, 0, 2, 255, 255, 5, 1, 0, 1}, 2);
    TBitmap32 raster;
    Decode(BuildBmp(s), raster);
    EXPECT_EQ(raster.GetPixel(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(raster.GetPixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF000000u);
}

TEST(BmpReader, FailedLoadKeepsThePreviousPicture) {
    TBitmap bitmap;
    const auto good = BuildBmp(Layout(40, 24, 0, {}, PaddedRows({{1, 2, 3, 4, 5, 6}}), 1));
    TReadOnlyMemoryStream goodStream(good.data(), good.size());
    bitmap.LoadFromStream(goodStream);
    const auto bad = BuildBmp(Modified([](TBmpLayout& s) { s.planes = 0; }));
    TReadOnlyMemoryStream badStream(bad.data(), bad.size());
    EXPECT_THROW(bitmap.LoadFromStream(badStream), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_EQ(bitmap.PixelColor(0, 0), 0x030201u);
}

TEST(BmpReader, KeepsTheFilesPixelFormat) {
    struct {
        TBmpLayout layout;
        TPixelFormat format;
    } cases[] = {
        {Layout(40, 1, 0, {Quad(0, 0, 0), Quad(1, 1, 1)}, PaddedRows({{0}}), 1),
         TPixelFormat::pf1bit},
        {Layout(40, 8, 0, kFourColours, PaddedRows({{0, 0}}), 1), TPixelFormat::pf8bit},
        {Layout(40, 16, 0, {}, PaddedRows({{0, 0, 0, 0}}), 1), TPixelFormat::pf15bit},
        {WithMasks(Layout(40, 16, 3, {}, PaddedRows({{0, 0, 0, 0}}), 1), {0xF800, 0x07E0, 0x1F}),
         TPixelFormat::pf16bit},
        {Layout(40, 24, 0, {}, PaddedRows({{0, 0, 0, 0, 0, 0}}), 1), TPixelFormat::pf24bit},
        {Layout(40, 32, 0, {}, PaddedRows({{0, 0, 0, 0, 0, 0, 0, 0}}), 1), TPixelFormat::pf32bit},
    };
    for (auto& c : cases) {
        const auto bytes = BuildBmp(c.layout);
        TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        EXPECT_EQ(bitmap.PixelFormat(), c.format);
    }
}

}  // namespace
}  // namespace corvane
