// TGIFImage: the picture class of .GIF files (GIF87a and GIF89a).
//
// Loading reads the whole file: header, global colour map, every frame with
// its extensions, local colour map and LZW data. Drawing paints frame 0 only,
// synchronously, over whatever the target already holds: each pixel gets its
// colour-map colour (indices beyond the map paint black), and with
// transparency honoured the pixels of the transparent index leave the target
// unchanged. The background colour and later frames never paint.
//
// Tolerance (warnings go to OnWarning and loading goes on):
//   "Unknown GIF block type", "Invalid extension introducer", "Invalid Image
//   trailer", "Image exceeds Logical Screen size" (a frame width or height of
//   0 takes the logical screen's size), "Premature end of data" (short graphic
//   control block or LZW sub-block), "Decoder bit buffer under-run".
// Failures (GIFException; the stream goes back to where loading began and the
// picture ends empty):
//   "Invalid GIF signature", "Premature end of data", "Unknown extension type",
//   "Unsupported Application Extension block size", "Invalid GIF data",
//   "Circular decoder table entry", "No global or local color table defined"
//   (drawing), an LZW minimum code size above 11, and a logical screen or
//   frame of more than kMaxBitmapPixels pixels (checked before allocating).
//
// Memory: only frame 0 keeps its decoded indices (width x height bytes);
// later frames are decoded just to check them, so a damaged later frame still
// fails the load, but they cost no memory.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "picture/Graphics.h"

namespace corvane {

class TGIFReader;

// Failures of the GIF reader.
class GIFException : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

enum class TGIFSeverity { gsInfo, gsWarning, gsError };
using TGIFWarningEvent =
    std::function<void(TPersistent* sender, TGIFSeverity severity, const std::string& message)>;

struct TGIFColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    bool operator==(const TGIFColor&) const = default;
};

// Up to 256 colours; empty when the file has no such table.
class TGIFColorMap {
  public:
    int Count() const { return static_cast<int>(colors_.size()); }
    const TGIFColor& operator[](int index) const { return colors_[static_cast<size_t>(index)]; }
    void Clear() { colors_.clear(); }
    // Reads 2 shl sizeBits entries of red, green, blue.
    void Load(TGIFReader& reader, int sizeBits);

  private:
    std::vector<TGIFColor> colors_;
};
class TGIFGlobalColorMap : public TGIFColorMap {};
class TGIFLocalColorMap : public TGIFColorMap {};

class TGIFImage;

// Base of the header, frames and extensions; each knows its picture.
class TGIFItem : public TPersistent {
  public:
    explicit TGIFItem(TGIFImage* image) : image_(image) {}
    TGIFImage* Image() const { return image_; }

  private:
    TGIFImage* image_;
};

// Logical screen descriptor and global colour map.
class TGIFHeader : public TGIFItem {
  public:
    using TGIFItem::TGIFItem;
    std::string ClassName() const override { return "TGIFHeader"; }

    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    uint8_t PackedFields() const { return packed_; }
    uint8_t BackgroundColorIndex() const { return background_; }
    uint8_t AspectRatio() const { return aspect_; }
    const TGIFGlobalColorMap& ColorMap() const { return colorMap_; }

    void Clear();
    // Signature (at the start or 4 bytes later), screen descriptor, global map.
    void Load(TGIFReader& reader);

  private:
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint8_t packed_ = 0;
    uint8_t background_ = 0;
    uint8_t aspect_ = 0;
    TGIFGlobalColorMap colorMap_;
};

// ------------------------------------------------------------ extensions

class TGIFExtension : public TGIFItem {
  public:
    using TGIFItem::TGIFItem;
    virtual uint8_t Label() const = 0;
    // Reads the block after the introducer and label.
    virtual void Load(TGIFReader& reader) = 0;
};

class TGIFGraphicControlExtension : public TGIFExtension {
  public:
    static constexpr uint8_t kLabel = 0xF9;
    using TGIFExtension::TGIFExtension;
    std::string ClassName() const override { return "TGIFGraphicControlExtension"; }
    uint8_t Label() const override { return kLabel; }
    void Load(TGIFReader& reader) override;

