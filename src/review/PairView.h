// What the match pair view shows, apart from the pictures themselves: the
// difference picture of two equally sized rasters and the warning labels
// that help the user decide which file of a pair to keep.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "picture/Bitmap32.h"

namespace corvane {

// Sizes the difference raster to the common size of Left and Right and
// writes |left - right| per pixel, the 32-bit values subtracted as signed
// integers (so channel borrows carry across). Different sizes: 0 x 0.
void ComputeDifferencePicture(const TBitmap32& left, const TBitmap32& right, TBitmap32& diff);

// Folder part (up to and including the last '/') and name part of a name.
std::string FolderPart(const std::string& fullName);
std::string NamePart(const std::string& fullName);
// Upper-cases "a".."z" only.
std::string UpperAscii(std::string text);

struct THintLabel {
    std::string Caption;
    bool Visible = false;
};

// The labels of the pair view for one pair of full names.
struct TPairLabels {
    std::string LeftName;
    std::string RightName;
    bool LeftNameRed = false;
    bool RightNameRed = false;
    bool SamePath = false;
    bool SameName = false;
    THintLabel IsBMP;
    THintLabel Fave;
    THintLabel LShortPath;
    THintLabel RShortPath;
    std::string Bigger;  // always visible
    THintLabel Animation;
};

using TFileSizeFunc = std::function<int64_t(const std::string&)>;

// Computes every label from the two names, the extra-hints switch and the
// file sizes (FileSizeOf unless a test passes its own). A folder counts as
// shallow when its full name holds fewer than 3 folder separators.
TPairLabels ComputePairLabels(const std::string& leftFile, const std::string& rightFile,
                              bool showExtraHints, const TFileSizeFunc& sizeOf = nullptr);

// The name rule: the name part without the four characters from its first
// "."; true when Longer's stem is Shorter's stem plus one character.
std::string NameStem(const std::string& fullName);
bool StemExtends(const std::string& longer, const std::string& shorter);

// Left edge of the bitmap hint: a quarter of the way across the gap between
// the two picture views.
int32_t IsBMPLeft(int32_t leftViewLeft, int32_t leftViewWidth, int32_t rightViewLeft);

}  // namespace corvane
