#include "picture/loader/PictureFormats.h"

#include <sstream>

#include "picture/formats/HEIFImage.h"

namespace corvane {

namespace {

std::string UpperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

TPictureKind KindOfName(const std::string& upperName) {
    if (upperName == "JPG") return TPictureKind::pkJPEG;
    if (upperName == "HEIC") return TPictureKind::pkHEIF;
    return KindOfExtension("." + upperName);
}

}  // namespace

TPictureKind KindOfExtension(const std::string& e) {
    if (e == ".JPG") return TPictureKind::pkJPEG;
    if (e == ".GIF") return TPictureKind::pkGIF;
    if (e == ".BMP") return TPictureKind::pkBMP;
    if (e == ".PNG") return TPictureKind::pkPNG;
    if (e == ".WEBP") return TPictureKind::pkWebP;
    if (e == ".TIF" || e == ".TIFF") return TPictureKind::pkTIFF;
    if (e == ".HEIC" || e == ".HEIF") return TPictureKind::pkHEIF;
    if (e == ".AVIF") return TPictureKind::pkAVIF;
    return TPictureKind::pkNone;
}

TPictureFormats::TPictureFormats()
    : bits_(Bit(TPictureKind::pkJPEG) | Bit(TPictureKind::pkGIF) | Bit(TPictureKind::pkBMP)) {}

const std::vector<TPictureKind>& TPictureFormats::Kinds() {
    static const std::vector<TPictureKind> kinds = {
        TPictureKind::pkJPEG, TPictureKind::pkGIF,  TPictureKind::pkBMP,  TPictureKind::pkPNG,
        TPictureKind::pkWebP, TPictureKind::pkTIFF, TPictureKind::pkHEIF, TPictureKind::pkAVIF};
    return kinds;
}

const char* TPictureFormats::NameOf(TPictureKind kind) {
    switch (kind) {
        case TPictureKind::pkJPEG:
            return "JPG";
        case TPictureKind::pkGIF:
            return "GIF";
        case TPictureKind::pkBMP:
            return "BMP";
        case TPictureKind::pkPNG:
            return "PNG";
        case TPictureKind::pkWebP:
            return "WEBP";
        case TPictureKind::pkTIFF:
            return "TIFF";
        case TPictureKind::pkHEIF:
            return "HEIC";
        case TPictureKind::pkAVIF:
            return "AVIF";
        default:
            return "";
    }
}

bool TPictureFormats::Available(TPictureKind kind) {
    if (kind == TPictureKind::pkHEIF) return THEIFImage::CanDecodeHEIC();
    if (kind == TPictureKind::pkAVIF) return THEIFImage::CanDecodeAVIF();
    return kind != TPictureKind::pkNone;
}

TPictureFormats TPictureFormats::Parse(const std::string& text) {
    TPictureFormats formats;
    formats.bits_ = 0;
    std::istringstream names(text);
    std::string name;
    while (std::getline(names, name, ',')) {
        const TPictureKind kind = KindOfName(UpperCase(Trimmed(name)));
        if (kind != TPictureKind::pkNone && Available(kind)) formats.Set(kind, true);
    }
    return formats;
}

std::string TPictureFormats::Problem(const std::string& text) {
    std::istringstream names(text);
    std::string name;
    while (std::getline(names, name, ',')) {
        const TPictureKind kind = KindOfName(UpperCase(Trimmed(name)));
        if (kind == TPictureKind::pkNone) return "unknown picture format \"" + name + "\"";
        if (!Available(kind)) return "the installed libraries do not decode " + name;
    }
    return {};
}

std::string TPictureFormats::Text() const {
    std::string text;
    for (const TPictureKind kind : Kinds()) {
        if (!Has(kind)) continue;
        if (!text.empty()) text += ',';
        text += NameOf(kind);
    }
    return text;
}

void TPictureFormats::Set(TPictureKind kind, bool on) {
    if (on) {
        bits_ |= Bit(kind);
    } else {
        bits_ &= ~Bit(kind);
    }
}

bool TPictureFormats::AcceptsName(const std::string& name) const {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const TPictureKind kind = KindOfExtension(UpperCase(name.substr(dot)));
    return kind != TPictureKind::pkNone && Has(kind);
}

}  // namespace corvane
