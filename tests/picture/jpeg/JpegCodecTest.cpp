#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "JpegTestSupport.h"
#include "picture/jpeg/JpegCodec.h"

namespace corvane {
namespace {

using testing::Bytes;

// Collects decoded rows in a plain buffer.
class TBufferSink : public TJpegPixelSink {
  public:
    void Start(const TJpegOutputFormat& f) override {
        format = f;
        rowBytes = size_t{f.width} * (f.bitsPerPixel / 8);
        pixels.assign(rowBytes * f.height, 0);
        ++starts;
    }
    uint8_t* Row(uint32_t y) override { return &pixels[y * rowBytes]; }
    void PassCompleted() override { ++passes; }

    TJpegOutputFormat format;
    size_t rowBytes = 0;
    Bytes pixels;
    int starts = 0;
    int passes = 0;
};

TBufferSink Decode(const Bytes& jpeg, const TJpegDecodeOptions& options = {}) {
    TBufferSink sink;
    DecodeJpeg(jpeg.data(), jpeg.size(), options, sink);
    return sink;
}

std::string FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EJPEG& e) {
        return e.Message();
    }
    return "(no failure)";
}

// --- header ------------------------------------------------------------------

TEST(JpegHeader, ReportsFrameSizeColourSpaceAndScans) {
    struct Case {
        Bytes jpeg;
        uint32_t width, height;
        bool gray, progressive;
    };
    const Case cases[] = {
        {testing::MakeColorJpeg(33, 17), 33, 17, false, false},
        {testing::MakeColorJpeg(8, 9, 75, true), 8, 9, false, true},
        {testing::MakeGrayJpeg(20, 5), 20, 5, true, false},
        {testing::MakeRgbJpeg(4, 4), 4, 4, false, false},
    };
    for (const auto& c : cases) {
        const TJpegHeader h = ReadJpegHeader(c.jpeg.data(), c.jpeg.size());
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        EXPECT_EQ(h.grayscale, c.gray);
        EXPECT_EQ(h.progressive, c.progressive);
    }
}

TEST(JpegHeader, RejectsWhatIsNoJpegWithItsVersion6aNumbers) {
    struct Case {
        Bytes data;
        const char* message;
    };
    const Case cases[] = {
        {Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "JPEG error #52"},
        {Bytes{'B', 'M', 0x3A, 0, 0, 0}, "JPEG error #52"},
        {Bytes{0xFF}, "JPEG error #52"},  // too short for a marker: fake EOI follows
        {Bytes{}, "JPEG error #41"},      // nothing at all: input empty
        {Bytes{0xFF, 0xD8, 0xFF, 0xD9}, "JPEG error #50"},  // no image in the stream
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureOf([&] { ReadJpegHeader(c.data.data(), c.data.size()); }), c.message);
}

TEST(JpegHeader, RejectsFourComponentFiles) {
    for (bool ycck : {false, true}) {
        const Bytes jpeg = testing::MakeFourComponentJpeg(8, 8, ycck);
        EXPECT_EQ(FailureOf([&] { ReadJpegHeader(jpeg.data(), jpeg.size()); }), "JPEG error #25");
        EXPECT_EQ(FailureOf([&] { Decode(jpeg); }), "JPEG error #25");
    }
}

TEST(JpegHeader, RejectsMoreThan2To28PixelsBeforeDecoding) {
    Bytes jpeg = testing::MakeColorJpeg(16, 16);
    const size_t at = testing::FrameSizeOffset(jpeg);
    ASSERT_NE(at, 0u);
    // 20000 x 20000 = 4e8 pixels > 2^28, each side within the library's limit.
    jpeg[at] = 0x4E, jpeg[at + 1] = 0x20, jpeg[at + 2] = 0x4E, jpeg[at + 3] = 0x20;
    EXPECT_EQ(FailureOf([&] { ReadJpegHeader(jpeg.data(), jpeg.size()); }),
              "JPEG image too large: 20000 x 20000 pixels");
    TBufferSink sink;
    EXPECT_THROW(DecodeJpeg(jpeg.data(), jpeg.size(), {}, sink), EJPEG);
    EXPECT_EQ(sink.starts, 0);
}

