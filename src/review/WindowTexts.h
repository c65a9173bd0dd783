// Texts the window shows beside the Parts' own captions, kept free of Qt so
// they are tested headless: the progress line of a long run, the line under
// each picture of the pair view, and what the difference picture means.
#pragma once

#include <cstdint>
#include <string>

#include "picture/Bitmap32.h"

namespace corvane {

// "Computing Signatures: 12 of 250 · about 00:01:05 left · /pics/a.jpg".
// Total 0 (not known ahead) leaves out "of N" and the estimate; so does an
// Index below 2 (no pace yet). The estimate assumes the pace so far.
std::string RunProgressText(const std::string& runName, int64_t index, int64_t total,
                            double elapsedSeconds, const std::string& item);

// "1600 × 1200 px · 1.2 MB · 2026-12-10 14:33" for a picture view's raster
// and its file; an empty raster of a missing file gives "".
std::string PictureInfoText(const TBitmap32& raster, const std::string& fileName);

// What the difference picture shows: "identical" when it is all black,
// "sizes differ" when it is empty because the two pictures differ in size,
// else "".
std::string DifferenceInfoText(const TBitmap32& left, const TBitmap32& right,
                               const TBitmap32& diff);

// Bytes as "532 bytes", "14 KB", "1.2 MB" (powers of 1024).
std::string FileSizeText(int64_t bytes);

}  // namespace corvane
