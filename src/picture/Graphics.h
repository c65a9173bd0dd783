// API-READY
// Picture classes: streams, the drawing surface, the platform bitmap, the
// picture container and its table of file extensions.
//
// Pixel conventions:
// - TCanvas is a 32-bit surface (TColor32, bytes blue, green, red, alpha)
//   with rows top-down; drawing never writes outside it (clipped).
// - TBitmap keeps a top-down buffer whose rows are padded to 4 bytes, in the
//   file's own pixel format: 1, 4, 8 bits with a colour table, 16 bits
//   (5-5-5 or bit fields), 24 bits (blue, green, red), 32 bits (blue, green,
//   red, unused). A new or resized bitmap holds zero bytes.
// - TBitmap::Draw is a nearest-neighbour stretch of the whole bitmap into a
//   rectangle (each target pixel takes one source pixel, no blending); a
//   rectangle of the bitmap's own size is a 1:1 copy. Palette indices beyond
//   the colour table draw black.
//
// Picture modules (JPEG, GIF) register their extensions with explicit calls
// to TFileFormatsList::Instance().Add (static libraries drop static
// initialisers); registering the same row twice has no effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "picture/Bitmap32.h"
#include "picture/Rect.h"

namespace corvane {

// ---------------------------------------------------------------- failures

// A picture that cannot be read, made or drawn.
class EInvalidGraphic : public Exception {
  public:
    using Exception::Exception;
};

// An operation a picture class does not support (e.g. resizing a JPEG).
class EInvalidGraphicOperation : public Exception {
  public:
    using Exception::Exception;
};

// Stream failures: "Stream read error", "Stream write error",
// "Cannot open file %s", "Cannot create file %s".
class EStreamError : public Exception {
  public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// Silent cancellation (a progress listener may raise it).
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
};

// Largest raster any decoder may ask for; larger claims fail before
// allocating.
inline constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;

// ----------------------------------------------------------------- streams

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Byte stream with a position. Read/Write move as many bytes as they can and
// answer the count; ReadBuffer/WriteBuffer insist on all of them.
class TStream {
  public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Answers the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t value) { Seek(value, TSeekOrigin::soBeginning); }
    // Bytes from the position to the end (0 when past the end).
    int64_t Remaining();

    // Throws EReadError "Stream read error" when fewer bytes arrive.
    void ReadBuffer(void* buffer, int64_t count);
    // Throws EWriteError "Stream write error" when fewer bytes are taken.
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's position (count 0: the whole source
    // from its start); answers the count.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// Read-only view over bytes owned by someone else.
class TReadOnlyMemoryStream : public TStream {
  public:
    TReadOnlyMemoryStream(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(static_cast<int64_t>(size)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }

  private:
    const uint8_t* data_;
    int64_t size_;
    int64_t position_ = 0;
};

// Growable in-memory stream owning its bytes.
class TMemoryStream : public TStream {
  public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
    // Truncates or extends with zero bytes; the position stays.
    void SetSize(int64_t newSize);
    void Clear();
    uint8_t* Memory() { return bytes_.data(); }
    const uint8_t* Memory() const { return bytes_.data(); }
    // Whole file into memory ("Cannot open file %s"), position 0.
    void LoadFromFile(const std::string& fileName);
    // Writes all bytes ("Cannot create file %s").
    void SaveToFile(const std::string& fileName) const;

  private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};

// File stream. fmOpenRead opens an existing regular file for reading
// (failure: EFOpenError "Cannot open file %s"); fmCreate creates or
// truncates it for writing (failure: EFCreateError "Cannot create file %s").
class TFileStream : public TStream {
  public:
    enum TMode { fmOpenRead, fmCreate };
    TFileStream(const std::string& fileName, TMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;

  private:
    int fd_ = -1;
};

// -------------------------------------------------------------- geometry

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return TRect{left, top, right, bottom};
}

// ---------------------------------------------------------------- canvas

class TGraphic;

// Drawing surface over a 32-bit, top-down pixel area owned by someone else
// (a raster or a 32-bit TBitmap). A cheap view: copy it freely, but it must
// not outlive the pixels.
class TCanvas {
  public:
    // stridePixels: distance between rows in pixels (>= width).
    TCanvas(TColor32* bits, int32_t width, int32_t height, ptrdiff_t stridePixels);
    // Over the raster's current buffer (an empty raster gives a 0 x 0 canvas).
    explicit TCanvas(TBitmap32& raster);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TRect ClipRect() const { return TRect{0, 0, width_, height_}; }
    ptrdiff_t StridePixels() const { return stride_; }
    // Row y, 0 <= y < Height.
    TColor32* ScanLine(int32_t y) { return bits_ + y * stride_; }
    const TColor32* ScanLine(int32_t y) const { return bits_ + y * stride_; }
    // Checked pixel access: outside reads 0 and writes nothing.
    TColor32 Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor32 value);
    // Fills the part of rect inside the surface.
    void FillRect(const TRect& rect, TColor32 value);

