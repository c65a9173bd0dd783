#include "scan/TextFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "matching/IgnoreList.h"

namespace corvane {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes Bytes to a temporary file beside the target, flushes it to disk and
// renames it over the target. Returns 0 or the errno of the failure.
int ReplaceFileContents(const std::string& fileName, const std::string& bytes) {
    const std::string temporary = fileName + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = 0;
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), fileName.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temporary.c_str());
    return error;
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::optional<std::string> SectionName(const std::string& line) {
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

bool SameName(const std::string& a, const std::string& b) {
    return UpperCaseAscii(a) == UpperCaseAscii(b);
}

// Key of a "key=value" line, if it is one.
std::optional<std::string> KeyName(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return Trim(line.substr(0, equals));
}

std::string ValueOf(const std::string& line) {
    std::string value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return SplitLines(text.str());
}

void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    if (const int error = ReplaceFileContents(fileName, bytes); error != 0) {
        throw ETextFileError(Format("Unable to write to %s", fileName.c_str()) +
                             WriteFailureDetail(error));
    }
}

void TLogFile::Open(const std::string& fileName) {
    CloseQuietly();
    name_ = fileName;
    file_ = std::fopen(fileName.c_str(), "wb");
    if (file_ == nullptr) {
        throw ETextFileError(Format("Cannot create file %s", fileName.c_str()));
    }
}

void TLogFile::WriteLine(const std::string& line) {
    if (file_ == nullptr || std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
        std::fputs("\r\n", file_) == EOF || std::fflush(file_) != 0) {
        throw ETextFileError(Format("Unable to write to %s", name_.c_str()) +
                             WriteFailureDetail(errno));
    }
}

void TLogFile::Close() {
    if (file_ == nullptr) return;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok) throw ETextFileError(Format("Unable to write to %s", name_.c_str()));
}

void TLogFile::CloseQuietly() noexcept {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    lines_ = ReadTextLines(fileName_);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    bool inSection = false;
    bool sectionSeen = false;
    for (const std::string& line : lines_) {
        if (const auto name = SectionName(line)) {
            if (inSection) break;  // only the first section of that name counts
            inSection = !sectionSeen && SameName(*name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        const auto lineKey = KeyName(line);
        if (lineKey && SameName(*lineKey, key)) return ValueOf(line);
    }
    return defaultValue;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    std::vector<std::string> lines = lines_;
    const std::string newLine = key + "=" + value;
    size_t sectionLine = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (name && SameName(*name, section)) {
            sectionLine = i;
            break;
        }
    }
    if (sectionLine == lines.size()) {
        lines.push_back("[" + section + "]");
        lines.push_back(newLine);
    } else {
        size_t lastContent = sectionLine;
        bool replaced = false;
        for (size_t i = sectionLine + 1; i < lines.size() && !SectionName(lines[i]); ++i) {
            const auto lineKey = KeyName(lines[i]);
            if (lineKey && SameName(*lineKey, key)) {
                lines[i] = newLine;
                replaced = true;
                break;
            }
            if (!Trim(lines[i]).empty()) lastContent = i;
        }
        if (!replaced)
            lines.insert(lines.begin() + static_cast<ptrdiff_t>(lastContent) + 1, newLine);
    }
    WriteTextLines(fileName_, lines);
    lines_ = std::move(lines);
}

}  // namespace corvane