TEST(JpegHeader, StopsFilesWithTooManyScans) {
    // A progressive file whose last scan repeats: the library only warns
    // about the bogus progression, so the scan count must stop it.
    const Bytes jpeg = testing::MakeColorJpeg(8, 8, 75, true);
    size_t lastScan = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastScan = i;
    ASSERT_NE(lastScan, 0u);
    const Bytes scan(jpeg.begin() + static_cast<ptrdiff_t>(lastScan), jpeg.end() - 2);
    Bytes many(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < kMaxJpegScans; ++i) many.insert(many.end(), scan.begin(), scan.end());
    many.insert(many.end(), {0xFF, 0xD9});
    EXPECT_EQ(FailureOf([&] { Decode(many); }), "JPEG image has more than 1000 scans");
}

// --- decoding ------------------------------------------------------------------

TEST(JpegDecode, ColourMatchesTheReferenceDecodeAsBlueGreenRed) {
    for (const Bytes& jpeg : {testing::MakeColorJpeg(37, 29), testing::MakeRgbJpeg(13, 11),
                              testing::MakeColorJpeg(64, 48, 50, true)}) {
        const auto reference = testing::ReferenceDecode(jpeg);
        const TBufferSink sink = Decode(jpeg);
        ASSERT_EQ(sink.format.bitsPerPixel, 24);
        ASSERT_EQ(sink.format.width, reference.width);
        ASSERT_EQ(sink.format.height, reference.height);
        for (size_t i = 0; i < reference.pixels.size(); i += 3) {
            ASSERT_EQ(sink.pixels[i], reference.pixels[i + 2]) << "blue at " << i / 3;
            ASSERT_EQ(sink.pixels[i + 1], reference.pixels[i + 1]) << "green at " << i / 3;
            ASSERT_EQ(sink.pixels[i + 2], reference.pixels[i]) << "red at " << i / 3;
        }
    }
}

TEST(JpegDecode, GrayIsQuantisedTo236DitheredLevels) {
    const Bytes jpeg = testing::MakeGrayJpeg(41, 23);
    const TBufferSink sink = Decode(jpeg);
    ASSERT_EQ(sink.format.bitsPerPixel, 8);
    ASSERT_EQ(sink.format.palette.size(), 236u);
    for (int j = 0; j < 236; ++j) {
        const uint8_t level = static_cast<uint8_t>((255 * j + 117) / 235);
        const auto& entry = sink.format.palette[j];
        EXPECT_TRUE(entry[0] == level && entry[1] == level && entry[2] == level) << j;
    }
    const auto reference = testing::ReferenceDecode(jpeg);
    EXPECT_EQ(sink.pixels, reference.pixels);  // same Floyd-Steinberg indices
}

TEST(JpegDecode, TruncatedDataDecodeAtFullSize) {
    const Bytes whole = testing::MakeColorJpeg(64, 64);
    for (size_t keep : {whole.size() / 2, whole.size() - 2, size_t{700}}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(keep));
        const TBufferSink sink = Decode(cut);
        EXPECT_EQ(sink.format.width, 64u);
        EXPECT_EQ(sink.format.height, 64u);
    }
}

TEST(JpegDecode, ScaleShiftsHalveTheOutput) {
    const Bytes jpeg = testing::MakeColorJpeg(100, 61);
    const std::pair<uint32_t, uint32_t> sizes[] = {{100, 61}, {50, 31}, {25, 16}, {13, 8}};
    for (uint8_t shift = 0; shift < 4; ++shift) {
        uint32_t w = 0, h = 0;
        JpegOutputSize(jpeg.data(), jpeg.size(), shift, w, h);
        EXPECT_EQ(std::make_pair(w, h), sizes[shift]);
        TJpegDecodeOptions options;
        options.scaleShift = shift;
        const TBufferSink sink = Decode(jpeg, options);
        EXPECT_EQ(std::make_pair(sink.format.width, sink.format.height), sizes[shift]);
    }
}

TEST(JpegDecode, IncrementalDisplayShowsPassesAndEndsWithTheSamePicture) {
    const Bytes jpeg = testing::MakeColorJpeg(48, 40, 85, true);
    TJpegDecodeOptions incremental;
    incremental.incrementalDisplay = true;
    const TBufferSink passes = Decode(jpeg, incremental);
    EXPECT_GT(passes.passes, 1);
    EXPECT_EQ(passes.pixels, Decode(jpeg).pixels);
}

TEST(JpegDecode, PaletteAndGrayOutputGiveEightBitPictures) {
    const Bytes jpeg = testing::MakeColorJpeg(32, 32);
    TJpegDecodeOptions palette;
    palette.paletteOutput = true;
    const TBufferSink quantised = Decode(jpeg, palette);
    EXPECT_EQ(quantised.format.bitsPerPixel, 8);
    EXPECT_LE(quantised.format.palette.size(), 236u);
    TJpegDecodeOptions gray;
    gray.grayOutput = true;
    const TBufferSink grayed = Decode(jpeg, gray);
    EXPECT_EQ(grayed.format.bitsPerPixel, 8);
    for (const auto& e : grayed.format.palette) EXPECT_TRUE(e[0] == e[1] && e[1] == e[2]);
}

