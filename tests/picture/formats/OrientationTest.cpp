// Turning pictures upright by their EXIF orientation, and only when asked.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <cstdio>

#include <random>

#include "TempDir.h"
#include "picture/loader/Orientation.h"
#include "picture/loader/PictureLoader.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

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

// A "photo" of 8 x 8 cells of one colour each: a JPEG of it at quality 100
// without chroma subsampling decodes every cell exactly, whichever way the
// picture was turned before it was saved.
void MakeCellPhoto(TBitmap32& photo, int32_t width, int32_t height) {
    std::mt19937 random(21);
    photo.SetSize(width, height);
    for (int32_t cy = 0; cy < height; cy += 8)
        for (int32_t cx = 0; cx < width; cx += 8) {
            const TColor32 colour = 0xFF000000u | (random() & 0xFFFFFFu);
            for (int32_t y = cy; y < cy + 8; ++y)
                for (int32_t x = cx; x < cx + 8; ++x) photo.SetPixel(x, y, colour);
        }
}

// An APP1 segment holding only the orientation tag (little-endian TIFF).
std::vector<uint8_t> ExifWithOrientation(int orientation) {
    return {'E', 'x',  'i',  'f',  0,
            0,   'I',  'I',  0x2A, 0,
            8,   0,    0,    0,    1,
            0,   0x12, 0x01, 3,    0,
            1,   0,    0,    0,    static_cast<uint8_t>(orientation),
            0,   0,    0,    0,    0,
            0,   0};
}

std::vector<uint8_t> EncodeJpeg444(const TBitmap32& raster, int orientation) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(raster.Width());
    cinfo.image_height = static_cast<JDIMENSION>(raster.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    for (int c = 0; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    const std::vector<uint8_t> exif = ExifWithOrientation(orientation);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    std::vector<uint8_t> row(static_cast<size_t>(raster.Width()) * 3);
    for (int32_t y = 0; y < raster.Height(); ++y) {
        for (int32_t x = 0; x < raster.Width(); ++x) {
            const TColor32 p = raster.GetPixel(x, y);
            row[3 * x] = p >> 16 & 0xFF;
            row[3 * x + 1] = p >> 8 & 0xFF;
            row[3 * x + 2] = p & 0xFF;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// The orientation that undoes another: 6 and 8 undo each other, the rest
// undo themselves.
int Inverse(int orientation) {
    return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
}

class OrientationTest : public testing::TempDirTest {
  protected:
    void Load(const std::string& file, bool apply, TBitmap32& raster) {
        bool loaded = false;
        TLoadOptions options;
        options.ApplyOrientation = apply;
        LoadPictureFile(controls_, file, false, loaded, raster, options);
        EXPECT_TRUE(loaded);
    }
    TQuietControls controls_;
};

TEST_F(OrientationTest, EightTaggedCopiesOfOnePhotoGiveOneSignatureWithTheOption) {
    TBitmap32 upright;
    MakeCellPhoto(upright, 64, 48);
    std::string signatureOfUpright;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        // Stored as a camera held that way would store it.
        TBitmap32 stored;
        stored.Assign(&upright);
        OrientRaster(stored, Inverse(orientation));
        const std::string file =
            Write("o" + std::to_string(orientation) + ".jpg", EncodeJpeg444(stored, orientation));
        TBitmap32 turned;
        Load(file, true, turned);
        ASSERT_EQ(turned.Width(), 64) << orientation;
        ASSERT_EQ(turned.Height(), 48) << orientation;
        const std::string signature = SignatureToString(ComputeSignature(turned));
        if (orientation == 1) signatureOfUpright = signature;
        EXPECT_EQ(signature, signatureOfUpright) << orientation;

        // Without the option the picture stays as stored.
        TBitmap32 asStored;
        Load(file, false, asStored);
        EXPECT_EQ(asStored.Width(), orientation >= 5 ? 48 : 64) << orientation;
        if (orientation > 1) {
            EXPECT_NE(SignatureToString(ComputeSignature(asStored)), signatureOfUpright)
                << orientation;
        }
    }
}

TEST(OrientRaster, TurnsAndMirrorsAsAViewerDoes) {
    // 2 x 3 picture with pixel values 1..6, row by row.
    TBitmap32 raster;
    raster.SetSize(2, 3);
    for (int32_t i = 0; i < 6; ++i) raster.SetPixel(i % 2, i / 2, static_cast<TColor32>(i + 1));
    const struct {
        int orientation;
        int32_t width;
        std::vector<TColor32> pixels;
    } cases[] = {
        {1, 2, {1, 2, 3, 4, 5, 6}}, {2, 2, {2, 1, 4, 3, 6, 5}}, {3, 2, {6, 5, 4, 3, 2, 1}},
        {4, 2, {5, 6, 3, 4, 1, 2}}, {5, 3, {1, 3, 5, 2, 4, 6}}, {6, 3, {5, 3, 1, 6, 4, 2}},
        {7, 3, {6, 4, 2, 5, 3, 1}}, {8, 3, {2, 4, 6, 1, 3, 5}}, {9, 2, {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        TBitmap32 turned;
        turned.Assign(&raster);
        OrientRaster(turned, c.orientation);
        ASSERT_EQ(turned.Width(), c.width) << c.orientation;
        std::vector<TColor32> pixels(turned.Bits(), turned.Bits() + 6);
        EXPECT_EQ(pixels, c.pixels) << c.orientation;
    }
}

}  // namespace
}  // namespace corvane
