// TGIFImage: loading whole files, tolerance and failures, painting frame 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GIFTestEncoder.h"
#include "picture/Bitmap32.h"
#include "picture/gif/GIFImage.h"

namespace corvane {
namespace {

using giftest::Builder;
using giftest::Bytes;
using giftest::Frame;
using giftest::RGB;

TColor32 Opaque(const RGB& c) {
    return 0xFF000000 | (TColor32{c.r} << 16) | (TColor32{c.g} << 8) | c.b;
}
constexpr TColor32 kBlack = 0xFF000000;

class GIFImageTest : public testing::Test {
  protected:
    // Loads bytes; warnings are collected.
    void Load(const Bytes& bytes) {
        TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        gif.OnWarning = [this](TPersistent*, TGIFSeverity, const std::string& m) {
            warnings.push_back(m);
        };
        gif.LoadFromStream(stream);
    }
    // Loads and fills the raster as the picture loader does.
    void LoadIntoRaster(const Bytes& bytes) {
        Load(bytes);
        raster.Assign(&gif);
    }
    std::string LoadFailure(const Bytes& bytes) {
        try {
            LoadIntoRaster(bytes);
        } catch (const GIFException& e) {
            return e.what();
        }
        return "(loaded)";
    }
    bool Warned(const std::string& message) const {
        return std::find(warnings.begin(), warnings.end(), message) != warnings.end();
    }
    void ExpectRasterShows(const Frame& f, const std::vector<RGB>& map) {
        ASSERT_FALSE(raster.Empty());
        for (int y = 0; y < raster.Height(); ++y)
            for (int x = 0; x < raster.Width(); ++x) {
                TColor32 want = kBlack;
                const int fx = x - f.left, fy = y - f.top;
                if (fx >= 0 && fy >= 0 && fx < f.width && fy < f.height) {
                    const uint8_t index = f.pixels[static_cast<size_t>(fy * f.width + fx)];
                    if (!(f.transparentIndex && *f.transparentIndex == index) && index < map.size())
                        want = Opaque(map[index]);
                }
                ASSERT_EQ(raster.GetPixel(x, y), want) << "at " << x << "," << y;
            }
    }
    static Frame MakeFrame(int w, int h, int colours, int left = 0, int top = 0) {
        Frame f;
        f.left = left;
        f.top = top;
        f.width = w;
        f.height = h;
        f.pixels = giftest::PatternPixels(w, h, colours, static_cast<uint32_t>(w * 31 + h));
        f.minCodeSize = 2;
        while ((1 << f.minCodeSize) < colours) ++f.minCodeSize;
        return f;
    }

