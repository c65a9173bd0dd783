// Reading GIF files into TGIFImage.
#include "picture/gif/GIFImage.h"

#include <cstring>
#include <new>

#include "picture/PixelMemory.h"
#include "picture/gif/GIFLZW.h"
#include "picture/gif/GIFReader.h"

namespace corvane {

namespace {

constexpr int kExtensionIntroducer = '!';
constexpr int kImageSeparator = ',';
constexpr int kTrailer = ';';

uint16_t Word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool StartsWithGIF(const uint8_t* p) {
    auto upper = [](uint8_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    return upper(p[0]) == 'G' && upper(p[1]) == 'I' && upper(p[2]) == 'F';
}

// Data sub-blocks up to the empty one; every one must be complete.
template <class OnBlock>
void ReadSubBlocks(TGIFReader& reader, OnBlock onBlock) {
    uint8_t block[256];
    for (;;) {
        int size = reader.ReadByte();
        if (size < 0) throw GIFException("Premature end of data");
        if (size == 0) return;
        reader.ReadFixed(block, static_cast<size_t>(size));
        onBlock(block, size);
    }
}

}  // namespace

// ------------------------------------------------------------ colour maps

void TGIFColorMap::Load(TGIFReader& reader, int sizeBits) {
    const int count = 2 << (sizeBits & 7);
    uint8_t bytes[256 * 3];
    reader.ReadFixed(bytes, static_cast<size_t>(count) * 3);
    colors_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        colors_[static_cast<size_t>(i)] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
}

// ------------------------------------------------------------ header

void TGIFHeader::Clear() {
    width_ = height_ = 0;
    packed_ = background_ = aspect_ = 0;
    colorMap_.Clear();
}

void TGIFHeader::Load(TGIFReader& reader) {
    const int64_t start = reader.Position();
    uint8_t signature[6];
    reader.ReadFixed(signature, sizeof signature);
    if (!StartsWithGIF(signature)) {
        // Some files carry 4 bytes in front of the signature.
        reader.SeekTo(start + 4);
        reader.ReadFixed(signature, sizeof signature);
        if (!StartsWithGIF(signature)) throw GIFException("Invalid GIF signature");
    }
    uint8_t screen[7];
    reader.ReadFixed(screen, sizeof screen);
    width_ = Word(screen);
    height_ = Word(screen + 2);
    packed_ = screen[4];
    background_ = screen[5];
    aspect_ = screen[6];
    Image()->CheckPixelCount("logical screen", width_, height_);
    if (packed_ & 0x80) colorMap_.Load(reader, packed_ & 7);
}

// ------------------------------------------------------------ extensions

void TGIFGraphicControlExtension::Load(TGIFReader& reader) {
    // Block size, packed fields, delay, transparent index, terminator; a
    // short block is tolerated.
    uint8_t block[6] = {};
    if (reader.Read(block, sizeof block) < sizeof block)
        Image()->Warning(TGIFSeverity::gsWarning, "Premature end of data");
    packed_ = block[1];
    delay_ = Word(block + 2);
    transparentIndex_ = block[4];
}

void TGIFTextExtension::Load(TGIFReader& reader) {
    reader.ReadFixed(header_.data(), header_.size());
    ReadSubBlocks(reader, [](const uint8_t*, int) {});
}

void TGIFCommentExtension::Load(TGIFReader& reader) {
    ReadSubBlocks(reader, [this](const uint8_t* data, int size) {
        text_.append(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
    });
}

std::string TGIFApplicationExtension::LoadIdentification(TGIFReader& reader) {
    uint8_t size = 0;
    reader.ReadFixed(&size, 1);
    if (size < 10) throw GIFException("Unsupported Application Extension block size");
    uint8_t block[255];
    reader.ReadFixed(block, size);
    return std::string(reinterpret_cast<const char*>(block), size < 11 ? size : 11);
}

void TGIFAppExtNSLoop::Load(TGIFReader& reader) {
    ReadSubBlocks(reader, [this](const uint8_t* data, int size) {
        const int id = data[0] & 7;
        if (id == 1) {
            if (size < 3) throw GIFException("Invalid GIF data");
            loops_ = Word(data + 1);
        } else if (id == 2) {
            if (size < 5) throw GIFException("Invalid GIF data");
            bufferSize_ = static_cast<uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16)) |
                          (static_cast<uint32_t>(data[4]) << 24);
        }
    });
}

void TGIFUnknownAppExtension::Load(TGIFReader& reader) {
    ReadSubBlocks(reader, [this](const uint8_t* data, int size) {
        blocks_.emplace_back(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
    });
}

namespace {

std::unique_ptr<TGIFExtension> ReadExtension(TGIFReader& reader, TGIFImage* image) {
    uint8_t head[2];
    reader.ReadFixed(head, sizeof head);  // introducer and label
    std::unique_ptr<TGIFExtension> extension;
    switch (head[1]) {
        case TGIFTextExtension::kLabel:
            extension = std::make_unique<TGIFTextExtension>(image);
            break;
        case TGIFGraphicControlExtension::kLabel:
            extension = std::make_unique<TGIFGraphicControlExtension>(image);
            break;
        case TGIFCommentExtension::kLabel:
            extension = std::make_unique<TGIFCommentExtension>(image);
            break;
        case TGIFApplicationExtension::kLabel: {
            std::string id = TGIFApplicationExtension::LoadIdentification(reader);
            std::unique_ptr<TGIFApplicationExtension> app;
            if (id == "NETSCAPE2.0" || id == "ANIMEXTS1.0")
                app = std::make_unique<TGIFAppExtNSLoop>(image);
            else
                app = std::make_unique<TGIFUnknownAppExtension>(image);
            app->SetIdentifier(std::move(id));
            extension = std::move(app);
            break;
        }
        default:
            throw GIFException("Unknown extension type");
    }
    extension->Load(reader);
    return extension;
}

}  // namespace

// ------------------------------------------------------------ frames

void TGIFSubImage::AddExtension(std::unique_ptr<TGIFExtension> extension) {
    if (control_ == nullptr && extension->Label() == TGIFGraphicControlExtension::kLabel)
        control_ = static_cast<const TGIFGraphicControlExtension*>(extension.get());
    extensions_.push_back(std::move(extension));
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
    if (colorMap_.Count() > 0) return colorMap_;
    return Image()->Header().ColorMap();
}

void TGIFSubImage::ReadDescriptor(TGIFReader& reader) {
    uint8_t descriptor[10];  // separator, left, top, width, height, packed
    reader.ReadFixed(descriptor, sizeof descriptor);
    left_ = Word(descriptor + 1);
    top_ = Word(descriptor + 3);
    width_ = Word(descriptor + 5);
    height_ = Word(descriptor + 7);
    packed_ = descriptor[9];
    if (width_ == 0 || height_ == 0) {
        width_ = Image()->Header().Width();
        height_ = Image()->Header().Height();
        Image()->Warning(TGIFSeverity::gsWarning, "Image exceeds Logical Screen size");
    }
    Image()->CheckPixelCount("frame", width_, height_);
}

void TGIFSubImage::LoadImage(TGIFReader& reader, bool keepPixels) {
    ReadDescriptor(reader);
    hasImage_ = true;
    if (packed_ & 0x80) colorMap_.Load(reader, packed_ & 7);
    DecodePixels(reader, keepPixels);
}

void TGIFSubImage::DecodePixels(TGIFReader& reader, bool keepPixels) {
    const uint8_t fill = Transparent() ? TransparentColorIndex() : 0;
    if (keepPixels) {
        const size_t pixels = static_cast<size_t>(width_) * height_;
        AnnouncePixelBuffer(pixels, pixels);
        try {
            data_.assign(pixels, fill);
        } catch (const std::bad_alloc&) {
            throw EOutOfResources("Out of system resources");
        }
    }
    const int minCodeSize = reader.ReadByte();
    if (minCodeSize < 0) return;  // no image data at all
    if (minCodeSize > kGIFMaxMinCodeSize)
        throw GIFException(Format("Invalid LZW minimum code size %d (at most %d)", minCodeSize,
                                  kGIFMaxMinCodeSize));
    TGIFImage* image = Image();
    TGIFWarningSink warn = [image](const std::string& message) {
        image->Warning(TGIFSeverity::gsWarning, message);
    };
    auto decoder = std::make_unique<TGIFLZWDecoder>(reader, minCodeSize, warn);
    decoder->Decode(keepPixels ? data_.data() : nullptr, width_, height_, Interlaced(), fill);
    decoder->Finish();
}

// ------------------------------------------------------------ picture

TGIFImage::TGIFImage() : header_(this) {}
TGIFImage::~TGIFImage() = default;

void TGIFImage::Warning(TGIFSeverity severity, const std::string& message) {
    if (OnWarning) OnWarning(this, severity, message);
}

void TGIFImage::CheckPixelCount(const char* what, uint32_t width, uint32_t height) const {
    if (static_cast<int64_t>(width) * height > maxPixels_)
        throw GIFException(Format("GIF %s of %u x %u pixels exceeds the limit of %lld pixels", what,
                                  width, height, static_cast<long long>(maxPixels_)));
}

void TGIFImage::Clear() {
    images_.clear();
    header_.Clear();
}

void TGIFImage::LoadFromStream(TStream& stream) {
    Clear();
    const int64_t start = stream.Position();
    try {
        TGIFReader reader(stream);
        header_.Load(reader);
        ReadFrames(reader);
        ReadTrailer(reader);
        reader.SyncStream();
    } catch (...) {
        Clear();
        stream.SetPosition(start);
        throw;
    }
    Changed();
}

void TGIFImage::SaveToStream(TStream&) {
    throw EInvalidGraphicOperation("Saving GIF images is not supported");
}

void TGIFImage::ReadFrames(TGIFReader& reader) {
    const int64_t size = reader.StreamSize();
    for (;;) {
        int next = reader.Peek();
        while (next == 0) {
            reader.ReadByte();
            next = reader.Peek();
        }
        if (next < 0 || next == kTrailer) return;
        if (next != kExtensionIntroducer && next != kImageSeparator) {
            Warning(TGIFSeverity::gsWarning, "Unknown GIF block type");
            return;
        }
        ReadFrame(reader);
        if (size > 0)
            Progress(TProgressStage::psRunning,
                     static_cast<uint8_t>(reader.Position() * 100 / size), false, TRect{},
                     "Loading...");
    }
}

void TGIFImage::ReadFrame(TGIFReader& reader) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    for (;;) {
        const int next = reader.Peek();
        if (next < 0 || next == kImageSeparator || next == kTrailer) break;
        if (next != kExtensionIntroducer) {
            // The stray byte is then read as the image separator.
            Warning(TGIFSeverity::gsWarning, "Invalid extension introducer");
            break;
        }
        frame->AddExtension(ReadExtension(reader, this));
    }
    const int next = reader.Peek();
    if (next > 0 && next != kTrailer) frame->LoadImage(reader, images_.empty());
    images_.push_back(std::move(frame));
}

void TGIFImage::ReadTrailer(TGIFReader& reader) {
    const int trailer = reader.ReadByte();
    if (trailer >= 0 && trailer != kTrailer)
        Warning(TGIFSeverity::gsWarning, "Invalid Image trailer");
}

}  // namespace corvane
