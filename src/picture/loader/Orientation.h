// Turning a raster upright by an EXIF orientation value.
#pragma once

#include "picture/Bitmap32.h"

namespace corvane {

// Orientation 1 (or any value outside 2..8) leaves the raster as it is;
// 2 mirrors it left to right, 3 turns it by 180 degrees, 4 mirrors it top to
// bottom, 5 mirrors it about the top-left to bottom-right diagonal, 6 turns
// it 90 degrees clockwise, 7 mirrors it about the other diagonal, 8 turns it
// 90 degrees anticlockwise: what a viewer does to show the picture upright.
void OrientRaster(TBitmap32& raster, int orientation);

}  // namespace corvane
