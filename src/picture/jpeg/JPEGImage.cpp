// TJPEGImage: holding JPEG bytes, decoding them into a TBitmap, encoding a
// TBitmap back into bytes.
#include "picture/jpeg/JPEGImage.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

#include "picture/jpeg/JpegCodec.h"

namespace corvane {

static_assert(kMaxJpegPixels == static_cast<uint64_t>(kMaxBitmapPixels));

namespace {

constexpr int64_t kProgressIntervalMs = 500;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Puts the decoder's rows into a TBitmap of the decoder's form.
class TBitmapSink : public TJpegPixelSink {
  public:
    explicit TBitmapSink(TBitmap& bitmap) : bitmap_(bitmap) {}

    void Start(const TJpegOutputFormat& format) override {
        paletted_ = format.bitsPerPixel == 8;
        bitmap_.SetPixelFormat(paletted_ ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
        if (paletted_) bitmap_.SetColorTable(ColorTableOf(format.palette));
        bitmap_.SetSize(static_cast<int32_t>(format.width), static_cast<int32_t>(format.height));
    }
    uint8_t* Row(uint32_t y) override { return bitmap_.ScanLine(static_cast<int32_t>(y)); }
    bool Paletted() const { return paletted_; }

  private:
    static std::vector<TRGBQuad> ColorTableOf(const std::vector<std::array<uint8_t, 3>>& rgb) {
        std::vector<TRGBQuad> table;
        table.reserve(rgb.size());
        for (const auto& c : rgb) table.push_back(TRGBQuad{c[2], c[1], c[0], 0});
        return table;
    }

    TBitmap& bitmap_;
    bool paletted_ = false;
};

// Puts 32-bit colour rows straight into a rectangle of a canvas.
class TCanvasSink : public TJpegPixelSink {
  public:
    TCanvasSink(TCanvas& canvas, const TRect& rect) : canvas_(canvas), rect_(rect) {}

    void Start(const TJpegOutputFormat& format) override {
        // The rectangle was sized from the same header; anything else is a
        // fault here, not in the file.
        if (format.bitsPerPixel != 32 || format.width != static_cast<uint32_t>(rect_.Width()) ||
            format.height != static_cast<uint32_t>(rect_.Height()))
            throw EInvalidGraphic("JPEG output does not fit the drawing rectangle");
    }
    uint8_t* Row(uint32_t y) override {
        rowsGiven_ = std::max(rowsGiven_, y + 1);
        return reinterpret_cast<uint8_t*>(canvas_.ScanLine(rect_.Top + static_cast<int32_t>(y)) +
                                          rect_.Left);
    }
    bool EveryRowGiven() const { return rowsGiven_ == static_cast<uint32_t>(rect_.Height()); }

