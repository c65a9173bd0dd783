// Message numbers of the JPEG library as this program reports them.
//
// Failures show "JPEG error #N" where N is the code the IJG library version 6a
// gives the message. The installed library numbers its messages differently
// (codes were added and removed since), so each installed code is translated
// by its NAME into the 6a number.
#pragma once

#include <string>

namespace corvane {

// Number of messages in the 6a list (its JMSG_LASTMSGCODE).
constexpr int kJpeg6aMessageCount = 120;

// The 6a number of the installed library's message code. Codes that 6a did
// not have are numbered from kJpeg6aMessageCount upward, in the installed
// library's order (a message only renamed since keeps its 6a number);
// codes outside the installed list map to 0 (6a's
// JMSG_NOMESSAGE, "Bogus message code").
int JpegMessageNumber(int libraryCode);

// The installed library's name of a message code ("JERR_NO_SOI"), or "" when
// the code is outside its list.
std::string JpegMessageName(int libraryCode);

// The installed library's code for a 6a name, or -1 when it has none.
int JpegLibraryCodeOf(const std::string& name);

// "JPEG error #N" for the installed library's message code.
std::string JpegErrorText(int libraryCode);

}  // namespace corvane
