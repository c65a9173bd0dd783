// TWebPImage: the picture class of .WEBP files over libwebp. Lossy pictures
// come out as the library's default decoding gives them (fancy upsampling),
// lossless ones exactly; of an animation only the first frame counts, on the
// animation's canvas. Alpha is laid over black. Failures: EWebP
// "WebP error: <reason>".
#pragma once

#include "picture/formats/DecodedPicture.h"

namespace corvane {

class EWebP : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TWebPImage : public TDecodedPicture {
  public:
    std::string ClassName() const override { return "TWebPImage"; }

  protected:
    const char* FormatName() const override { return "WebP"; }
    void ReadSize(int32_t& width, int32_t& height) override;
    void DecodeInto(const TPixelArea& area) override;
    [[noreturn]] void Fail(const std::string& message) const override { throw EWebP(message); }

  private:
    void DecodeStill(const TPixelArea& area);
    void DecodeFirstFrame(const TPixelArea& area);
    bool animated_ = false;
    bool alpha_ = false;
};

}  // namespace corvane