  private:
    TCanvas& canvas_;
    TRect rect_;
    uint32_t rowsGiven_ = 0;
};

TJpegDecodeOptions DecodeOptionsOf(const TJPEGDefaults& s) {
    TJpegDecodeOptions options;
    options.grayOutput = s.GrayOutput;
    options.fastDecode = s.FastDecode;
    options.paletteOutput = s.PaletteOutput;
    options.incrementalDisplay = s.IncrementalDisplay;
    options.blockSmoothing = s.BlockSmoothing;
    options.scaleShift = s.ScaleShift;
    return options;
}

}  // namespace

TJPEGDefaults& JPEGDefaults() {
    // No screen depth to consult: output is for a true-colour raster, so the
    // palette default stays off.
    static TJPEGDefaults defaults;
    return defaults;
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()), settings_(JPEGDefaults()) {}

TJPEGImage::~TJPEGImage() = default;

int32_t TJPEGImage::Width() const {
    if (bitmap_) return bitmap_->Width();
    return settings_.ScaleShift == 0 ? data_->width : scaledWidth_;
}

int32_t TJPEGImage::Height() const {
    if (bitmap_) return bitmap_->Height();
    return settings_.ScaleShift == 0 ? data_->height : scaledHeight_;
}

void TJPEGImage::SetWidth(int32_t) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::SetHeight(int32_t) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

bool TJPEGImage::Empty() const {
    return data_->bytes.empty() && (bitmap_ == nullptr || bitmap_->Empty());
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (CanDecodeInto(canvas, rect)) {
        DecodeInto(canvas, rect);
        return;
    }
    Bitmap().Draw(canvas, rect);
}

bool TJPEGImage::DecodesIntoCanvas() const {
    const bool colourOutput = !data_->grayscale && !settings_.GrayOutput &&
                              !settings_.PaletteOutput && !settings_.IncrementalDisplay;
    return !bitmap_ && colourOutput && !data_->bytes.empty();
}

bool TJPEGImage::DrawsEveryPixelOpaque() const {
    return DecodesIntoCanvas();
}

bool TJPEGImage::CanDecodeInto(const TCanvas& canvas, const TRect& rect) const {
    return DecodesIntoCanvas() && rect.Left >= 0 && rect.Top >= 0 && rect.Right <= canvas.Width() &&
           rect.Bottom <= canvas.Height() && rect.Width() == Width() && rect.Height() == Height() &&
           !rect.IsEmpty();
}

void TJPEGImage::DecodeInto(TCanvas& canvas, const TRect& rect) {
    TCanvasSink sink(canvas, rect);
    TJpegDecodeOptions options = DecodeOptionsOf(settings_);
    options.fourBytesPerPixel = true;
    try {
        RunDecoder(sink, options);
        // Every row is written (the in-memory source never suspends the
        // library); a raster sized for this picture relies on it.
        if (!sink.EveryRowGiven()) throw EInvalidGraphic("JPEG output ended before its last row");
    } catch (...) {
        canvas.FillRect(rect, 0);  // as if nothing had been drawn
        throw;
    }
}

TBitmap& TJPEGImage::Bitmap() {
    if (!bitmap_) Decode();
    return *bitmap_;
}

void TJPEGImage::ReportProgress(int percent) {
    const int64_t now = NowMs();
    if (percent == lastPercent_ || now - lastProgressTime_ < kProgressIntervalMs) return;
    lastPercent_ = percent;
    lastProgressTime_ = now;
    Progress(TProgressStage::psRunning, static_cast<uint8_t>(percent), false, TRect{}, "");
}

void TJPEGImage::Decode() {
    auto bitmap = std::make_unique<TBitmap>();
    TBitmapSink sink(*bitmap);
    // A failed decode leaves no bitmap, so a later use tries again rather
    // than showing a half-filled picture as if it were whole.
    RunDecoder(sink, DecodeOptionsOf(settings_));
    bitmap_ = std::move(bitmap);
    if (sink.Paletted()) {
        SetPaletteModified(true);
        Changed();
    }
}

bool TJPEGImage::RunDecoder(TJpegPixelSink& sink, const TJpegDecodeOptions& options) {
    TJpegProgress progress;
    if (OnProgress) progress = [this](int percent) { ReportProgress(percent); };
    lastPercent_ = -1;
    lastProgressTime_ = NowMs();
    Progress(TProgressStage::psStarting, 0, false, TRect{}, "");
    bool completed = false;
    try {
        const auto& bytes = data_->bytes;
        if (!bytes.empty()) DecodeJpeg(bytes.data(), bytes.size(), options, sink, progress);
        completed = true;
    } catch (const EAbort&) {
        // Stopped by a listener: keep the rows decoded so far.
    } catch (...) {
        Progress(TProgressStage::psEnding, 0, false, TRect{}, "");
        throw;
    }
    Progress(TProgressStage::psEnding, completed ? 100 : 0, false, TRect{}, "");
    return completed;
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    data_ = std::make_shared<TJPEGData>();
    bitmap_.reset();
    scaledWidth_ = scaledHeight_ = 0;
    const int64_t count = stream.Remaining();
    if (count > 0) {
        auto& bytes = data_->bytes;
        bytes.resize(static_cast<size_t>(count));
        stream.ReadBuffer(bytes.data(), count);
        const TJpegHeader header = ReadJpegHeader(bytes.data(), bytes.size());
        data_->width = static_cast<int32_t>(header.width);
        data_->height = static_cast<int32_t>(header.height);
        data_->grayscale = header.grayscale;
        settings_.Progressive = header.progressive;
        UpdateScaledSize();
    }
    SetPaletteModified(true);
    Changed();
}

void TJPEGImage::UpdateScaledSize() {
    scaledWidth_ = scaledHeight_ = 0;
    const auto& bytes = data_->bytes;
    if (settings_.ScaleShift == 0 || bytes.empty()) return;
    uint32_t width = 0, height = 0;
    JpegOutputSize(bytes.data(), bytes.size(), settings_.ScaleShift, width, height);
    scaledWidth_ = static_cast<int32_t>(width);
    scaledHeight_ = static_cast<int32_t>(height);
}

void TJPEGImage::SaveToStream(TStream& stream) {
    JPEGNeeded();
    const auto& bytes = data_->bytes;
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TJPEGImage::JPEGNeeded() {
    if (data_->bytes.empty()) Encode();
}

void TJPEGImage::Encode() {
    data_ = std::make_shared<TJPEGData>();
    if (!bitmap_ || bitmap_->Empty()) return;
    data_->width = bitmap_->Width();
    data_->height = bitmap_->Height();

    // 24- and 32-bit rows go to the library as they are (the fourth byte is
    // skipped); other forms are converted to 24 bits first.
    const TBitmap* source = bitmap_.get();
    TBitmap converted;
    const TPixelFormat format = bitmap_->PixelFormat();
    if (format != TPixelFormat::pf24bit && format != TPixelFormat::pf32bit) {
        converted.Assign(bitmap_.get());
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    const auto layout = source->BitCount() == 32 ? TJpegInputLayout::BGRX : TJpegInputLayout::BGR;
    TJpegEncodeOptions options;
    options.quality = settings_.Quality;
    options.grayOutput = settings_.GrayOutput;
    options.progressive = settings_.Progressive;

    auto& bytes = data_->bytes;
    TJpegByteSink sink = [&bytes](const uint8_t* p, size_t n) -> size_t {
        try {
            bytes.insert(bytes.end(), p, p + n);
            return n;
        } catch (const std::bad_alloc&) {
            return 0;
        }
    };
    TJpegProgress progress;
    if (OnProgress) progress = [this](int percent) { ReportProgress(percent); };
    lastPercent_ = -1;
    lastProgressTime_ = NowMs();
    Progress(TProgressStage::psStarting, 0, false, TRect{}, "");
    try {
        EncodeJpeg(
            static_cast<uint32_t>(source->Width()), static_cast<uint32_t>(source->Height()), layout,
            [source](uint32_t y) { return source->ScanLine(static_cast<int32_t>(y)); }, options,
            sink, progress);
    } catch (const EAbort&) {
        bytes.clear();
        Progress(TProgressStage::psEnding, 0, false, TRect{}, "");
        return;
    } catch (...) {
        // Never keep (and later write) a partial file.
        bytes.clear();
        Progress(TProgressStage::psEnding, 0, false, TRect{}, "");
        throw;
    }
    if (settings_.GrayOutput) data_->grayscale = true;
    Progress(TProgressStage::psEnding, 100, false, TRect{}, "");
}

void TJPEGImage::Assign(const TPersistent* source) {
    if (auto jpeg = dynamic_cast<const TJPEGImage*>(source)) {
        if (jpeg == this) return;
        data_ = jpeg->data_;
        scaledWidth_ = jpeg->scaledWidth_;
        scaledHeight_ = jpeg->scaledHeight_;
        bitmap_.reset();
        if (jpeg->bitmap_) {
            bitmap_ = std::make_unique<TBitmap>();
            bitmap_->Assign(jpeg->bitmap_.get());
        }
        Changed();
        return;
    }
    if (auto bitmap = dynamic_cast<const TBitmap*>(source)) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(bitmap);
        data_ = std::make_shared<TJPEGData>();
        scaledWidth_ = scaledHeight_ = 0;
        bitmap_ = std::move(copy);
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent* dest) const {
    if (auto bitmap = dynamic_cast<TBitmap*>(dest)) {
        // Decoding on demand changes only this picture's cache.
        bitmap->Assign(&const_cast<TJPEGImage*>(this)->Bitmap());
        return;
    }
    TGraphic::AssignTo(dest);
}

void TJPEGImage::DropBitmapIf(bool changed) {
    // Only a bitmap decoded from bytes can be made again; a bitmap that was
    // assigned is the picture itself.
    if (changed && !data_->bytes.empty()) bitmap_.reset();
}

int TJPEGImage::ExifOrientation() const {
    const std::vector<uint8_t>& bytes = data_->bytes;
    if (bytes.empty() || bytes.size() > UINT_MAX) return 1;
    // libexif finds the APP1 segment in the JPEG data itself.
    ExifData* exif = exif_data_new_from_data(bytes.data(), static_cast<unsigned>(bytes.size()));
    if (exif == nullptr) return 1;
    int orientation = 1;
    if (ExifEntry* entry = exif_data_get_entry(exif, EXIF_TAG_ORIENTATION);
        entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
        entry->data != nullptr && entry->size >= 2) {
        const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        if (value >= 1 && value <= 8) orientation = value;
    }
    exif_data_unref(exif);
    return orientation;
}

void TJPEGImage::SetQuality(uint8_t value) {
    settings_.Quality = std::clamp<uint8_t>(value, 1, 100);
}

void TJPEGImage::SetGrayOutput(bool value) {
    DropBitmapIf(value != settings_.GrayOutput);
    settings_.GrayOutput = value;
}

void TJPEGImage::SetFastDecode(bool value) {
    DropBitmapIf(value != settings_.FastDecode);
    settings_.FastDecode = value;
}

void TJPEGImage::SetPaletteOutput(bool value) {
    DropBitmapIf(value != settings_.PaletteOutput);
    settings_.PaletteOutput = value;
}

void TJPEGImage::SetProgressive(bool value) {
    settings_.Progressive = value;
}

void TJPEGImage::SetScaleShift(uint8_t value) {
    value = std::min<uint8_t>(value, 3);
    DropBitmapIf(value != settings_.ScaleShift);
    settings_.ScaleShift = value;
    UpdateScaledSize();
}

void TJPEGImage::SetBlockSmoothing(bool value) {
    DropBitmapIf(value != settings_.BlockSmoothing);
    settings_.BlockSmoothing = value;
}

void RegisterJPEGFormat() {
    auto& formats = TFileFormatsList::Instance();
    formats.Add<TJPEGImage>("jpeg", "JPEG Image File");
    formats.Add<TJPEGImage>("jpg", "JPEG Image File");
}

}  // namespace corvane
