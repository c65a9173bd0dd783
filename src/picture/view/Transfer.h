// The raster's draw-into-rectangle transfer, nearest-neighbour and opaque,
// as the picture view uses it: integer arithmetic only, pixels copied
// unchanged (alpha included).
#pragma once

#include <cstdint>

#include "picture/Bitmap32.h"
#include "picture/Rect.h"

namespace corvane {

TRect IntersectRect(const TRect& a, const TRect& b);

// Failure of the transfer's argument checks.
class ETransferError : public Exception {
  public:
    using Exception::Exception;
};

// Draws the whole of Source into Dest at DestRect, resampling with nearest
// neighbour in 16.16 fixed point; the part of DestRect outside Dest is
// clipped. Throws "Destination bitmap is nil or empty" / "Source bitmap is nil
// or empty" for empty rasters; an empty DestRect draws nothing. Unclipped,
// target column i maps to source column (i * stepX) >> 16 with
// stepX = (source width << 16) / DestRect width; rows likewise.
void DrawInto(const TBitmap32& source, TBitmap32& dest, const TRect& destRect);

// The general form: SourceRect of Source into DestRect of Dest. Throws
// "Source rectangle is invalid" when SourceRect is not inside Source.
void StretchTransfer(TBitmap32& dest, const TRect& destRect, const TBitmap32& source,
                     const TRect& sourceRect);

// Windows-style MulDiv: a * b / c rounded to nearest (halves away from zero).
int32_t MulDiv(int64_t a, int64_t b, int64_t c);

}  // namespace corvane
