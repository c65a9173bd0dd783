#include "util/Exception.h"

#include <cerrno>

#include <cstdarg>
#include <cstdio>

namespace corvane {

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string result(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(result.data(), result.size() + 1, fmt, args);
    va_end(args);
    return result;
}

std::string WriteFailureDetail(int error) {
    if (error == ENOSPC) return "; the disk is full";
    if (error == EDQUOT) return "; the disk quota is exceeded";
    return "";
}

}  // namespace corvane
