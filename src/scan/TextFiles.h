// The program folder's plain text files: lists of lines (NoMatches.Txt,
// BadFiles.txt), the compute run's log (log.txt) and the settings file
// (Corvane.INI), read and written the way the window and the command-line
// program share them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "util/Exception.h"

namespace corvane {

// A text file that cannot be created or written: "Cannot create file %s",
// "Unable to write to %s".
class ETextFileError : public Exception {
  public:
    using Exception::Exception;
};

// Lines of a text file; a carriage return, a line feed or both end a line.
// A missing or unreadable file gives no lines.
std::vector<std::string> ReadTextLines(const std::string& fileName);

// Writes the lines, each ending in carriage return and line feed, replacing
// the file as one step: a failed write leaves the earlier file as it was and
// throws ETextFileError "Unable to write to %s".
void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines);

// A text file written line by line (the compute run's log). Open creates or
// empties the file ("Cannot create file %s"); WriteLine appends the line and
// a carriage return and line feed ("Unable to write to %s"); Close (also the
// destructor) closes it. Lines reach the file as they are written.
class TLogFile {
  public:
    TLogFile() = default;
    ~TLogFile() { CloseQuietly(); }
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    void Open(const std::string& fileName);
    void WriteLine(const std::string& line);
    void Close();
    void CloseQuietly() noexcept;
    bool IsOpen() const { return file_ != nullptr; }

  private:
    std::FILE* file_ = nullptr;
    std::string name_;
};

// An INI file with the semantics of the platform's private-profile functions:
// section and key names match ignoring the case of "a".."z"; the first
// matching section and key win; values lose surrounding blanks and one pair
// of surrounding quotes; a missing file, section or key gives the default.
// WriteString changes or adds just that key, keeping every other line, and
// rewrites the file as one step ("Unable to write to %s" on failure).
class TIniFile {
  public:
    explicit TIniFile(std::string fileName);
    const std::string& FileName() const { return fileName_; }
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

  private:
    std::string fileName_;
    std::vector<std::string> lines_;
};

}  // namespace corvane
