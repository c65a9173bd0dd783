// THEIFImage: the picture class of .HEIC/.HEIF (and .AVIF) files over
// libheif. The primary image, converted to 8-bit RGB by the library, alpha
// laid over black. The file's own rotation, mirroring and crop are applied
// only when asked for (SetApplyTransformations); otherwise the picture comes
// out as coded. Failures: EHEIF "HEIF error: <message>".
#pragma once

#include "picture/formats/DecodedPicture.h"

namespace corvane {

class EHEIF : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

class THEIFImage : public TDecodedPicture {
  public:
    std::string ClassName() const override { return "THEIFImage"; }

    // Takes effect at the next load.
    void SetApplyTransformations(bool value) { applyTransformations_ = value; }
    bool ApplyTransformations() const { return applyTransformations_; }

    // The installed library can decode HEVC (HEIC) or AV1 (AVIF) pictures.
    static bool CanDecodeHEIC();
    static bool CanDecodeAVIF();

  protected:
    const char* FormatName() const override { return "HEIF"; }
    void ReadSize(int32_t& width, int32_t& height) override;
    void DecodeInto(const TPixelArea& area) override;
    [[noreturn]] void Fail(const std::string& message) const override { throw EHEIF(message); }

  private:
    bool applyTransformations_ = false;
};

}  // namespace corvane
