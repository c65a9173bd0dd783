// TPNGImage: the picture class of .PNG files over libpng. Palette and gray
// pictures are expanded to RGB, 16-bit samples scaled to 8 bits with
// rounding, transparency (alpha channel or tRNS) laid over black; no gamma
// correction. Every libpng error fails with EPNG "PNG error: <message>".
#pragma once

#include "picture/formats/DecodedPicture.h"

namespace corvane {

class EPNG : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TPNGImage : public TDecodedPicture {
  public:
    std::string ClassName() const override { return "TPNGImage"; }

  protected:
    const char* FormatName() const override { return "PNG"; }
    void ReadSize(int32_t& width, int32_t& height) override;
    void DecodeInto(const TPixelArea& area) override;
    [[noreturn]] void Fail(const std::string& message) const override { throw EPNG(message); }
};

}  // namespace corvane
