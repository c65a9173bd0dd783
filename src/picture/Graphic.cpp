// The picture base class, the container and its extension table.
#include <algorithm>
#include <mutex>

#include "picture/Graphics.h"

namespace corvane {

// ------------------------------------------------------------- TGraphic

void TGraphic::SetWidth(int32_t) {}
void TGraphic::SetHeight(int32_t) {}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileStream::fmOpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileStream::fmCreate);
    SaveToStream(stream);
}

void TGraphic::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    Changed();
}

void TGraphic::SetModified(bool value) {
    if (value) {
        Changed();
    } else {
        modified_ = false;
    }
}

void TGraphic::Changed() {
    modified_ = true;
    if (OnChange) OnChange(this);
}

void TGraphic::Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow,
                        const TRect& rect, const std::string& message) {
    if (OnProgress) OnProgress(this, stage, percentDone, redrawNow, rect, message);
}

// ------------------------------------------------ placeholder formats

namespace {

// Metafiles and icons have rows in the table but are not read by this system.
class TUnreadableGraphic : public TGraphic {
  public:
    int32_t Width() const override { return 0; }
    int32_t Height() const override { return 0; }
    bool Empty() const override { return true; }
    void Draw(TCanvas&, const TRect&) override {}
    void SaveToStream(TStream&) override {}
};

class TMetafile : public TUnreadableGraphic {
  public:
    std::string ClassName() const override { return "TMetafile"; }
    void LoadFromStream(TStream&) override { throw EInvalidGraphic("Metafile is not supported"); }
};

class TIcon : public TUnreadableGraphic {
  public:
    std::string ClassName() const override { return "TIcon"; }
    void LoadFromStream(TStream&) override { throw EInvalidGraphic("Icon is not supported"); }
};

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

// ----------------------------------------------------- TFileFormatsList

struct TFileFormatsList::TState {
    mutable std::mutex section;
    std::vector<TFileFormat> rows;
};

TFileFormatsList::TFileFormatsList() : state_(std::make_shared<TState>()) {
    Add<TMetafile>("wmf", "Metafiles");
    Add<TMetafile>("emf", "Enhanced Metafiles");
    Add<TIcon>("ico", "Icons");
    Add<TBitmap>("bmp", "Bitmaps");
}

TFileFormatsList& TFileFormatsList::Instance() {
    static TFileFormatsList list;
    return list;
}

void TFileFormatsList::Add(const std::string& extension, const std::string& description,
                           const std::string& className, TGraphicFactory create) {
    std::lock_guard<std::mutex> guard(state_->section);
    const std::string lower = LowerAscii(extension);
    for (const TFileFormat& row : state_->rows)
        if (row.extension == lower && row.className == className) return;
    state_->rows.push_back(TFileFormat{lower, description, className, std::move(create)});
}

const TFileFormat* TFileFormatsList::FindExt(const std::string& extension) const {
    std::lock_guard<std::mutex> guard(state_->section);
    for (auto row = state_->rows.rbegin(); row != state_->rows.rend(); ++row)
        if (row->extension == extension) return &*row;
    return nullptr;
}

std::vector<TFileFormat> TFileFormatsList::Rows() const {
    std::lock_guard<std::mutex> guard(state_->section);
    return state_->rows;
}

// ------------------------------------------------------------- TPicture

namespace {
// Extension of the name part without its dot, as written ("" when none).
std::string ExtensionOf(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return fileName.substr(dot + 1);
}
}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    if (graphic_) graphic_->OnChange = [this](TPersistent*) { Changed(); };
    Changed();
}

TBitmap& TPicture::Bitmap() {
    if (auto bitmap = dynamic_cast<TBitmap*>(graphic_.get())) return *bitmap;
    SetGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap&>(*graphic_);
}

void TPicture::LoadFromFile(const std::string& fileName) {
    const std::string extension = ExtensionOf(fileName);
    const TFileFormat* format = TFileFormatsList::Instance().FindExt(LowerAscii(extension));
    if (format == nullptr)
        throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", extension.c_str()));
    std::unique_ptr<TGraphic> graphic = format->create();
    graphic->OnProgress = [this](TPersistent*, TProgressStage stage, uint8_t percent, bool redraw,
                                 const TRect& rect, const std::string& message) {
        if (OnProgress) OnProgress(this, stage, percent, redraw, rect, message);
    };
    graphic->LoadFromFile(fileName);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::Assign(const TPersistent* source) {
    if (source == nullptr) {
        SetGraphic(nullptr);
        return;
    }
    const TPersistent* held = source;
    if (auto picture = dynamic_cast<const TPicture*>(source)) {
        held = picture->Graphic();
        if (held == nullptr) {
            SetGraphic(nullptr);
            return;
        }
    }
    if (auto bitmap = dynamic_cast<const TBitmap*>(held)) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(bitmap);
        SetGraphic(std::move(copy));
        return;
    }
    TPersistent::Assign(held);
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

}  // namespace corvane
