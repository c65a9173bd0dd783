// The kinds of picture file and the set of them a directory scan accepts
// (the setting Formats, "JPG,GIF,BMP" unless the user adds more).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

enum class TPictureKind { pkNone, pkJPEG, pkGIF, pkBMP, pkPNG, pkWebP, pkTIFF, pkHEIF, pkAVIF };

// The kind of an upper-cased extension with its dot: ".JPG", ".GIF", ".BMP",
// ".PNG", ".WEBP", ".TIF"/".TIFF", ".HEIC"/".HEIF", ".AVIF"; pkNone otherwise.
TPictureKind KindOfExtension(const std::string& upperExtension);

class TPictureFormats {
  public:
    // JPG, GIF and BMP.
    TPictureFormats();
    // Names separated by commas in any letter case: JPG, GIF, BMP, PNG, WEBP,
    // TIFF (or TIF), HEIC (or HEIF), AVIF. Unknown names, and formats the
    // installed libraries cannot decode, are left out.
    static TPictureFormats Parse(const std::string& text);
    // Why Parse would leave a name of the text out; empty when it takes all.
    static std::string Problem(const std::string& text);
    // The names in the order above, separated by commas.
    std::string Text() const;

    // Every kind a setting can name, in the order above, and its name.
    static const std::vector<TPictureKind>& Kinds();
    static const char* NameOf(TPictureKind kind);
    // The installed libraries decode this kind (AVIF and HEIC depend on
    // libheif's plugins).
    static bool Available(TPictureKind kind);

    bool Has(TPictureKind kind) const { return (bits_ & Bit(kind)) != 0; }
    void Set(TPictureKind kind, bool on);
    // The directory scan's test: the name's extension (from its last dot,
    // upper-cased) is one of an accepted kind.
    bool AcceptsName(const std::string& name) const;

    bool operator==(const TPictureFormats&) const = default;

  private:
    static uint32_t Bit(TPictureKind kind) { return 1u << static_cast<int>(kind); }
    uint32_t bits_;
};

}  // namespace corvane