    TGIFImage gif;
    TBitmap32 raster;
    std::vector<std::string> warnings;
};

// ------------------------------------------------------------ painting

TEST_F(GIFImageTest, SingleFramePaintsEachIndexInItsColour) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(10, 10, 4);
    LoadIntoRaster(giftest::SingleFrameGIF(10, 10, map, f));
    EXPECT_EQ(raster.Width(), 10);
    EXPECT_EQ(raster.Height(), 10);
    ExpectRasterShows(f, map);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(GIFImageTest, FramesInVariousShapes) {
    struct Case {
        const char* name;
        int screenW, screenH, colours;
        Frame frame;
    };
    Frame interlaced = MakeFrame(37, 29, 16);
    interlaced.interlaced = true;
    Frame transparent = MakeFrame(10, 10, 4);
    transparent.transparentIndex = 0;
    Frame transparentHigh = MakeFrame(20, 9, 8);
    transparentHigh.transparentIndex = 5;
    Frame local = MakeFrame(8, 8, 4);
    local.localMap = giftest::Palette(8);
    const Case cases[] = {
        {"Offset", 10, 10, 4, MakeFrame(5, 5, 4, 2, 2)},
        {"Interlaced", 37, 29, 16, interlaced},
        {"TransparentIndex0", 10, 10, 4, transparent},
        {"TransparentIndex5", 20, 9, 8, transparentHigh},
        {"PastTheScreenIsClipped", 12, 12, 16, MakeFrame(10, 10, 16, 6, 7)},
        {"WiderThanByteRows", 300, 3, 256, MakeFrame(300, 3, 256)},
        {"IndexBeyondMapPaintsBlack", 6, 6, 4, MakeFrame(6, 6, 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gif.OnWarning = nullptr;
        // Left-over pixels of another size: whatever the frame does not
        // cover must still read black.
        raster.SetSize(c.screenW + 1, c.screenH);
        raster.FillAll(0x12345678);
        auto map = giftest::Palette(c.colours);
        LoadIntoRaster(giftest::SingleFrameGIF(c.screenW, c.screenH, map, c.frame));
        EXPECT_EQ(raster.Width(), c.screenW);
        ExpectRasterShows(c.frame, c.frame.localMap.empty() ? map : c.frame.localMap);
    }
}

TEST_F(GIFImageTest, AnimationShowsFrameZeroOnly) {
    auto map = giftest::Palette(4);
    Frame first = MakeFrame(6, 4, 4, 1, 1);
    Frame second = MakeFrame(8, 8, 4);
    Bytes bytes = Builder()
                      .Header(8, 8, map)
                      .NetscapeLoop(0)
                      .GraphicControl(std::nullopt, 10)
                      .Image(first)
                      .GraphicControl(1, 10)
                      .Image(second)
                      .Trailer()
                      .Data();
    LoadIntoRaster(bytes);
    EXPECT_EQ(gif.Images().size(), 2u);
    ExpectRasterShows(first, map);
}

TEST_F(GIFImageTest, TransparentFillCoversPixelsTheDataDoNotReach) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(16, 16, 4);
    f.transparentIndex = 3;
    Bytes bytes = giftest::SingleFrameGIF(16, 16, map, f);
    bytes.resize(bytes.size() / 2);
    LoadIntoRaster(bytes);
    EXPECT_EQ(raster.GetPixel(0, 0),
              Opaque(map[f.pixels[0]]) == Opaque(map[3]) ? kBlack : Opaque(map[f.pixels[0]]));
    EXPECT_EQ(raster.GetPixel(15, 15), kBlack);
    EXPECT_TRUE(Warned("Decoder bit buffer under-run") || Warned("Premature end of data"));
}

TEST_F(GIFImageTest, TruncatedDataLoadsWithIndexZeroForMissingPixels) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(16, 16, 4);
    Bytes bytes = giftest::SingleFrameGIF(16, 16, map, f);
    bytes.resize(bytes.size() - 20);
    LoadIntoRaster(bytes);
    EXPECT_EQ(raster.GetPixel(15, 15), Opaque(map[0]));
}

TEST_F(GIFImageTest, TransparencyCanBeSwitchedOff) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(5, 5, 4);
    f.transparentIndex = 1;
    Load(giftest::SingleFrameGIF(5, 5, map, f));
    gif.SetDrawOptions(gif.DrawOptions() & ~goTransparent);
    raster.Assign(&gif);
    f.transparentIndex.reset();
    ExpectRasterShows(f, map);
}

TEST_F(GIFImageTest, EmptyScreenGivesEmptyRaster) {
    Frame f = MakeFrame(4, 4, 4);
    LoadIntoRaster(giftest::SingleFrameGIF(0, 0, giftest::Palette(4), f));
    EXPECT_FALSE(gif.Empty());
    EXPECT_TRUE(raster.Empty());
}

TEST_F(GIFImageTest, ZeroFrameSizeTakesTheScreenSize) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(7, 5, 4);
    Builder b;
    b.Header(7, 5, map);
    Frame zero = f;
    zero.width = 0;
    b.Descriptor(zero).Append({2}).Append(giftest::SubBlocks(giftest::EncodeLZW(f.pixels, 2)));
    LoadIntoRaster(b.Trailer().Data());
    EXPECT_TRUE(Warned("Image exceeds Logical Screen size"));
    EXPECT_EQ(gif.Images()[0]->Width(), 7);
    ExpectRasterShows(f, map);
}