    // The graphic draws itself stretched into rect.
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    // The graphic draws itself at its own size with its top-left at (x, y).
    void Draw(int32_t x, int32_t y, TGraphic& graphic);

  private:
    TColor32* bits_;
    int32_t width_;
    int32_t height_;
    ptrdiff_t stride_;
};

// ---------------------------------------------------------------- graphic

enum class TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent =
    std::function<void(TPersistent* sender, TProgressStage stage, uint8_t percentDone,
                       bool redrawNow, const TRect& rect, const std::string& message)>;

// Base of all picture classes.
class TGraphic : public TPersistent {
  public:
    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Default: ignored. Classes that cannot resize throw
    // EInvalidGraphicOperation.
    virtual void SetWidth(int32_t value);
    virtual void SetHeight(int32_t value);
    virtual bool Empty() const = 0;
    // Draws the whole picture stretched into rect of the canvas (clipped to
    // the canvas). May decode on first use, hence not const.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    // True when Draw into a rectangle of the picture's own size at the
    // top-left of a 32-bit canvas that holds it writes, when it returns
    // normally, every pixel of the rectangle with an opaque alpha.
    virtual bool DrawsEveryPixelOpaque() const { return false; }

    // Opens the file for reading ("Cannot open file %s") and calls
    // LoadFromStream.
    virtual void LoadFromFile(const std::string& fileName);
    // Creates or truncates the file ("Cannot create file %s") and calls
    // SaveToStream.
    virtual void SaveToFile(const std::string& fileName);
    // Reads from the stream's position to its end.
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;

    virtual bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);
    bool Modified() const { return modified_; }
    void SetModified(bool value);
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }

    // Marks the picture modified and fires OnChange.
    virtual void Changed();

  protected:
    // Fires OnProgress when someone listens.
    void Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow, const TRect& rect,
                  const std::string& message);

  private:
    bool transparent_ = false;
    bool modified_ = false;
    bool paletteModified_ = false;
};

// --------------------------------------------------------------- bitmap

enum class TPixelFormat {
    pfDevice,  // never reported; kept for callers that name it
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,  // 16 bits, 5-5-5
    pf16bit,  // 16 bits, 5-6-5
    pf24bit,
    pf32bit,
    pfCustom  // 16 or 32 bits with other bit-field masks
};

enum class THandleType { bmDIB, bmDDB };

// One colour-table entry in file order.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};

// The platform bitmap. Copies are deep (Assign).
class TBitmap : public TGraphic {
  public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    std::string ClassName() const override { return "TBitmap"; }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    void SetWidth(int32_t value) override { SetSize(value, height_); }
    void SetHeight(int32_t value) override { SetSize(width_, value); }
    // Sizes below 1 count as 0. A changed size gives an all-zero buffer and
    // fires OnChange. More than kMaxBitmapPixels: EInvalidGraphic, nothing
    // changes; an allocation failure: EOutOfResources.
    void SetSize(int32_t width, int32_t height);
    bool Empty() const override { return width_ == 0 || height_ == 0; }

    // Current format; a new bitmap is pf24bit.
    TPixelFormat PixelFormat() const;
    // Converts the pixels to the format (to a paletted format through the
    // nearest colour of the colour table, a default table when there is
    // none). pfDevice means pf32bit; pfCustom is refused.
    void SetPixelFormat(TPixelFormat value);
    int32_t BitCount() const { return bitCount_; }
    // Bit-field masks of 16- and 32-bit pixels (5-5-5 and 8-8-8 by default).
    uint32_t RedMask() const { return masks_[0]; }
    uint32_t GreenMask() const { return masks_[1]; }
    uint32_t BlueMask() const { return masks_[2]; }
    THandleType HandleType() const { return handleType_; }
    void SetHandleType(THandleType value) { handleType_ = value; }

    // Row y (0 = top), RowBytes() long; rows lie RowBytes() apart, top row
    // first. Callers keep 0 <= y < Height.
    uint8_t* ScanLine(int32_t y) { return bits_.get() + static_cast<ptrdiff_t>(y) * rowBytes_; }
    const uint8_t* ScanLine(int32_t y) const {
        return bits_.get() + static_cast<ptrdiff_t>(y) * rowBytes_;
    }
    // Bytes per row, padded to a multiple of 4.
    ptrdiff_t RowBytes() const { return rowBytes_; }

    // Colour table (at most 256 entries); used by 1-, 4- and 8-bit pixels.
    const std::vector<TRGBQuad>& ColorTable() const { return colorTable_; }
    void SetColorTable(std::vector<TRGBQuad> table);

    // The bitmap's colour at (x, y) as 0x00RRGGBB (alpha 0).
    TColor32 PixelColor(int32_t x, int32_t y) const;

    // A 32-bit drawing surface over this bitmap's pixels. Needs pf32bit
    // (else EInvalidGraphicOperation); valid until the size or format
    // changes.
    TCanvas Canvas();

