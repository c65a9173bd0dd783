// The BMP file reader of TBitmap.
//
// Layout read: 14-byte file header ("BM"), the info header (12-byte OS/2
// core form, or 40 bytes and the later 52, 56, 108 and 124-byte forms), the
// bit-field masks (40-byte header, compression 3 only), the colour table and
// then the pixel data directly after it; the file header's data offset is
// not consulted for decoding, only to tell whether the pixels were read from
// where the header says (PixelsComplete). Every size is checked before
// anything is allocated.
#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/Graphics.h"

namespace corvane {

namespace {

constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

[[noreturn]] void NotValid() {
    throw EInvalidGraphic("Bitmap image is not valid");
}

bool KnownHeaderSize(uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

struct TInfoHeader {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    bool os2 = false;
    bool masksInHeader = false;
    uint32_t masks[3] = {0, 0, 0};
};

}  // namespace

// Reads one BMP stream into a fresh TBitmap (the caller swaps it in).
class TBitmapReader {
  public:
    TBitmapReader(TStream& stream, TBitmap& image) : stream_(stream), image_(image) {}

    void Read() {
        const int64_t start = stream_.Position();
        ReadFileHeader();
        ReadInfoHeader();
        if (info_.planes != 1) NotValid();
        ReadMasks();
        ReadColorTable();
        CheckFormat();
        complete_ = stream_.Position() - start == int64_t{dataOffset_} &&
                    (IsRunLength() || static_cast<uint64_t>(stream_.Remaining()) >=
                                          RowBytes() * static_cast<uint64_t>(AbsHeight()));
        const uint64_t pixelBytes = PixelByteCount();
        if (IsRunLength()) {
            ReadRunLength(pixelBytes);
        } else {
            ReadUncompressed(pixelBytes);
        }
    }

    // Every pixel byte was there, read from the offset the file header gives.
    bool PixelsComplete() const { return complete_; }

  private:
    void ReadFileHeader() {
        uint8_t header[14];
        stream_.ReadBuffer(header, sizeof header);
        if (Get16(header) != 0x4D42) NotValid();
        dataOffset_ = Get32(header + 10);
    }

    void ReadInfoHeader() {
        uint8_t sizeBytes[4];
        stream_.ReadBuffer(sizeBytes, 4);
        info_.size = Get32(sizeBytes);
        if (!KnownHeaderSize(info_.size))
            throw EInvalidGraphic(Format("Unsupported bitmap header size (%u bytes)", info_.size));
        std::vector<uint8_t> rest(info_.size - 4);
        stream_.ReadBuffer(rest.data(), static_cast<int64_t>(rest.size()));
        const uint8_t* p = rest.data();
        if (info_.size == 12) {
            info_.os2 = true;
            info_.width = Get16(p);
            info_.height = Get16(p + 2);
            info_.planes = Get16(p + 4);
            info_.bitCount = Get16(p + 6);
            return;
        }
        info_.width = static_cast<int32_t>(Get32(p));
        info_.height = static_cast<int32_t>(Get32(p + 4));
        info_.planes = Get16(p + 8);
        info_.bitCount = Get16(p + 10);
        info_.compression = Get32(p + 12);
        info_.imageSize = Get32(p + 16);
        info_.colorsUsed = Get32(p + 28);
        if (info_.size >= 52) {
            info_.masksInHeader = true;
            for (int c = 0; c < 3; ++c) info_.masks[c] = Get32(p + 36 + 4 * c);
        }
    }

    bool HasBitFields() const {
        return info_.compression == kCompressionBitFields &&
               (info_.bitCount == 16 || info_.bitCount == 32);
    }
    bool IsRunLength() const {
        return info_.compression == kCompressionRle8 || info_.compression == kCompressionRle4;
    }

    void ReadMasks() {
        if (info_.size == 40 && HasBitFields()) {
            uint8_t masks[12];
            stream_.ReadBuffer(masks, sizeof masks);
            for (int c = 0; c < 3; ++c) info_.masks[c] = Get32(masks + 4 * c);
        }
    }

