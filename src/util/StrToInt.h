// Integer conversion of texts typed by the user or stored in tables.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Accepts leading spaces (the space character only), an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "0x" (either case),
// running to the end of the text. Anything else - an empty text, trailing
// spaces, a value outside 32 bits - throws EConvertError
// "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// Same rules; returns false instead of throwing.
bool TryStrToInt(std::string_view text, int32_t& value);

}  // namespace corvane
