#include "review/WindowTexts.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace corvane {

namespace {

std::string Clock(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

std::string RunProgressText(const std::string& runName, int64_t index, int64_t total,
                            double elapsedSeconds, const std::string& item) {
    std::string text = runName + ": " + std::to_string(index);
    if (total > 0) {
        text += " of " + std::to_string(total);
        if (index >= 2 && index <= total && elapsedSeconds > 0) {
            // Items done so far: all before the current one.
            const double left = elapsedSeconds / static_cast<double>(index - 1) *
                                static_cast<double>(total - index + 1);
            text += " \u00B7 about " + Clock(static_cast<int64_t>(std::ceil(left))) + " left";
        }
    }
    if (!item.empty()) text += " \u00B7 " + item;
    return text;
}

std::string FileSizeText(int64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>((bytes + 512) / 1024));
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

std::string PictureInfoText(const TBitmap32& raster, const std::string& fileName) {
    struct stat info;
    const bool exists = !fileName.empty() && ::stat(fileName.c_str(), &info) == 0;
    if (raster.Empty() && !exists) return "";
    std::string text =
        std::to_string(raster.Width()) + " \u00D7 " + std::to_string(raster.Height()) + " px";
    if (exists) {
        text += " \u00B7 " + FileSizeText(static_cast<int64_t>(info.st_size));
        struct tm local;
        char date[32];
        if (::localtime_r(&info.st_mtime, &local) != nullptr &&
            std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local) > 0)
            text += " \u00B7 " + std::string(date);
    }
    return text;
}

std::string DifferenceInfoText(const TBitmap32& left, const TBitmap32& right,
                               const TBitmap32& diff) {
    if (diff.Empty()) {
        const bool bothThere = !left.Empty() && !right.Empty();
        return bothThere ? "sizes differ" : "";
    }
    for (int32_t y = 0; y < diff.Height(); ++y) {
        const TColor32* row = diff.ScanLine(y);
        for (int32_t x = 0; x < diff.Width(); ++x)
            if (row[x] != 0) return "";
    }
    return "identical";
}

}  // namespace corvane
