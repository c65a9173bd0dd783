// TJPEGImage: the picture class of .JPG files, a thin wrapper around the JPEG
// library (JpegCodec.h). It keeps the file's bytes, decodes them into a
// platform bitmap on first use and draws that; assigned a bitmap, it encodes
// it on save. A picture loaded from a file and saved again writes the same
// bytes.
//
// Decoded pixels: colour files as the library's red, green, blue (accurate
// integer IDCT, fancy upsampling, block smoothing) in a 24-bit bitmap;
// grayscale files as the library's 236-level Floyd-Steinberg dithered gray in
// an 8-bit bitmap. Files whose output would have four components (CMYK, YCCK)
// fail to load with EJPEG.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "picture/Graphics.h"
#include "picture/jpeg/JpegError.h"

namespace corvane {

class TJpegPixelSink;
struct TJpegDecodeOptions;

// Settings every new TJPEGImage starts with; fields in this order.
struct TJPEGDefaults {
    uint8_t Quality = 90;             // encoding quality, 1..100
    bool GrayOutput = false;          // decode and encode as grayscale
    bool FastDecode = false;          // fast IDCT, ordered dither
    bool PaletteOutput = false;       // 236-colour 8-bit output (true-colour screens: off)
    bool IncrementalDisplay = false;  // show each scan of multi-scan files
    bool Progressive = false;         // encode progressive
    uint8_t ScaleShift = 0;           // decode at 1 / 2^ScaleShift, 0..3
    bool BlockSmoothing = true;       // smooth blocks of early progressive scans
};

// The process-wide defaults record.
TJPEGDefaults& JPEGDefaults();

// The bytes of one JPEG file and its frame-header values, shared by copies of
// a picture.
struct TJPEGData {
    std::vector<uint8_t> bytes;  // the complete file; empty when none
    int32_t width = 0;
    int32_t height = 0;
    bool grayscale = false;
};

class TJPEGImage : public TGraphic {
  public:
    TJPEGImage();
    ~TJPEGImage() override;
    TJPEGImage(const TJPEGImage&) = delete;
    TJPEGImage& operator=(const TJPEGImage&) = delete;

    std::string ClassName() const override { return "TJPEGImage"; }

    // The decoded bitmap's size if there is one; else the frame header's at
    // ScaleShift 0, the library's output size for the scale otherwise.
    int32_t Width() const override;
    int32_t Height() const override;
    // EInvalidGraphicOperation "Cannot change the size of a JPEG image".
    void SetWidth(int32_t value) override;
    void SetHeight(int32_t value) override;
    bool Empty() const override;

    // Decodes on first use, then draws the decoded bitmap stretched into
    // rect. Library failures throw EJPEG; a progress listener's EAbort stops
    // decoding silently with the rows done so far.
    // A colour picture not yet decoded and drawn at its own size inside the
    // canvas (the raster's Assign) is decoded straight into the canvas: the
    // same pixels without a second copy of the picture. It keeps no bitmap
    // then, and on failure its rectangle is left all zero.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool DrawsEveryPixelOpaque() const override;

    // Takes every byte from the stream's position to its end ("Stream read
    // error" when fewer arrive) and reads the header of non-empty data
    // (EJPEG on failure: "JPEG error #52" for data that are no JPEG). Drops
    // any decoded bitmap. Zero bytes load as a 0 x 0 picture.
    void LoadFromStream(TStream& stream) override;
    // Writes the JPEG bytes, encoding the decoded bitmap first when there
    // are none (no bitmap, or an empty one: nothing is written).
    void SaveToStream(TStream& stream) override;

    // From a TJPEGImage: shares its data and copies its decoded bitmap. From
    // a TBitmap: empty data and a copy of the bitmap, encoded on save.
    // Others: "Cannot assign a %s to a %s".
    void Assign(const TPersistent* source) override;

    // The decoded bitmap, decoding first when needed.
    TBitmap& Bitmap();
    // Encodes the decoded bitmap when there are no JPEG bytes.
    void JPEGNeeded();
    const TJPEGData& Data() const { return *data_; }
    // The orientation tag of the file's EXIF data (libexif): 1..8, 1 when
    // the file has none or a value outside that range.
    int ExifOrientation() const;
    bool HasBitmap() const { return bitmap_ != nullptr; }

    uint8_t Quality() const { return settings_.Quality; }
    void SetQuality(uint8_t value);
    bool GrayOutput() const { return settings_.GrayOutput; }
    void SetGrayOutput(bool value);
    bool FastDecode() const { return settings_.FastDecode; }
    void SetFastDecode(bool value);
    bool PaletteOutput() const { return settings_.PaletteOutput; }
    void SetPaletteOutput(bool value);
    bool IncrementalDisplay() const { return settings_.IncrementalDisplay; }
    void SetIncrementalDisplay(bool value) { settings_.IncrementalDisplay = value; }
    bool Progressive() const { return settings_.Progressive; }
    void SetProgressive(bool value);
    uint8_t ScaleShift() const { return settings_.ScaleShift; }
    void SetScaleShift(uint8_t value);
    bool BlockSmoothing() const { return settings_.BlockSmoothing; }
    void SetBlockSmoothing(bool value);

  protected:
    // Only to a TBitmap, which receives the decoded bitmap.
    void AssignTo(TPersistent* dest) const override;

  private:
    void Decode();
    // Colour output, not decoded yet: a draw decodes straight into the canvas.
    bool DecodesIntoCanvas() const;
    bool CanDecodeInto(const TCanvas& canvas, const TRect& rect) const;
    void DecodeInto(TCanvas& canvas, const TRect& rect);
    // Runs the decoder into Sink inside the progress bracket; answers false
    // when a listener stopped it with EAbort.
    bool RunDecoder(TJpegPixelSink& sink, const TJpegDecodeOptions& options);
    void Encode();
    // A decode setting changed: the bitmap no longer matches it.
    void DropBitmapIf(bool changed);
    void UpdateScaledSize();
    void ReportProgress(int percent);

    std::shared_ptr<TJPEGData> data_;
    std::unique_ptr<TBitmap> bitmap_;
    int32_t scaledWidth_ = 0;
    int32_t scaledHeight_ = 0;
    TJPEGDefaults settings_;
    int lastPercent_ = -1;
    int64_t lastProgressTime_ = 0;
};

// Adds "jpeg" and "jpg" ("JPEG Image File") to the table of picture file
// extensions; calling it again has no effect.
void RegisterJPEGFormat();

}  // namespace corvane