    int Disposal() const { return (packed_ >> 2) & 7; }
    bool UserInput() const { return (packed_ & 2) != 0; }
    bool Transparent() const { return (packed_ & 1) != 0; }
    uint16_t Delay() const { return delay_; }
    uint8_t TransparentColorIndex() const { return transparentIndex_; }

  private:
    uint8_t packed_ = 0;
    uint16_t delay_ = 0;
    uint8_t transparentIndex_ = 0;
};

// Plain-text extension: its header is kept, the text itself skipped.
class TGIFTextExtension : public TGIFExtension {
  public:
    static constexpr uint8_t kLabel = 0x01;
    using TGIFExtension::TGIFExtension;
    std::string ClassName() const override { return "TGIFTextExtension"; }
    uint8_t Label() const override { return kLabel; }
    void Load(TGIFReader& reader) override;

  private:
    std::array<uint8_t, 13> header_{};
};

class TGIFCommentExtension : public TGIFExtension {
  public:
    static constexpr uint8_t kLabel = 0xFE;
    using TGIFExtension::TGIFExtension;
    std::string ClassName() const override { return "TGIFCommentExtension"; }
    uint8_t Label() const override { return kLabel; }
    void Load(TGIFReader& reader) override;
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

class TGIFApplicationExtension : public TGIFExtension {
  public:
    static constexpr uint8_t kLabel = 0xFF;
    using TGIFExtension::TGIFExtension;
    uint8_t Label() const override { return kLabel; }
    // Identifier (8 characters) and authentication code (up to 3).
    const std::string& Identifier() const { return identifier_; }
    // Reads the block size and identification; the data sub-blocks follow.
    static std::string LoadIdentification(TGIFReader& reader);
    void SetIdentifier(std::string value) { identifier_ = std::move(value); }

  private:
    std::string identifier_;
};

// "NETSCAPE2.0" / "ANIMEXTS1.0": loop count and buffer size.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
  public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    std::string ClassName() const override { return "TGIFAppExtNSLoop"; }
    void Load(TGIFReader& reader) override;
    uint16_t Loops() const { return loops_; }
    uint32_t BufferSize() const { return bufferSize_; }

  private:
    uint16_t loops_ = 0;
    uint32_t bufferSize_ = 0;
};

// Any other application extension; its data sub-blocks are kept as they are.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
  public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    std::string ClassName() const override { return "TGIFUnknownAppExtension"; }
    void Load(TGIFReader& reader) override;
    const std::vector<std::string>& Blocks() const { return blocks_; }

  private:
    std::vector<std::string> blocks_;
};

using TGIFExtensionList = std::vector<std::unique_ptr<TGIFExtension>>;

// ------------------------------------------------------------ frames

class TGIFSubImage : public TGIFItem {
  public:
    using TGIFItem::TGIFItem;
    std::string ClassName() const override { return "TGIFSubImage"; }

    const TGIFExtensionList& Extensions() const { return extensions_; }
    void AddExtension(std::unique_ptr<TGIFExtension> extension);
    const TGIFLocalColorMap& ColorMap() const { return colorMap_; }
    // The local map when it has entries, else the picture's global map.
    const TGIFColorMap& ActiveColorMap() const;

    bool HasImage() const { return hasImage_; }
    uint16_t Left() const { return left_; }
    uint16_t Top() const { return top_; }
    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    bool Interlaced() const { return (packed_ & 0x40) != 0; }
    // The first graphic control extension of the frame, or nullptr.
    const TGIFGraphicControlExtension* GraphicControlExtension() const { return control_; }
    bool Transparent() const { return control_ != nullptr && control_->Transparent(); }
    uint8_t TransparentColorIndex() const {
        return control_ != nullptr ? control_->TransparentColorIndex() : 0;
    }
    // Width x Height indices row by row; empty unless the pixels were kept.
    const std::vector<uint8_t>& Data() const { return data_; }

