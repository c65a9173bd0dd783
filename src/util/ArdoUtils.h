// Small free-standing helpers shared by every part of the program.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Date-time value: days since 30 December 1899, the time of day as fraction.
using TDateTime = double;

// Puts spaces in front of Text until it is Width characters long; never cuts.
std::string PadNumber(const std::string& text, int width);

// Puts copies of Fill in front of Text until it is Width characters long.
std::string PadWithChar(const std::string& text, int width, char fill);

// Low 32 bits of the size of the named file or folder; 0 when missing.
int32_t FileSizeOf(const std::string& fileName);

// Local modification time truncated to an even second; 0 when missing.
TDateTime FileDateOf(const std::string& fileName);

// Conversions between local calendar time and date-time values.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second);
// "YYYY-MM-DD hh:mm:ss"
std::string FormatDateTime(TDateTime value);

}  // namespace corvane
