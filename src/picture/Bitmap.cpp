// The platform bitmap: storage, formats, drawing and the BMP writer.
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "picture/Graphics.h"
#include "picture/PixelMemory.h"
#include "picture/PixelRows.h"

namespace corvane {

namespace {

constexpr uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr uint32_t kMasks888[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};

bool SameMasks(const uint32_t* a, const uint32_t* b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

ptrdiff_t PaddedRowBytes(int32_t width, int32_t bitCount) {
    return static_cast<ptrdiff_t>((static_cast<int64_t>(width) * bitCount + 31) / 32 * 4);
}

int32_t BitCountOf(TPixelFormat format) {
    switch (format) {
        case TPixelFormat::pf1bit:
            return 1;
        case TPixelFormat::pf4bit:
            return 4;
        case TPixelFormat::pf8bit:
            return 8;
        case TPixelFormat::pf15bit:
        case TPixelFormat::pf16bit:
            return 16;
        case TPixelFormat::pf24bit:
            return 24;
        default:
            return 32;
    }
}

std::vector<TRGBQuad> DefaultColorTable(int32_t bitCount) {
    std::vector<TRGBQuad> table;
    auto add = [&](int r, int g, int b) {
        table.push_back(
            TRGBQuad{static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), 0});
    };
    if (bitCount == 1) {
        add(0, 0, 0);
        add(255, 255, 255);
    } else if (bitCount == 4) {
        static const int vga[16][3] = {
            {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : vga) add(c[0], c[1], c[2]);
    } else {
        // 3-3-2 levels: every entry distinct, black and white included.
        for (int i = 0; i < 256; ++i)
            add((i >> 5) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3);
    }
    return table;
}

TColor32 QuadColor(const TRGBQuad& q) {
    return (TColor32{q.rgbRed} << 16) | (TColor32{q.rgbGreen} << 8) | q.rgbBlue;
}

// Nearest entry of a colour table, remembered per colour.
class TNearestColor {
  public:
    explicit TNearestColor(const std::vector<TRGBQuad>& table) : table_(table) {}
    uint8_t operator()(TColor32 color) {
        auto found = cache_.find(color);
        if (found != cache_.end()) return found->second;
        int best = 0;
        int64_t bestDistance = INT64_MAX;
        for (size_t i = 0; i < table_.size(); ++i) {
            const int dr = table_[i].rgbRed - static_cast<int>(RedComponent(color));
            const int dg = table_[i].rgbGreen - static_cast<int>(GreenComponent(color));
            const int db = table_[i].rgbBlue - static_cast<int>(BlueComponent(color));
            const int64_t distance = int64_t{dr} * dr + int64_t{dg} * dg + int64_t{db} * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
        }
        cache_.emplace(color, static_cast<uint8_t>(best));
        return static_cast<uint8_t>(best);
    }

  private:
    const std::vector<TRGBQuad>& table_;
    std::unordered_map<TColor32, uint8_t> cache_;
};

void PutIndex(uint8_t* row, int32_t x, int32_t bitCount, uint8_t index) {
    if (bitCount == 8) {
        row[x] = index;
    } else if (bitCount == 4) {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] =
            static_cast<uint8_t>((row[x >> 1] & ~(0xF << shift)) | ((index & 0xF) << shift));
    } else {
        const int shift = 7 - (x & 7);
        row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
    }
}

uint8_t GetIndex(const uint8_t* row, int32_t x, int32_t bitCount) {
    if (bitCount == 8) return row[x];
    if (bitCount == 4) return (x & 1) ? (row[x >> 1] & 0xF) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Packs one colour into a true-colour pixel of the given masks.
uint32_t PackBits(TColor32 color, const uint32_t* masks) {
    uint32_t pixel = 0;
    const uint32_t channels[3] = {RedComponent(color), GreenComponent(color), BlueComponent(color)};
    for (int c = 0; c < 3; ++c) {
        if (masks[c] == 0) continue;
        const int shift = std::countr_zero(masks[c]);
        const int bits = std::popcount(masks[c]);
        const uint32_t value = bits >= 8 ? channels[c] << (bits - 8) : channels[c] >> (8 - bits);
        pixel |= (value << shift) & masks[c];
    }
    return pixel;
}

}  // namespace

// ------------------------------------------------------ pixel expanding

TChannelWidener::TChannelWidener(uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    uint32_t maximum = mask >> shift_;
    // Keeps the table small for wide channels; the top 12 bits decide.
    while ((maximum >> reduce_) > 4095) ++reduce_;
    maximum >>= reduce_;
    lut_.resize(maximum + 1);
    for (uint32_t v = 0; v <= maximum; ++v)
        lut_[v] = static_cast<uint8_t>((uint64_t{v} * 255 + maximum / 2) / maximum);
}

TRowExpander::TRowExpander(const TBitmap& bitmap)
    : bitmap_(bitmap),
      red_(bitmap.RedMask()),
      green_(bitmap.GreenMask()),
      blue_(bitmap.BlueMask()),
      plain32_(bitmap.PixelFormat() == TPixelFormat::pf32bit) {
    const auto& table = bitmap.ColorTable();
    for (size_t i = 0; i < table.size() && i < lut_.size(); ++i) lut_[i] = QuadColor(table[i]);
    if (bitmap.BitCount() == 16 && static_cast<int64_t>(bitmap.Width()) * bitmap.Height() > 65536) {
        lut16_.resize(65536);
        for (uint32_t p = 0; p < 65536; ++p)
            lut16_[p] = (red_(p) << 16) | (green_(p) << 8) | blue_(p);
    }
}

void TRowExpander::ExpandBitFields(const uint8_t* row, TColor32* out) const {
    const int32_t width = bitmap_.Width();
    if (!lut16_.empty()) {
        for (int32_t x = 0; x < width; ++x) out[x] = lut16_[row[2 * x] | (row[2 * x + 1] << 8)];
        return;
    }
    const bool wide = bitmap_.BitCount() == 32;
    for (int32_t x = 0; x < width; ++x) {
        uint32_t p;
        if (wide) {
            std::memcpy(&p, row + 4 * x, 4);
        } else {
            p = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
        }
        out[x] = (red_(p) << 16) | (green_(p) << 8) | blue_(p);
    }
}

void TRowExpander::Expand(int32_t y, TColor32* out) const {
    const uint8_t* row = bitmap_.ScanLine(y);
    const int32_t width = bitmap_.Width();
    switch (bitmap_.BitCount()) {
        case 1:
            for (int32_t x = 0; x < width; ++x) out[x] = lut_[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x)
                out[x] = lut_[(x & 1) ? (row[x >> 1] & 0xF) : (row[x >> 1] >> 4)];
            break;
        case 8:
            for (int32_t x = 0; x < width; ++x) out[x] = lut_[row[x]];
            break;
        case 24: {
            // Four-byte loads while a byte beyond the pixel is still in the row.
            int32_t x = 0;
            for (; x + 1 < width; ++x) {
                TColor32 p;
                std::memcpy(&p, row + 3 * x, 4);
                out[x] = p & 0x00FFFFFF;
            }
            for (; x < width; ++x)
                out[x] =
                    row[3 * x] | (TColor32{row[3 * x + 1]} << 8) | (TColor32{row[3 * x + 2]} << 16);
            break;
        }
        default:
            if (plain32_) {
                for (int32_t x = 0; x < width; ++x) {
                    TColor32 p;
                    std::memcpy(&p, row + 4 * x, 4);
                    out[x] = p & 0x00FFFFFF;
                }
            } else {
                ExpandBitFields(row, out);
            }
    }
}

// ---------------------------------------------------------- TBitmap

void TBitmap::TFreeDeleter::operator()(uint8_t* p) const {
    if (mappedBytes > 0) {
        ::munmap(p, mappedBytes);
    } else {
        std::free(p);
    }
}

std::unique_ptr<uint8_t, TBitmap::TFreeDeleter> TBitmap::AllocatePixels(size_t bytes) {
    // Large pictures take fresh zero pages, in huge pages where the system
    // allows, so that filling them costs few page faults.
    constexpr size_t kMapFrom = size_t{4} << 20;
    if (bytes >= kMapFrom) {
        void* p =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return std::unique_ptr<uint8_t, TFreeDeleter>(nullptr, TFreeDeleter());
#ifdef MADV_HUGEPAGE
        ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
        return std::unique_ptr<uint8_t, TFreeDeleter>(static_cast<uint8_t*>(p),
                                                      TFreeDeleter(bytes));
    }
    return std::unique_ptr<uint8_t, TFreeDeleter>(static_cast<uint8_t*>(std::calloc(bytes, 1)),
                                                  TFreeDeleter());
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::SwapImage(TBitmap& other) {
    std::swap(bits_, other.bits_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(bitCount_, other.bitCount_);
    std::swap(rowBytes_, other.rowBytes_);
    std::swap(masks_, other.masks_);
    std::swap(colorTable_, other.colorTable_);
    std::swap(handleType_, other.handleType_);
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    if (static_cast<int64_t>(width) * height > kMaxBitmapPixels)
        throw EInvalidGraphic(Format("Bitmap of %d x %d pixels is too large", width, height));
    const ptrdiff_t rowBytes = PaddedRowBytes(width, bitCount_);
    std::unique_ptr<uint8_t, TFreeDeleter> bits;
    if (width > 0 && height > 0) {
        const size_t bytes = static_cast<size_t>(rowBytes) * height;
        AnnouncePixelBuffer(static_cast<uint64_t>(width) * static_cast<uint64_t>(height), bytes);
        bits = AllocatePixels(bytes);
        if (!bits) throw EOutOfResources("Out of system resources");
    }
    bits_ = std::move(bits);
    width_ = width;
    height_ = height;
    rowBytes_ = bits_ ? rowBytes : 0;
    Changed();
}

TPixelFormat TBitmap::PixelFormat() const {
    switch (bitCount_) {
        case 1:
            return TPixelFormat::pf1bit;
        case 4:
            return TPixelFormat::pf4bit;
        case 8:
            return TPixelFormat::pf8bit;
        case 24:
            return TPixelFormat::pf24bit;
        case 16:
            if (SameMasks(masks_, kMasks555)) return TPixelFormat::pf15bit;
            if (SameMasks(masks_, kMasks565)) return TPixelFormat::pf16bit;
            return TPixelFormat::pfCustom;
        default:
            return SameMasks(masks_, kMasks888) ? TPixelFormat::pf32bit : TPixelFormat::pfCustom;
    }
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == TPixelFormat::pfDevice) value = TPixelFormat::pf32bit;
    if (value == TPixelFormat::pfCustom)
        throw EInvalidGraphicOperation("Cannot set a custom pixel format");
    if (value == PixelFormat()) return;

    TBitmap converted;
    converted.bitCount_ = BitCountOf(value);
    const uint32_t* masks = value == TPixelFormat::pf15bit   ? kMasks555
                            : value == TPixelFormat::pf16bit ? kMasks565
                                                             : kMasks888;
    std::copy_n(masks, 3, converted.masks_);
    if (converted.bitCount_ <= 8) {
        converted.colorTable_ =
            colorTable_.empty() ? DefaultColorTable(converted.bitCount_) : colorTable_;
        if (converted.colorTable_.size() > (size_t{1} << converted.bitCount_))
            converted.colorTable_.resize(size_t{1} << converted.bitCount_);
    } else {
        converted.colorTable_ = colorTable_;
    }
    converted.SetSize(width_, height_);
    if (!Empty()) ConvertPixelsInto(converted);
    converted.handleType_ = handleType_;
    SwapImage(converted);
    Changed();
}

void TBitmap::ConvertPixelsInto(TBitmap& target) const {
    const int32_t bits = target.bitCount_;
    const bool keepIndices = bitCount_ <= 8 && bits <= 8 && colorTable_ == target.colorTable_;
    TRowExpander expander(*this);
    std::vector<TColor32> colors(static_cast<size_t>(width_));
    TNearestColor nearest(target.colorTable_);
    for (int32_t y = 0; y < height_; ++y) {
        uint8_t* out = target.ScanLine(y);
        if (keepIndices) {
            for (int32_t x = 0; x < width_; ++x) {
                const uint8_t index = GetIndex(ScanLine(y), x, bitCount_);
                if (index < (1 << bits))
                    PutIndex(out, x, bits, index);
                else
                    PutIndex(out, x, bits, nearest(PixelColor(x, y)));
            }
            continue;
        }
        expander.Expand(y, colors.data());
        for (int32_t x = 0; x < width_; ++x) {
            const TColor32 c = colors[static_cast<size_t>(x)];
            if (bits <= 8) {
                PutIndex(out, x, bits, nearest(c));
            } else if (bits == 24) {
                out[3 * x] = BlueComponent(c);
                out[3 * x + 1] = GreenComponent(c);
                out[3 * x + 2] = RedComponent(c);
            } else if (bits == 32) {
                const uint32_t p = PackBits(c, target.masks_);
                std::memcpy(out + 4 * x, &p, 4);
            } else {
                const uint32_t p = PackBits(c, target.masks_);
                out[2 * x] = static_cast<uint8_t>(p);
                out[2 * x + 1] = static_cast<uint8_t>(p >> 8);
            }
        }
    }
}

void TBitmap::SetColorTable(std::vector<TRGBQuad> table) {
    if (table.size() > 256) table.resize(256);
    colorTable_ = std::move(table);
    SetPaletteModified(true);
    Changed();
}

TColor32 TBitmap::PixelColor(int32_t x, int32_t y) const {
    const uint8_t* row = ScanLine(y);
    if (bitCount_ <= 8) {
        const uint8_t index = GetIndex(row, x, bitCount_);
        return index < colorTable_.size() ? QuadColor(colorTable_[index]) : 0;
    }
    if (bitCount_ == 24)
        return row[3 * x] | (TColor32{row[3 * x + 1]} << 8) | (TColor32{row[3 * x + 2]} << 16);
    uint32_t p = 0;
    if (bitCount_ == 32) {
        std::memcpy(&p, row + 4 * x, 4);
        if (PixelFormat() == TPixelFormat::pf32bit) return p & 0x00FFFFFF;
    } else {
        p = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
    }
    const TChannelWidener r(masks_[0]), g(masks_[1]), b(masks_[2]);
    return (r(p) << 16) | (g(p) << 8) | b(p);
}

TCanvas TBitmap::Canvas() {
    if (PixelFormat() != TPixelFormat::pf32bit)
        throw EInvalidGraphicOperation("A drawing surface needs a 32-bit bitmap");
    return TCanvas(reinterpret_cast<TColor32*>(bits_.get()), Empty() ? 0 : width_,
                   Empty() ? 0 : height_, width_);
}

TColor32 TBitmap::TransparentColor() const {
    if (transparentColorSet_ || Empty()) return transparentColor_;
    return PixelColor(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor32 color) {
    transparentColor_ = color & 0x00FFFFFF;
    transparentColorSet_ = true;
    Changed();
}

// ------------------------------------------------------------ drawing

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    StretchInto(canvas, rect, nullptr, true);
}

void TBitmap::CopyToCanvas(TCanvas& canvas, int32_t x, int32_t y) const {
    StretchInto(canvas, TRect{x, y, x + width_, y + height_}, nullptr, false);
}

void TBitmap::DrawMasked(TCanvas& canvas, const TRect& rect, const TBitmap& mask) const {
    if (mask.BitCount() != 1 || mask.Width() != width_ || mask.Height() != height_)
        throw EInvalidGraphicOperation("Mask does not fit the bitmap");
    StretchInto(canvas, rect, &mask, true);
}

void TBitmap::StretchInto(TCanvas& canvas, const TRect& rect, const TBitmap* mask,
                          bool honourTransparency) const {
    if (Empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
    const int32_t left = std::max(rect.Left, 0), right = std::min(rect.Right, canvas.Width());
    const int32_t top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, canvas.Height());
    if (left >= right || top >= bottom) return;

    // Each target pixel takes the source pixel under its centre.
    auto sourceOf = [](int32_t offset, int32_t extent, int32_t sourceExtent) {
        return static_cast<int32_t>((int64_t{2} * offset + 1) * sourceExtent /
                                    (int64_t{2} * extent));
    };
    std::vector<int32_t> columns(static_cast<size_t>(right - left));
    for (int32_t x = left; x < right; ++x)
        columns[static_cast<size_t>(x - left)] = sourceOf(x - rect.Left, rect.Width(), width_);
    const bool oneToOne = rect.Width() == width_;
    const bool skipColor = honourTransparency && Transparent();
    const TColor32 transparent = skipColor ? TransparentColor() : 0;

    TRowExpander expander(*this);
    std::vector<TColor32> colors(static_cast<size_t>(width_));
    int32_t expandedRow = -1;
    for (int32_t y = top; y < bottom; ++y) {
        const int32_t sy = sourceOf(y - rect.Top, rect.Height(), height_);
        TColor32* out = canvas.ScanLine(y);
        if (oneToOne && !skipColor && mask == nullptr && left == rect.Left && right == rect.Right) {
            expander.Expand(sy, out + left);
            continue;
        }
        if (sy != expandedRow) {
            expander.Expand(sy, colors.data());
            expandedRow = sy;
        }
        const uint8_t* maskRow = mask ? mask->ScanLine(sy) : nullptr;
        for (int32_t x = left; x < right; ++x) {
            const int32_t sx = columns[static_cast<size_t>(x - left)];
            const TColor32 c = colors[static_cast<size_t>(sx)];
            if (maskRow && ((maskRow[sx >> 3] >> (7 - (sx & 7))) & 1)) continue;
            if (skipColor && c == transparent) continue;
            out[x] = c;
        }
    }
}

// --------------------------------------------------------- assignment

void TBitmap::Assign(const TPersistent* source) {
    if (source == nullptr) {
        TBitmap empty;
        empty.bitCount_ = bitCount_;
        std::copy_n(masks_, 3, empty.masks_);
        SwapImage(empty);
        Changed();
        return;
    }
    auto other = dynamic_cast<const TBitmap*>(source);
    if (other == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    TBitmap copy;
    copy.bitCount_ = other->bitCount_;
    std::copy_n(other->masks_, 3, copy.masks_);
    copy.SetSize(other->width_, other->height_);
    if (copy.bits_)
        std::memcpy(copy.bits_.get(), other->bits_.get(),
                    static_cast<size_t>(other->rowBytes_) * other->height_);
    copy.colorTable_ = other->colorTable_;
    copy.handleType_ = other->handleType_;
    SwapImage(copy);
    transparentColorSet_ = other->transparentColorSet_;
    transparentColor_ = other->transparentColor_;
    SetTransparent(other->Transparent());
    Changed();
}

// -------------------------------------------------------- BMP writing

namespace {
void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
}  // namespace

void TBitmap::SaveToStream(TStream& stream) {
    // Zero bytes read back as an empty bitmap; a 0-wide header would not.
    if (Empty()) return;
    const bool bitFields = (bitCount_ == 16 && !SameMasks(masks_, kMasks555)) ||
                           (bitCount_ == 32 && !SameMasks(masks_, kMasks888));
    const uint32_t tableBytes = static_cast<uint32_t>(colorTable_.size() * 4);
    const uint32_t offset = 14 + 40 + (bitFields ? 12 : 0) + tableBytes;
    const uint64_t pixelBytes = static_cast<uint64_t>(rowBytes_) * height_;
    std::vector<uint8_t> head;
    Put16(head, 0x4D42);
    Put32(head, static_cast<uint32_t>(offset + pixelBytes));
    Put32(head, 0);
    Put32(head, offset);
    Put32(head, 40);
    Put32(head, static_cast<uint32_t>(width_));
    Put32(head, static_cast<uint32_t>(height_));
    Put16(head, 1);
    Put16(head, static_cast<uint32_t>(bitCount_));
    Put32(head, bitFields ? 3 : 0);
    Put32(head, static_cast<uint32_t>(pixelBytes));
    Put32(head, 0);
    Put32(head, 0);
    Put32(head, static_cast<uint32_t>(colorTable_.size()));
    Put32(head, 0);
    if (bitFields)
        for (uint32_t mask : masks_) Put32(head, mask);
    for (const TRGBQuad& q : colorTable_) {
        head.push_back(q.rgbBlue);
        head.push_back(q.rgbGreen);
        head.push_back(q.rgbRed);
        head.push_back(0);
    }
    stream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    for (int32_t y = height_ - 1; y >= 0; --y) stream.WriteBuffer(ScanLine(y), rowBytes_);
}

}  // namespace corvane
