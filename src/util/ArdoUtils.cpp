#include "util/ArdoUtils.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace corvane {

std::string PadWithChar(const std::string& text, int width, char fill) {
    if (width <= 0 || text.size() >= static_cast<size_t>(width)) return text;
    return std::string(static_cast<size_t>(width) - text.size(), fill) + text;
}

std::string PadNumber(const std::string& text, int width) {
    return PadWithChar(text, width, ' ');
}

namespace {

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
int64_t DaysFromOrigin(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = era * 146097 + doe - 719468;
    return unixDays + 25569;  // 1970-01-01 is day 25569
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    const int64_t z = days - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<double>(DaysFromOrigin(year, month, day)) +
           (hour * 3600 + minute * 60 + second) / 86400.0;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second) {
    // Round to the nearest second first so that 10:15:30 never reads 10:15:29.999.
    const int64_t totalSeconds = std::llround(value * 86400.0);
    int64_t days = totalSeconds / 86400;
    int64_t secs = totalSeconds % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    CivilFromDays(days, year, month, day);
    hour = static_cast<int>(secs / 3600);
    minute = static_cast<int>(secs / 60 % 60);
    second = static_cast<int>(secs % 60);
}

std::string FormatDateTime(TDateTime value) {
    int y, mo, d, h, mi, s;
    DecodeDateTime(value, y, mo, d, h, mi, s);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return text;
}

int32_t FileSizeOf(const std::string& fileName) {
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(info.st_size));
}

TDateTime FileDateOf(const std::string& fileName) {
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0) return 0;
    const time_t seconds = info.st_mtime;
    struct tm local;
    if (::localtime_r(&seconds, &local) == nullptr) return 0;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec & ~1);
}

}  // namespace corvane