    // Nearest-neighbour stretch of the whole bitmap into rect; a transparent
    // bitmap skips the pixels of its TransparentColor.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // As Draw, but pixels whose bit is set in mask (a pf1bit bitmap of this
    // bitmap's size) leave the target unchanged.
    void DrawMasked(TCanvas& canvas, const TRect& rect, const TBitmap& mask) const;
    // 1:1 copy of the whole bitmap with its top-left at (x, y), clipped to
    // the canvas; transparency does not apply.
    void CopyToCanvas(TCanvas& canvas, int32_t x, int32_t y) const;
    // Transparent colour as 0x00RRGGBB; default: the bottom-left pixel.
    TColor32 TransparentColor() const;
    void SetTransparentColor(TColor32 color);

    // BMP file reader: everything from the stream's position to its end.
    // Zero bytes: the bitmap becomes empty. Failures: EReadError "Stream read
    // error", EInvalidGraphic "Bitmap image is not valid" and the size and
    // header messages; on failure the bitmap keeps what it held.
    void LoadFromStream(TStream& stream) override;
    // After LoadFromStream: every pixel byte the header declares was there
    // and was read from the data offset the file header gives (false for an
    // empty stream). What the loader decodes does not depend on it.
    bool PixelsComplete() const { return pixelsComplete_; }
    // Writes a BMP file (40-byte header, bottom row first); an empty bitmap
    // writes nothing.
    void SaveToStream(TStream& stream) override;

    // From another TBitmap (deep copy) or nullptr (empty); others through
    // their AssignTo.
    void Assign(const TPersistent* source) override;

  private:
    friend class TBitmapReader;
    // Releases a pixel buffer from AllocatePixels.
    struct TFreeDeleter {
        TFreeDeleter() noexcept : mappedBytes(0) {}
        explicit TFreeDeleter(size_t mapped) noexcept : mappedBytes(mapped) {}
        void operator()(uint8_t* p) const;
        size_t mappedBytes;  // 0: from calloc
    };
    // An all-zero buffer (nullptr when the memory cannot be had).
    static std::unique_ptr<uint8_t, TFreeDeleter> AllocatePixels(size_t bytes);
    // Swaps the whole image (pixels, size, format, table) with other.
    void SwapImage(TBitmap& other);
    void ConvertPixelsInto(TBitmap& target) const;
    // Draw and DrawMasked; mask may be nullptr.
    void StretchInto(TCanvas& canvas, const TRect& rect, const TBitmap* mask,
                     bool honourTransparency) const;
    std::unique_ptr<uint8_t, TFreeDeleter> bits_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bitCount_ = 24;
    bool pixelsComplete_ = false;
    ptrdiff_t rowBytes_ = 0;
    uint32_t masks_[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    std::vector<TRGBQuad> colorTable_;
    THandleType handleType_ = THandleType::bmDIB;
    bool transparentColorSet_ = false;
    TColor32 transparentColor_ = 0;
};

// Out of memory or another resource: "Out of system resources".
class EOutOfResources : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

// -------------------------------------------------------- file formats

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    std::string extension;  // lower case, no dot
    std::string description;
    std::string className;
    TGraphicFactory create;
};

// Process-wide table of picture file extensions. Made on first use with the
// rows wmf, emf, ico and bmp.
class TFileFormatsList {
  public:
    static TFileFormatsList& Instance();

    // Adds a row (the extension is stored in lower case). The same
    // extension and class registered again is ignored.
    void Add(const std::string& extension, const std::string& description,
             const std::string& className, TGraphicFactory create);
    template <class T>
    void Add(const std::string& extension, const std::string& description) {
        Add(extension, description, T().ClassName(), [] { return std::make_unique<T>(); });
    }
    // Looks up a lower-case extension from the newest row backwards; nullptr
    // when none.
    const TFileFormat* FindExt(const std::string& extension) const;
    std::vector<TFileFormat> Rows() const;

  private:
    TFileFormatsList();
    struct TState;
    std::shared_ptr<TState> state_;
};

// -------------------------------------------------------------- picture

// Holds at most one graphic (owned).
class TPicture : public TPersistent {
  public:
    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    std::string ClassName() const override { return "TPicture"; }

    TGraphic* Graphic() const { return graphic_.get(); }
    // Takes ownership (nullptr empties) and fires OnChange.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The held TBitmap; a graphic of another kind (or none) is replaced by a
    // new, empty TBitmap first.
    TBitmap& Bitmap();
    int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
    int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

    // Picks the class by the extension (lower-cased, exact, newest row
    // first; none: EInvalidGraphic "Unknown picture file extension (.%s)"
    // with the extension as written) and lets a new instance load the file.
    // On failure the new instance is dropped and the old graphic kept.
    void LoadFromFile(const std::string& fileName);
    // Saves the held graphic (nothing held: nothing written).
    void SaveToFile(const std::string& fileName);

    // nullptr empties; a TPicture or TBitmap is copied (a held TBitmap
    // only); other sources through their AssignTo (e.g. a raster).
    void Assign(const TPersistent* source) override;

    void Changed();

  private:
    std::unique_ptr<TGraphic> graphic_;
};

}  // namespace corvane
