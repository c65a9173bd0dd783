// The LZW decoder and row order on their own, into plain index buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GIFTestEncoder.h"
#include "picture/gif/GIFImage.h"
#include "picture/gif/GIFLZW.h"

namespace corvane {
namespace {

using giftest::Bytes;

struct DecodeResult {
    Bytes pixels;
    std::vector<std::string> warnings;
    int64_t endPosition = 0;
};

// Sub-blocks (as in a file, after the code size byte) decoded into a
// width x height buffer pre-filled with fill.
DecodeResult Decode(const Bytes& blocks, int m, int width, int height, bool interlaced = false,
                    uint8_t fill = 0) {
    DecodeResult result;
    result.pixels.assign(static_cast<size_t>(width) * height, fill);
    TReadOnlyMemoryStream stream(blocks.data(), blocks.size());
    TGIFReader reader(stream);
    TGIFWarningSink warn = [&](const std::string& m) { result.warnings.push_back(m); };
    TGIFLZWDecoder decoder(reader, m, warn);
    decoder.Decode(result.pixels.data(), width, height, interlaced, fill);
    decoder.Finish();
    result.endPosition = reader.Position();
    return result;
}

TEST(GIFRowOrder, VisitsEveryRowOnceInPassOrder) {
    for (int height = 1; height <= 33; ++height) {
        for (bool interlaced : {false, true}) {
            std::vector<int> rows;
            for (TGIFRowOrder order(height, interlaced); !order.Done(); order.Next())
                rows.push_back(order.Row());
            EXPECT_EQ(rows, giftest::StoredRowOrder(height, interlaced))
                << "height " << height << " interlaced " << interlaced;
        }
    }
}

struct RoundTripCase {
    const char* name;
    int m;
    int colours;
    int width, height;
    size_t blockSize;
    giftest::LZWOptions lzw;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class GIFLZWRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(GIFLZWRoundTrip, DecodesWhatTheEncoderWrote) {
    const RoundTripCase& c = GetParam();
    Bytes pixels = giftest::PatternPixels(c.width, c.height, c.colours, 7);
    Bytes blocks = giftest::SubBlocks(giftest::EncodeLZW(pixels, c.m, c.lzw), c.blockSize);
    DecodeResult r = Decode(blocks, c.m, c.width, c.height);
    EXPECT_EQ(r.pixels, pixels);
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    EXPECT_EQ(r.endPosition, static_cast<int64_t>(blocks.size()));  // end code skips the rest
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GIFLZWRoundTrip,
    testing::Values(RoundTripCase{"TwoColours", 2, 2, 64, 48, 255, {}},
                    RoundTripCase{"FourColours", 2, 4, 100, 100, 255, {}},
                    RoundTripCase{"SixteenColours", 4, 16, 333, 211, 255, {}},
                    RoundTripCase{"FullByte", 8, 256, 640, 480, 255, {}},
                    RoundTripCase{"CodeSizeEleven", 11, 200, 300, 200, 255, {}},
                    RoundTripCase{"TinyBlocks", 8, 60, 120, 90, 1, {}},
                    RoundTripCase{"OddBlocks", 5, 32, 97, 61, 7, {}},
                    RoundTripCase{"FullTableKept", 8, 256, 700, 500, 255, {true, true, false}},
                    RoundTripCase{"FullTableKeptSmall", 2, 4, 900, 900, 255, {true, true, false}},
                    RoundTripCase{"OnePixel", 2, 4, 1, 1, 255, {}}),
    [](const testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST(GIFLZWDecoder, FirstCodeActsAsClearCode) {
    // Without a leading clear code the first literal is taken as the clear.
    giftest::CodeWriter w;
    for (uint32_t code : {1u, 2u, 3u, 0u}) w.Put(code, 3);
    w.Put(5, 4);  // the end code, after the table reached 8 entries
    Bytes blocks = giftest::SubBlocks(w.Finish());
    DecodeResult r = Decode(blocks, 2, 4, 1, false, 9);
    EXPECT_EQ(r.pixels, (Bytes{2, 3, 0, 9}));
}

TEST(GIFLZWDecoder, SelfReferringCodeRepeatsThePreviousString) {
    // clear, 1, 6 (= the next free code: "1 1"), end
    giftest::CodeWriter w;
    for (uint32_t code : {4u, 1u, 6u, 5u}) w.Put(code, 3);
    DecodeResult r = Decode(giftest::SubBlocks(w.Finish()), 2, 3, 1);
    EXPECT_EQ(r.pixels, (Bytes{1, 1, 1}));
}

TEST(GIFLZWDecoder, CodesBeyondTheTableFail) {
    struct Case {
        const char* name;
        std::vector<uint32_t> codes;
    };
    for (const Case& c : {Case{"AfterClear", {4, 6}}, Case{"PastNextFree", {4, 1, 7}},
                          Case{"AfterLaterClear", {4, 1, 2, 4, 7}}}) {
        giftest::CodeWriter w;
        for (uint32_t code : c.codes) w.Put(code, 3);
        try {
            Decode(giftest::SubBlocks(w.Finish()), 2, 8, 1);
            ADD_FAILURE() << c.name << ": no failure";
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Circular decoder table entry") << c.name;
        }
    }
}

TEST(GIFLZWDecoder, EndCodeStopsEarlyAndKeepsTheFill) {
    giftest::CodeWriter w;
    for (uint32_t code : {4u, 1u, 2u, 5u}) w.Put(code, 3);
    DecodeResult r = Decode(giftest::SubBlocks(w.Finish()), 2, 4, 2, false, 3);
    EXPECT_EQ(r.pixels, (Bytes{1, 2, 3, 3, 3, 3, 3, 3}));
}

TEST(GIFLZWDecoder, DataEndingEarlyWarnsAndKeepsTheFill) {
    Bytes pixels = giftest::PatternPixels(50, 40, 16);
    Bytes data = giftest::EncodeLZW(pixels, 4);
    data.resize(data.size() / 2);
    DecodeResult r = Decode(giftest::SubBlocks(data), 4, 50, 40, false, 0xEE);
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_EQ(r.warnings.front(), "Decoder bit buffer under-run");
    EXPECT_EQ(r.pixels.front(), pixels.front());
    EXPECT_EQ(r.pixels.back(), 0xEE);
}

TEST(GIFLZWDecoder, InterlacedDataEndingEarlyFillsTheSameStoredRows) {
    const int width = 31, height = 21;
    Bytes data = giftest::EncodeLZW(giftest::PatternPixels(width, height, 16), 4);
    data.resize(data.size() * 2 / 5);
    const Bytes blocks = giftest::SubBlocks(data);
    DecodeResult stored = Decode(blocks, 4, width, height, false, 0xAB);
    DecodeResult placed = Decode(blocks, 4, width, height, true, 0xAB);
    const std::vector<int> order = giftest::StoredRowOrder(height, true);
    for (int i = 0; i < height; ++i)
        EXPECT_TRUE(std::equal(stored.pixels.begin() + i * width,
                               stored.pixels.begin() + (i + 1) * width,
                               placed.pixels.begin() + order[static_cast<size_t>(i)] * width))
            << "stored row " << i;
}

TEST(GIFLZWDecoder, ShortSubBlockWarnsAndUsesWhatIsThere) {
    Bytes pixels = giftest::PatternPixels(20, 20, 4);
    Bytes blocks = giftest::SubBlocks(giftest::EncodeLZW(pixels, 2), 255, false);
    blocks.resize(blocks.size() - 1);  // the last block announces one byte more
    DecodeResult r = Decode(blocks, 2, 20, 20);
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_EQ(r.warnings.front(), "Premature end of data");
}

TEST(GIFLZWDecoder, LongerDataThanThePictureStopsAtTheLastPixel) {
    // Extra codes after the last pixel: no end code follows, so the remaining
    // sub-blocks stay unread.
    Bytes pixels = giftest::PatternPixels(30, 10, 8);
    Bytes data = giftest::EncodeLZW(pixels, 3);
    Bytes blocks = giftest::SubBlocks(data, 255, false);
    blocks.insert(blocks.end(), {2, 0xFF, 0xFF, 0});
    DecodeResult r = Decode(blocks, 3, 30, 5);
    EXPECT_EQ(r.pixels, Bytes(pixels.begin(), pixels.begin() + 150));
    EXPECT_LT(r.endPosition, static_cast<int64_t>(blocks.size()));
}

TEST(GIFLZWDecoder, InterlacedRowsLandInDisplayOrder) {
    const int width = 9, height = 13;
    Bytes pixels = giftest::PatternPixels(width, height, 16);
    Bytes stored;
    for (int y : giftest::StoredRowOrder(height, true))
        stored.insert(stored.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
    DecodeResult r =
        Decode(giftest::SubBlocks(giftest::EncodeLZW(stored, 4)), 4, width, height, true);
    EXPECT_EQ(r.pixels, pixels);
}

TEST(GIFLZWDecoder, CheckOnlyModeReadsTheSameCodes) {
    Bytes pixels = giftest::PatternPixels(40, 30, 16);
    Bytes blocks = giftest::SubBlocks(giftest::EncodeLZW(pixels, 4));
    TReadOnlyMemoryStream stream(blocks.data(), blocks.size());
    TGIFReader reader(stream);
    TGIFWarningSink warn = [](const std::string&) {};
    TGIFLZWDecoder decoder(reader, 4, warn);
    decoder.Decode(nullptr, 40, 30, false, 0);
    decoder.Finish();
    EXPECT_EQ(reader.Position(), static_cast<int64_t>(blocks.size()));
}

}  // namespace
}  // namespace corvane
