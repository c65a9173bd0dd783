#include "review/PairView.h"

#include <algorithm>

#include "util/ArdoUtils.h"

namespace corvane {

void ComputeDifferencePicture(const TBitmap32& left, const TBitmap32& right, TBitmap32& diff) {
    if (left.Width() != right.Width() || left.Height() != right.Height()) {
        diff.SetSize(0, 0);
        return;
    }
    diff.SetSize(left.Width(), left.Height());
    if (diff.Empty()) return;
    for (int32_t y = 0; y < left.Height(); ++y) {
        const TColor32* l = left.ScanLine(y);
        const TColor32* r = right.ScanLine(y);
        TColor32* d = diff.ScanLine(y);
        for (int32_t x = 0; x < left.Width(); ++x) {
            const uint32_t delta = l[x] - r[x];  // modulo 2^32
            d[x] = static_cast<int32_t>(delta) >= 0 ? delta : 0u - delta;
        }
    }
}

std::string FolderPart(const std::string& fullName) {
    const size_t slash = fullName.rfind('/');
    return slash == std::string::npos ? std::string() : fullName.substr(0, slash + 1);
}

std::string NamePart(const std::string& fullName) {
    const size_t slash = fullName.rfind('/');
    return slash == std::string::npos ? fullName : fullName.substr(slash + 1);
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string NameStem(const std::string& fullName) {
    std::string name = NamePart(fullName);
    const size_t dot = name.find('.');
    if (dot != std::string::npos) name.erase(dot, 4);
    return name;
}

bool StemExtends(const std::string& longer, const std::string& shorter) {
    return longer.size() == shorter.size() + 1 && longer.compare(0, shorter.size(), shorter) == 0;
}

int32_t IsBMPLeft(int32_t leftViewLeft, int32_t leftViewWidth, int32_t rightViewLeft) {
    return leftViewLeft + leftViewWidth + (rightViewLeft - leftViewLeft - leftViewWidth) / 4;
}

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

std::string BitmapHint(const std::string& left, const std::string& right) {
    const bool l = Contains(UpperAscii(left), "FROM-BMP");
    const bool r = Contains(UpperAscii(right), "FROM-BMP");
    if (l && r) return "<== FROM BMP ==>";
    if (r) return "FROM BMP ==>";
    if (l) return "<== FROM BMP";
    return "";
}

std::string FaveHint(const std::string& left, const std::string& right) {
    // Deliberately asymmetric, as the hint has always been: FAVES on the
    // left, FAVE on the right, the right one winning.
    if (Contains(right, "FAVE")) return "FAVE ==>";
    if (Contains(left, "FAVES")) return "<== FAVE";
    return "";
}

std::string BiggerHint(int64_t a, int64_t b) {
    if (b * 11 / 10 < a) return "<== Bigger";
    if (a * 11 / 10 < b) return "Bigger ==>";
    return "";
}

bool IsShallow(const std::string& fullName) {
    return std::count(fullName.begin(), fullName.end(), '/') < 3;
}

}  // namespace

TPairLabels ComputePairLabels(const std::string& leftFile, const std::string& rightFile,
                              bool showExtraHints, const TFileSizeFunc& sizeOf) {
    TPairLabels labels;
    labels.SamePath = UpperAscii(FolderPart(leftFile)) == UpperAscii(FolderPart(rightFile));
    labels.SameName = UpperAscii(NamePart(leftFile)) == UpperAscii(NamePart(rightFile));
    labels.LeftName = leftFile;
    labels.RightName = rightFile;
    labels.IsBMP = {BitmapHint(leftFile, rightFile), showExtraHints};
    labels.Fave = {FaveHint(leftFile, rightFile), showExtraHints};
    labels.LShortPath = {IsShallow(leftFile) ? "<== SHORT" : "", showExtraHints};
    labels.RShortPath = {IsShallow(rightFile) ? "SHORT ==>" : "", showExtraHints};
    const auto size = [&](const std::string& name) -> int64_t {
        return sizeOf ? sizeOf(name) : FileSizeOf(name);
    };
    labels.Bigger = BiggerHint(size(leftFile), size(rightFile));
    std::string animation;
    if (Contains(leftFile, "ANIMATIONS"))
        animation = "<== Animation!";
    else if (Contains(rightFile, "ANIMATIONS"))
        animation = "Animation! ==>";
    labels.Animation = {animation, showExtraHints};
    const std::string leftStem = NameStem(leftFile);
    const std::string rightStem = NameStem(rightFile);
    labels.LeftNameRed = StemExtends(leftStem, rightStem);
    labels.RightNameRed = StemExtends(rightStem, leftStem);
    return labels;
}

}  // namespace corvane