TEST(JpegDecode, ProgressReportsPercentagesAndMayStopTheDecode) {
    const Bytes jpeg = testing::MakeColorJpeg(64, 256);
    std::vector<int> seen;
    TBufferSink sink;
    DecodeJpeg(jpeg.data(), jpeg.size(), {}, sink, [&](int p) { seen.push_back(p); });
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), 100);

    struct Stop {};
    TBufferSink stopped;
    EXPECT_THROW(DecodeJpeg(jpeg.data(), jpeg.size(), {}, stopped, [](int) { throw Stop{}; }),
                 Stop);
}

// --- encoding ------------------------------------------------------------------

Bytes Encode(uint32_t w, uint32_t h, TJpegInputLayout layout, const Bytes& pixels,
             const TJpegEncodeOptions& options) {
    const size_t rowBytes = size_t{w} * (layout == TJpegInputLayout::BGR ? 3 : 4);
    Bytes out;
    EncodeJpeg(
        w, h, layout, [&](uint32_t y) { return &pixels[y * rowBytes]; }, options,
        [&](const uint8_t* p, size_t n) {
            out.insert(out.end(), p, p + n);
            return n;
        });
    return out;
}

TEST(JpegEncode, TwoByTwoAtQuality95IsAJfifFileOfThatSize) {
    const Bytes bgrx = {10, 20, 30, 99, 40, 50, 60, 99, 70, 80, 90, 99, 1, 2, 3, 99};
    TJpegEncodeOptions options;
    options.quality = 95;
    const Bytes jpeg = Encode(2, 2, TJpegInputLayout::BGRX, bgrx, options);
    ASSERT_GT(jpeg.size(), 20u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(std::memcmp(&jpeg[6], "JFIF", 5), 0);
    const TJpegHeader h = ReadJpegHeader(jpeg.data(), jpeg.size());
    EXPECT_EQ(h.width, 2u);
    EXPECT_EQ(h.height, 2u);
    EXPECT_FALSE(h.progressive);
}

TEST(JpegEncode, FourthByteIsIgnoredAndMatchesThePlainLibrary) {
    const uint32_t w = 23, h = 19;
    const Bytes bgr = testing::PatternBGR(w, h);
    Bytes bgrx;
    for (size_t i = 0; i < bgr.size(); i += 3)
        bgrx.insert(bgrx.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 0xAB});
    TJpegEncodeOptions options;
    options.quality = 95;
    const Bytes fromBgr = Encode(w, h, TJpegInputLayout::BGR, bgr, options);
    EXPECT_EQ(fromBgr, Encode(w, h, TJpegInputLayout::BGRX, bgrx, options));
    EXPECT_EQ(fromBgr, testing::MakeColorJpeg(w, h, 95));
}

TEST(JpegEncode, GrayAndProgressiveOptionsReachTheFile) {
    const Bytes bgr = testing::PatternBGR(16, 16);
    TJpegEncodeOptions gray;
    gray.grayOutput = true;
    Bytes jpeg = Encode(16, 16, TJpegInputLayout::BGR, bgr, gray);
    EXPECT_TRUE(ReadJpegHeader(jpeg.data(), jpeg.size()).grayscale);
    TJpegEncodeOptions progressive;
    progressive.progressive = true;
    jpeg = Encode(16, 16, TJpegInputLayout::BGR, bgr, progressive);
    EXPECT_TRUE(ReadJpegHeader(jpeg.data(), jpeg.size()).progressive);
}

TEST(JpegEncode, ShortWriteFailsWithWriteError36) {
    const Bytes bgr = testing::PatternBGR(200, 200);
    const std::function<size_t(size_t)> sinks[] = {
        [](size_t) { return size_t{0}; },  // nothing taken
        [](size_t n) { return n - 1; },    // one byte short
    };
    for (const auto& take : sinks) {
        const std::string message = FailureOf([&] {
            EncodeJpeg(
                200, 200, TJpegInputLayout::BGR, [&](uint32_t y) { return &bgr[y * 600]; }, {},
                [&](const uint8_t*, size_t n) { return take(n); });
        });
        EXPECT_EQ(message, "JPEG error #36");
    }
}

}  // namespace
}  // namespace corvane
