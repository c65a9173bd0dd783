#include "picture/loader/PictureLoader.h"

#include <filesystem>
#include <memory>

#include "picture/Graphics.h"
#include "picture/formats/HEIFImage.h"
#include "picture/formats/PNGImage.h"
#include "picture/formats/TIFFImage.h"
#include "picture/formats/WebPImage.h"
#include "picture/loader/Orientation.h"
#ifdef CORVANE_HAVE_JPEG
#include "picture/jpeg/JPEGImage.h"
#endif
#ifdef CORVANE_HAVE_GIF
#include "picture/gif/GIFImage.h"
#endif

namespace corvane {

namespace {

bool EndsWithIgnoringCase(const std::string& name, const char* ending) {
    const size_t n = std::char_traits<char>::length(ending);
    if (name.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = name[name.size() - n + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != ending[i]) return false;
    }
    return true;
}

bool IsRegularFile(const std::string& fileName) {
    std::error_code error;
    return std::filesystem::is_regular_file(fileName, error);
}

void EmptyRaster(TBitmap32& raster) {
    raster.SetHeight(0);
    raster.SetWidth(0);
}

// One decoder object for one load.
class TDecoder {
  public:
    virtual ~TDecoder() = default;
    virtual void LoadFromFile(const std::string& fileName, const TLoadOptions& options) = 0;
    virtual const TPersistent* Source() const = 0;
    // The EXIF orientation the raster still needs after the assignment.
    virtual int Orientation() const { return 1; }
};

template <class T>
class TDecoderOf : public TDecoder {
  public:
    void LoadFromFile(const std::string& fileName, const TLoadOptions& options) override {
        if constexpr (requires { object_.SetApplyTransformations(true); })
            object_.SetApplyTransformations(options.ApplyOrientation);
        object_.LoadFromFile(fileName);
        if constexpr (requires { object_.ExifOrientation(); })
            if (options.ApplyOrientation) orientation_ = object_.ExifOrientation();
    }
    const TPersistent* Source() const override { return &object_; }
    int Orientation() const override { return orientation_; }

  private:
    T object_;
    int orientation_ = 1;
};

// Stands in for a decoder this build was made without.
class TMissingDecoder : public TDecoder {
  public:
    explicit TMissingDecoder(const char* kind) : kind_(kind) {}
    void LoadFromFile(const std::string&, const TLoadOptions&) override {
        throw EInvalidGraphic(Format("%s pictures are not supported by this build", kind_));
    }
    const TPersistent* Source() const override { return nullptr; }

  private:
    const char* kind_;
};

std::unique_ptr<TDecoder> CreateDecoder(TPictureKind kind) {
    switch (kind) {
        case TPictureKind::pkJPEG:
#ifdef CORVANE_HAVE_JPEG
            return std::make_unique<TDecoderOf<TJPEGImage>>();
#else
            return std::make_unique<TMissingDecoder>("JPEG");
#endif
        case TPictureKind::pkGIF:
#ifdef CORVANE_HAVE_GIF
            return std::make_unique<TDecoderOf<TGIFImage>>();
#else
            return std::make_unique<TMissingDecoder>("GIF");
#endif
        case TPictureKind::pkPNG:
            return std::make_unique<TDecoderOf<TPNGImage>>();
        case TPictureKind::pkWebP:
            return std::make_unique<TDecoderOf<TWebPImage>>();
        case TPictureKind::pkTIFF:
            return std::make_unique<TDecoderOf<TTIFFImage>>();
        case TPictureKind::pkHEIF:
        case TPictureKind::pkAVIF:
            return std::make_unique<TDecoderOf<THEIFImage>>();
        default:
            return std::make_unique<TDecoderOf<TPicture>>();
    }
}

void LoadAndAssign(TDecoder& decoder, const std::string& fileName, TBitmap32& raster,
                   const TLoadOptions& options) {
    decoder.LoadFromFile(fileName, options);
    raster.Assign(decoder.Source());
    OrientRaster(raster, decoder.Orientation());
}

// The endings of the kinds that came after the four-character ones.
TPictureKind LongerKindOf(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return TPictureKind::pkNone;
    std::string ending = fileName.substr(dot);
    for (char& c : ending)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const TPictureKind kind = KindOfExtension(ending);
    const bool classic =
        kind == TPictureKind::pkJPEG || kind == TPictureKind::pkGIF || kind == TPictureKind::pkBMP;
    return classic ? TPictureKind::pkNone : kind;
}

}  // namespace

void RegisterPictureFormats() {
#ifdef CORVANE_HAVE_JPEG
    RegisterJPEGFormat();
#endif
#ifdef CORVANE_HAVE_GIF
    RegisterGIFFormat();
#endif
}

TPictureKind PictureKindOf(const std::string& fileName) {
    if (EndsWithIgnoringCase(fileName, ".JPG")) return TPictureKind::pkJPEG;
    if (EndsWithIgnoringCase(fileName, ".GIF")) return TPictureKind::pkGIF;
    if (EndsWithIgnoringCase(fileName, ".BMP")) return TPictureKind::pkBMP;
    return LongerKindOf(fileName);
}

void LoadPictureFile(TLoadControls& controls, const std::string& fileName, bool countOnly,
                     bool& loaded, TBitmap32& view, const TLoadOptions& options) {
    EmptyRaster(view);
    loaded = false;
    if (!IsRegularFile(fileName)) return;
    const TPictureKind kind = PictureKindOf(fileName);
    if (kind == TPictureKind::pkNone) return;
    if (countOnly) {
        controls.SetProgressMax(controls.ProgressMax() + 1);
        return;
    }
    controls.SetProgressPosition(controls.ProgressPosition() + 1);
    controls.ProcessMessages();
    std::unique_ptr<TDecoder> decoder = CreateDecoder(kind);
    const TCursor previous = controls.ScreenCursor();
    controls.SetScreenCursor(TCursor::crHourGlass);
    try {
        LoadAndAssign(*decoder, fileName, view, options);
    } catch (...) {
        controls.SetScreenCursor(previous);
        decoder.reset();
        throw;
    }
    controls.SetScreenCursor(previous);
    decoder.reset();
    loaded = true;
}

void LoadConversionPicture(TLoadControls& controls, const std::string& fileName, TBitmap32& raster,
                           bool* pixelsComplete, const TLoadOptions& options) {
    if (pixelsComplete != nullptr) *pixelsComplete = false;
    EmptyRaster(raster);
    const TPictureKind kind = PictureKindOf(fileName);
    if (kind == TPictureKind::pkNone) return;
    std::unique_ptr<TDecoder> decoder = CreateDecoder(kind);
    controls.SetScreenCursor(TCursor::crHourGlass);
    try {
        LoadAndAssign(*decoder, fileName, raster, options);
    } catch (...) {
        decoder.reset();
        controls.SetScreenCursor(TCursor::crArrow);
        throw;
    }
    if (pixelsComplete != nullptr) {
        const auto* picture = dynamic_cast<const TPicture*>(decoder->Source());
        const auto* bitmap =
            picture != nullptr ? dynamic_cast<const TBitmap*>(picture->Graphic()) : nullptr;
        *pixelsComplete =
            kind != TPictureKind::pkBMP || (bitmap != nullptr && bitmap->PixelsComplete());
    }
    decoder.reset();
    controls.SetScreenCursor(TCursor::crArrow);
}

}  // namespace corvane
