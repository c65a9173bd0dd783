#include "matching/IgnoreList.h"

#include "matching/FormState.h"

#include <cstdio>

namespace corvane {

std::string UpperCaseAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

TIgnoreList::TIgnoreList(const std::vector<std::string>& lines) {
    upperLines_.reserve(lines.size());
    for (const std::string& line : lines) upperLines_.push_back(UpperCaseAscii(line));
}

bool TIgnoreList::Contains(std::string_view path) const {
    if (upperLines_.empty()) return false;
    const std::string upper = UpperCaseAscii(path);
    for (const std::string& line : upperLines_) {
        if (line == upper) return true;
    }
    return false;
}

std::string FormatElapsed(TRunClock::duration elapsed) {
    constexpr int64_t kDayMs = 86'400'000;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    int64_t ms = (us + (us >= 0 ? 500 : -500)) / 1000;
    ms = ((ms % kDayMs) + kDayMs) % kDayMs;
    const int64_t seconds = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

}  // namespace corvane
