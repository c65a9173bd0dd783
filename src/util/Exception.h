// Failures travel as exceptions carrying a message; every layer derives its
// own kind from Exception so callers can catch "anything the program raises".
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Text that is not a whole number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// What a user needs to hear about a failed write beyond "Unable to write to
// FILE": "; the disk is full" for ENOSPC, "; the disk quota is exceeded" for
// EDQUOT, else nothing.
std::string WriteFailureDetail(int error);

// printf-style formatting into a std::string, for the messages of all layers.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace corvane