    // Reads the image descriptor, local map and LZW data. keepPixels false:
    // the data are decoded and checked but not stored.
    void LoadImage(TGIFReader& reader, bool keepPixels);

  private:
    void ReadDescriptor(TGIFReader& reader);
    void DecodePixels(TGIFReader& reader, bool keepPixels);

    TGIFExtensionList extensions_;
    TGIFLocalColorMap colorMap_;
    const TGIFGraphicControlExtension* control_ = nullptr;
    bool hasImage_ = false;
    uint16_t left_ = 0;
    uint16_t top_ = 0;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint8_t packed_ = 0;
    std::vector<uint8_t> data_;
};

using TGIFImageList = std::vector<std::unique_ptr<TGIFSubImage>>;

// ------------------------------------------------------------ picture

// Draw option bits; only doTransparent changes what is painted here (frame 0
// is always painted at once, without animation threads).
enum TGIFDrawOption : uint16_t {
    goAsync = 1 << 0,
    goTransparent = 1 << 1,
    goAnimate = 1 << 2,
    goLoop = 1 << 3,
    goLoopContinously = 1 << 4,
    goValidateCanvas = 1 << 5,
    goDirectDraw = 1 << 6,
    goClearOnLoop = 1 << 7,
    goTile = 1 << 8,
    goDither = 1 << 9,
    goAutoDither = 1 << 10,
};
inline constexpr uint16_t kGIFDefaultDrawOptions = 0x060F;

class TGIFImage : public TGraphic {
  public:
    TGIFWarningEvent OnWarning;

    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    std::string ClassName() const override { return "TGIFImage"; }

    // The logical screen's size.
    int32_t Width() const override { return header_.Width(); }
    int32_t Height() const override { return header_.Height(); }
    // True when there are no frames.
    bool Empty() const override { return images_.empty(); }

    // Clears the picture and reads a GIF from the stream's position. On
    // failure: the stream position is restored, the picture is empty and the
    // exception propagates.
    void LoadFromStream(TStream& stream) override;
    // Writing GIF files is not supported: EInvalidGraphicOperation.
    void SaveToStream(TStream& stream) override;

    // Paints frame 0 into rect (the logical screen mapped onto rect).
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // Frame 0 covers the logical screen with pixels and no transparent index
    // to honour.
    bool DrawsEveryPixelOpaque() const override;

    const TGIFHeader& Header() const { return header_; }
    const TGIFImageList& Images() const { return images_; }
    uint16_t DrawOptions() const { return drawOptions_; }
    void SetDrawOptions(uint16_t value) { drawOptions_ = value; }
    // Largest logical screen or frame (width x height) a load accepts;
    // kMaxBitmapPixels unless lowered (the fuzzer lowers it to stay fast).
    int64_t MaxPixels() const { return maxPixels_; }
    void SetMaxPixels(int64_t value) { maxPixels_ = value; }
    // Throws the size failure when width x height exceeds MaxPixels.
    void CheckPixelCount(const char* what, uint32_t width, uint32_t height) const;

    // Reports a non-fatal finding through OnWarning.
    void Warning(TGIFSeverity severity, const std::string& message);

  private:
    void Clear();
    void ReadFrames(TGIFReader& reader);
    void ReadFrame(TGIFReader& reader);
    void ReadTrailer(TGIFReader& reader);
    void DrawFrame(const TGIFSubImage& frame, TCanvas& canvas, const TRect& rect);

    TGIFHeader header_;
    TGIFImageList images_;
    uint16_t drawOptions_ = kGIFDefaultDrawOptions;
    int64_t maxPixels_ = kMaxBitmapPixels;
    bool drawing_ = false;
};

// Windows-style MulDiv: a * b / c rounded half away from zero, -1 when c is 0
// or the result does not fit.
int32_t GIFMulDiv(int32_t a, int32_t b, int32_t c);

// Adds the "GIF" / "GIF Image" row to TFileFormatsList (once per process).
void RegisterGIFFormat();

}  // namespace corvane
