// TTIFFImage: the picture class of .TIF/.TIFF files over libtiff. The first
// page, through libtiff's RGBA interface: every photometric interpretation
// the library converts, 16-bit samples rounded to 8 bits, the file's
// orientation tag honoured as that interface does, alpha laid over black.
// Failures: ETIFF "TIFF error: <message>".
#pragma once

#include "picture/formats/DecodedPicture.h"

namespace corvane {

class ETIFF : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TTIFFImage : public TDecodedPicture {
  public:
    std::string ClassName() const override { return "TTIFFImage"; }

  protected:
    const char* FormatName() const override { return "TIFF"; }
    void ReadSize(int32_t& width, int32_t& height) override;
    void DecodeInto(const TPixelArea& area) override;
    [[noreturn]] void Fail(const std::string& message) const override { throw ETIFF(message); }
};

}  // namespace corvane