    void ReadColorTable() {
        uint32_t count = info_.colorsUsed;
        if (count == 0 && info_.bitCount <= 8 && info_.bitCount > 0)
            count = uint32_t{1} << std::min<uint16_t>(info_.bitCount, 8);
        if (count > 256) throw EInvalidGraphic(Format("Bitmap color count %u exceeds 256", count));
        const size_t entryBytes = info_.os2 ? 3 : 4;
        std::vector<uint8_t> bytes(count * entryBytes);
        stream_.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        table_.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = bytes.data() + i * entryBytes;
            table_[i] = TRGBQuad{e[0], e[1], e[2], 0};
        }
    }

    // What the platform would refuse to make a bitmap of.
    void CheckFormat() const {
        const uint16_t bits = info_.bitCount;
        const bool knownBits =
            bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        bool fits = false;
        switch (info_.compression) {
            case kCompressionRgb:
                fits = knownBits;
                break;
            case kCompressionRle8:
                fits = bits == 8;
                break;
            case kCompressionRle4:
                fits = bits == 4;
                break;
            case kCompressionBitFields:
                fits = bits == 16 || bits == 32;
                break;
            default:
                break;
        }
        // Top-down bitmaps cannot be run-length encoded.
        if (IsRunLength() && info_.height < 0) fits = false;
        if (!fits || info_.width <= 0 || info_.height == 0 || info_.height == INT32_MIN) NotValid();
        const int64_t pixels = int64_t{info_.width} * AbsHeight();
        if (pixels > kMaxBitmapPixels)
            throw EInvalidGraphic(
                Format("Bitmap of %d x %d pixels exceeds the limit of %lld pixels", info_.width,
                       AbsHeight(), static_cast<long long>(kMaxBitmapPixels)));
    }

    int32_t AbsHeight() const { return info_.height < 0 ? -info_.height : info_.height; }

    uint64_t RowBytes() const {
        return (static_cast<uint64_t>(info_.width) * info_.bitCount + 31) / 32 * 4;
    }

    uint64_t PixelByteCount() {
        uint64_t count = info_.imageSize;
        if (count == 0) count = RowBytes() * static_cast<uint64_t>(AbsHeight());
        return std::min<uint64_t>(count, static_cast<uint64_t>(stream_.Remaining()));
    }

    void SetupImage(int32_t bitCount, THandleType handleType) {
        image_.bitCount_ = bitCount;
        if (bitCount == 16) {
            const uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
            std::copy_n(HasBitFields() ? info_.masks : masks555, 3, image_.masks_);
        } else if (bitCount == 32 && HasBitFields()) {
            std::copy_n(info_.masks, 3, image_.masks_);
        }
        image_.colorTable_ = table_;
        image_.handleType_ = handleType;
        image_.SetSize(info_.width, AbsHeight());
    }

    // Pixel bytes straight into the rows; rows the data do not reach stay 0.
    void ReadUncompressed(uint64_t pixelBytes) {
        SetupImage(info_.bitCount, THandleType::bmDIB);
        const int32_t height = image_.Height();
        const uint64_t rowBytes = static_cast<uint64_t>(image_.RowBytes());
        pixelBytes = std::min<uint64_t>(pixelBytes, rowBytes * height);
        if (info_.height < 0) {
            stream_.Read(image_.ScanLine(0), static_cast<int64_t>(pixelBytes));
            return;
        }
        // Bottom row first: gather several small rows per read.
        constexpr uint64_t kChunk = 1 << 20;
        const uint64_t rowsPerChunk = std::max<uint64_t>(1, kChunk / rowBytes);
        std::vector<uint8_t> staging(rowsPerChunk > 1 ? rowsPerChunk * rowBytes : 0);
        uint64_t row = 0;
        while (pixelBytes > 0) {
            const uint64_t want = std::min<uint64_t>(rowsPerChunk * rowBytes, pixelBytes);
            uint8_t* target = staging.empty() ? RowFromBottom(row) : staging.data();
            const uint64_t got = static_cast<uint64_t>(
                std::max<int64_t>(0, stream_.Read(target, static_cast<int64_t>(want))));
            if (!staging.empty()) {
                for (uint64_t done = 0; done < got; done += rowBytes)
                    std::memcpy(RowFromBottom(row + done / rowBytes), staging.data() + done,
                                std::min(rowBytes, got - done));
            }
            if (got < want) return;
            row += rowsPerChunk;
            pixelBytes -= want;
        }
    }

