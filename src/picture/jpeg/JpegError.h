// EJPEG: every failure of the JPEG library, with "JPEG error #N".
#pragma once

#include "picture/Graphics.h"

namespace corvane {

class EJPEG : public EInvalidGraphic {
  public:
    using EInvalidGraphic::EInvalidGraphic;
};

}  // namespace corvane