TEST_F(GIFImageTest, StretchedDrawIsNearestNeighbourAndKeepsTransparency) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(4, 3, 4);
    f.transparentIndex = f.pixels[0];
    Load(giftest::SingleFrameGIF(4, 3, map, f));
    TBitmap32 big;
    big.SetSize(8, 6);
    big.FillAll(0x12345678);
    TCanvas canvas(big);
    gif.Draw(canvas, TRect{0, 0, 8, 6});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint8_t index = f.pixels[static_cast<size_t>((y / 2) * 4 + x / 2)];
            const TColor32 got = big.GetPixel(x, y);
            if (index == f.pixels[0])
                EXPECT_EQ(got, 0x12345678u);
            else
                EXPECT_EQ(got & 0xFFFFFF, Opaque(map[index]) & 0xFFFFFF);
        }
}

// ------------------------------------------------------------ signature

TEST_F(GIFImageTest, SignatureForms) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(3, 3, 4);
    for (const char* signature : {"GIF89a", "GIF87a", "gif89a", "GiFxyz"}) {
        SCOPED_TRACE(signature);
        Load(Builder().Header(3, 3, map, signature).Image(f).Trailer().Data());
        EXPECT_EQ(gif.Width(), 3);
    }
    Bytes shifted = {'x', 'y', 'z', 'w'};
    Bytes plain = giftest::SingleFrameGIF(3, 3, map, f);
    shifted.insert(shifted.end(), plain.begin(), plain.end());
    Load(shifted);
    EXPECT_EQ(gif.Images().size(), 1u);
    Bytes twice = {'x', 'y', 'z', 'w', 'v', 'u', 'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_EQ(LoadFailure(twice), "Invalid GIF signature");
    EXPECT_EQ(LoadFailure(Bytes{'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7}), "Invalid GIF signature");
}

// ------------------------------------------------------------ failures

Bytes WithTail(const Bytes& head, const Bytes& tail) {
    Bytes out = head;
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST_F(GIFImageTest, FailuresNameTheirCause) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(4, 4, 4);
    const Bytes header = Builder().Header(4, 4, map).Data();
    const Bytes good = giftest::SingleFrameGIF(4, 4, map, f);
    Frame bigCode = f;
    bigCode.minCodeSize = 12;
    Bytes badLater = Builder().Header(4, 4, map).Image(f).Data();
    {
        giftest::CodeWriter w;
        for (uint32_t code : {4u, 7u}) w.Put(code, 3);
        Bytes blocks = giftest::SubBlocks(w.Finish());
        badLater =
            Builder().Append(badLater).Descriptor(f).Append({2}).Append(blocks).Trailer().Data();
    }
    struct Case {
        const char* name;
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {"ShortHeader", Bytes{'G', 'I', 'F', '8'}, "Premature end of data"},
        {"ShortScreen", Bytes(header.begin(), header.begin() + 9), "Premature end of data"},
        {"ShortGlobalMap", Bytes(header.begin(), header.end() - 1), "Premature end of data"},
        {"ShortDescriptor", WithTail(header, {',', 0, 0, 0}), "Premature end of data"},
        {"ShortComment", WithTail(header, {'!', 0xFE, 5, 'a', 'b'}), "Premature end of data"},
        {"CommentWithoutEnd", WithTail(header, {'!', 0xFE, 1, 'a'}), "Premature end of data"},
        {"LabelMissing", WithTail(header, {'!'}), "Premature end of data"},
        {"ShortTextHeader", WithTail(header, {'!', 0x01, 12, 0, 0}), "Premature end of data"},
        {"UnknownLabel", WithTail(header, {'!', 0xF8, 0}), "Unknown extension type"},
        {"SmallAppBlock", WithTail(header, {'!', 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}),
         "Unsupported Application Extension block size"},
        {"ShortLoopBlock",
         WithTail(header, {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2,
                           1, 0, 0}),
         "Invalid GIF data"},
        {"ShortBufferBlock", WithTail(header, {'!', 0xFF, 11,  'A', 'N', 'I', 'M', 'E', 'X', 'T',
                                               'S', '1',  '.', '0', 4,   2,   0,   0,   0,   0}),
         "Invalid GIF data"},
        {"CodeSizeTwelve", Builder().Header(4, 4, map).Image(bigCode).Trailer().Data(),
         "Invalid LZW minimum code size 12 (at most 11)"},
        {"HugeScreen", Builder().Header(65535, 65535, map).Image(f).Trailer().Data(),
         "GIF logical screen of 65535 x 65535 pixels exceeds the limit of 268435456 pixels"},
        {"HugeFrame", WithTail(header, {',', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0}),
         "GIF frame of 65535 x 65535 pixels exceeds the limit of 268435456 pixels"},
        {"DamagedLaterFrame", badLater, "Circular decoder table entry"},
        {"NoColourTable", Builder().Header(4, 4).Image(f).Trailer().Data(),
         "No global or local color table defined"},
        {"Good", good, "(loaded)"},
    };
    for (const Case& c : cases) EXPECT_EQ(LoadFailure(c.bytes), c.message) << c.name;
}

TEST_F(GIFImageTest, FailedLoadRestoresTheStreamAndEmptiesThePicture) {
    auto map = giftest::Palette(4);
    Load(giftest::SingleFrameGIF(4, 4, map, MakeFrame(4, 4, 4)));
    Bytes bad = {0, 0, 'G', 'I', 'F', '8', '9', 'a', 1};
    TReadOnlyMemoryStream stream(bad.data(), bad.size());
    stream.SetPosition(2);
    EXPECT_THROW(gif.LoadFromStream(stream), GIFException);
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_TRUE(gif.Empty());
    EXPECT_EQ(gif.Width(), 0);
}

// ------------------------------------------------------------ tolerance

TEST_F(GIFImageTest, ToleratedDamageWarnsAndKeepsFrameZero) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(6, 6, 4);
    const Bytes good = giftest::SingleFrameGIF(6, 6, map, f);
    const Bytes noTrailer(good.begin(), good.end() - 1);
    struct Case {
        const char* name;
        Bytes bytes;
        std::string warning;
    };
    const Case cases[] = {
        {"UnknownBlock", WithTail(noTrailer, {'X', 1, 2, 3}), "Unknown GIF block type"},
        {"BadTrailer", WithTail(noTrailer, {'X'}), "Invalid Image trailer"},
        {"ShortGraphicControl", WithTail(noTrailer, {'!', 0xF9, 4, 1}), "Premature end of data"},
        {"StrayByteBeforeFrame", WithTail(noTrailer, {'!', 0xFE, 0, 0, ';'}),
         "Invalid extension introducer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        warnings.clear();
        LoadIntoRaster(c.bytes);
        EXPECT_TRUE(Warned(c.warning));
        ExpectRasterShows(f, map);
    }
}

TEST_F(GIFImageTest, ExtensionsAreKeptInTheirFrames) {
    auto map = giftest::Palette(4);
    Frame f = MakeFrame(3, 3, 4);
    Load(Builder()
             .Header(3, 3, map)
             .Comment("hello")
             .NetscapeLoop(5)
             .GraphicControl(2)
             .GraphicControl(std::nullopt)
             .Image(f)
             .Trailer()
             .Data());
    const auto& frame = *gif.Images()[0];
    ASSERT_EQ(frame.Extensions().size(), 4u);
    EXPECT_EQ(static_cast<const TGIFCommentExtension&>(*frame.Extensions()[0]).Text(), "hello");
    EXPECT_EQ(static_cast<const TGIFAppExtNSLoop&>(*frame.Extensions()[1]).Loops(), 5);
    EXPECT_TRUE(frame.Transparent());  // the first control block counts
    EXPECT_EQ(frame.TransparentColorIndex(), 2);
}

// ------------------------------------------------------------ registration

TEST(GIFFormat, RegistersUnderGIF) {
    RegisterGIFFormat();
    RegisterGIFFormat();
    const TFileFormat* row = TFileFormatsList::Instance().FindExt("gif");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->description, "GIF Image");
    EXPECT_EQ(row->className, "TGIFImage");
    EXPECT_EQ(row->create()->ClassName(), "TGIFImage");
    int rows = 0;
    for (const TFileFormat& r : TFileFormatsList::Instance().Rows()) rows += r.extension == "gif";
    EXPECT_EQ(rows, 1);
}

TEST(GIFMulDiv, RoundsHalfAwayFromZero) {
    EXPECT_EQ(GIFMulDiv(5, 10, 10), 5);
    EXPECT_EQ(GIFMulDiv(1, 3, 2), 2);
    EXPECT_EQ(GIFMulDiv(-1, 3, 2), -2);
    EXPECT_EQ(GIFMulDiv(7, 1, 0), -1);
}

}  // namespace
}  // namespace corvane