    uint8_t* RowFromBottom(uint64_t row) {
        return image_.ScanLine(image_.Height() - 1 - static_cast<int32_t>(row));
    }

    // Run-length data decoded into a 32-bit bitmap; pixels the data skip or
    // never reach stay black.
    void ReadRunLength(uint64_t pixelBytes) {
        std::vector<uint8_t> data(pixelBytes);
        data.resize(static_cast<size_t>(
            std::max<int64_t>(0, stream_.Read(data.data(), static_cast<int64_t>(pixelBytes)))));
        SetupImage(32, THandleType::bmDDB);
        image_.colorTable_ = table_;
        TColor32 colors[256] = {};
        for (size_t i = 0; i < table_.size(); ++i)
            colors[i] = (TColor32{table_[i].rgbRed} << 16) | (TColor32{table_[i].rgbGreen} << 8) |
                        table_[i].rgbBlue;
        TRunLengthTarget target{image_, colors};
        if (info_.compression == kCompressionRle8) {
            complete_ = DecodeRle(data, target, false) && complete_;
        } else {
            complete_ = DecodeRle(data, target, true) && complete_;
        }
    }

    struct TRunLengthTarget {
        TBitmap& image;
        const TColor32* colors;
        int64_t x = 0;
        int64_t y = 0;  // counted from the bottom row
        bool Inside() const { return y < image.Height(); }
        void Put(uint8_t index) {
            if (x < image.Width() && y < image.Height()) {
                TColor32 c = colors[index];
                std::memcpy(image.ScanLine(image.Height() - 1 - static_cast<int32_t>(y)) + 4 * x,
                            &c, 4);
            }
            ++x;
        }
    };

    static bool DecodeRle(const std::vector<uint8_t>& data, TRunLengthTarget& t, bool nibbles) {
        size_t i = 0;
        const size_t n = data.size();
        while (i + 1 < n && t.Inside()) {
            const uint8_t count = data[i], value = data[i + 1];
            i += 2;
            if (count > 0) {
                if (t.x >= t.image.Width()) {
                    t.x += count;
                    continue;
                }
                for (int k = 0; k < count; ++k)
                    t.Put(nibbles ? ((k & 1) ? (value & 0xF) : (value >> 4)) : value);
                continue;
            }
            if (value == 0) {
                t.x = 0;
                ++t.y;
            } else if (value == 1) {
                return true;
            } else if (value == 2) {
                if (i + 1 >= n) return false;
                t.x += data[i];
                t.y += data[i + 1];
                i += 2;
            } else {
                const size_t bytes = nibbles ? (value + 1u) / 2 : value;
                for (int k = 0; k < value; ++k) {
                    const size_t at = i + (nibbles ? k / 2 : k);
                    if (at >= n) return false;
                    t.Put(nibbles ? ((k & 1) ? (data[at] & 0xF) : (data[at] >> 4)) : data[at]);
                }
                i += bytes + (bytes & 1);
            }
        }
        return !t.Inside();
    }

    TStream& stream_;
    TBitmap& image_;
    TInfoHeader info_;
    std::vector<TRGBQuad> table_;
    uint32_t dataOffset_ = 0;
    bool complete_ = false;
};

void TBitmap::LoadFromStream(TStream& stream) {
    TBitmap image;
    bool complete = false;
    if (stream.Remaining() > 0) {
        TBitmapReader reader(stream, image);
        reader.Read();
        complete = reader.PixelsComplete();
    }
    SwapImage(image);
    pixelsComplete_ = complete;
    if (!colorTable_.empty()) SetPaletteModified(true);
    Changed();
}

}  // namespace corvane
