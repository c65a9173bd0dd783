// Filling a raster from other objects and back.
#include <algorithm>

#include "picture/Bitmap32.h"

namespace corvane {

void TBitmap32::Assign(const TPersistent* source) {
    Changing();
    BeginUpdate();
    try {
        if (source == nullptr) {
            SetSize(0, 0);
        } else if (auto raster = dynamic_cast<const TBitmap32*>(source)) {
            SetSize(raster->Width(), raster->Height());
            if (!Empty()) {
                std::copy_n(raster->Bits(), static_cast<size_t>(width_) * height_, Bits());
                drawMode_ = raster->drawMode_;
                masterAlpha_ = raster->masterAlpha_;
                outerColor_ = raster->outerColor_;
                stretchFilter_ = raster->stretchFilter_;
            }
        } else {
            AssignError(source);
        }
    } catch (...) {
        EndUpdate();
        Changed();
        throw;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::AssignTo(TPersistent* dest) const {
    TPersistent::AssignTo(dest);
}

}  // namespace corvane
