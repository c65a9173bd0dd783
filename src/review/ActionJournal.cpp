#include "review/ActionJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>

#include "util/SafeFiles.h"

namespace corvane {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\t':
                out += "%09";
                break;
            case '\n':
                out += "%0A";
                break;
            case '\r':
                out += "%0D";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    if (text.find('%') == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<uint8_t>(text[i + 1])) &&
            std::isxdigit(static_cast<uint8_t>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += Escape(fields[i]);
    }
    return line + '\n';
}

const char* KindName(TStepKind kind) {
    switch (kind) {
        case TStepKind::Trash:
            return "trash";
        case TStepKind::Erase:
            return "erase";
        case TStepKind::Move:
            return "move";
    }
    return "trash";
}

std::optional<TStepKind> KindOf(const std::string& name) {
    if (name == "trash") return TStepKind::Trash;
    if (name == "erase") return TStepKind::Erase;
    if (name == "move") return TStepKind::Move;
    return std::nullopt;
}

// A null field is written as its name alone; a value follows after "=".
std::vector<std::string> RecordLine(int64_t id, const char* table, const TRecordCopy& record) {
    std::vector<std::string> line = {"rec", std::to_string(id), table};
    for (const auto& [name, value] : record.Fields)
        line.push_back(value ? name + "=" + *value : name);
    return line;
}

TRecordCopy RecordOf(const std::vector<std::string>& line) {
    TRecordCopy record;
    for (size_t i = 3; i < line.size(); ++i) {
        const size_t equals = line[i].find('=');
        if (equals == std::string::npos)
            record.Fields.emplace_back(line[i], std::nullopt);
        else
            record.Fields.emplace_back(line[i].substr(0, equals), line[i].substr(equals + 1));
    }
    return record;
}

std::vector<std::vector<std::string>> StepLines(const TJournalStep& step) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back(
        {"step", std::to_string(step.Id), KindName(step.Kind), step.File, step.Destination});
    for (const TRecordCopy& record : step.Signatures)
        lines.push_back(RecordLine(step.Id, "sig", record));
    for (const TRecordCopy& record : step.Matches)
        lines.push_back(RecordLine(step.Id, "row", record));
    return lines;
}

std::vector<std::string> DoneLine(const TJournalStep& step) {
    return {"done",     std::to_string(step.Id), step.TrashPath,
            step.Stamp, step.ReplacedTrashPath,  step.ReplacedStamp};
}

int64_t IdOf(const std::string& text) {
    try {
        return std::stoll(text);
    } catch (...) {
        return 0;
    }
}

void WriteAndSync(int fd, const std::string& text, const std::string& fileName) {
    if (!WriteAllBytes(fd, text.data(), text.size()) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        throw EFileAction("Unable to write to " + fileName + ": " + SystemReason(error));
    }
    ::close(fd);
}

// The whole lines of the journal; a line cut short by a crash has no final
// line break and is left out.
std::vector<std::string> ReadLines(const std::string& fileName) {
    std::vector<std::string> lines;
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && !in.eof()) lines.push_back(line);
    return lines;
}

// The first field (the entry's kind) and the second (its step's id).
std::pair<std::string, int64_t> TagAndId(const std::string& line) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) return {line, 0};
    return {line.substr(0, tab), IdOf(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1))};
}

std::vector<TJournalStep> ParseSteps(const std::vector<std::string>& lines) {
    std::vector<TJournalStep> steps;
    std::map<int64_t, size_t> index;
    for (const std::string& line : lines) {
        const std::vector<std::string> f = SplitFields(line);
        if (f.size() < 2) continue;
        const int64_t id = IdOf(f[1]);
        const auto known = index.find(id);
        if (f[0] == "step" && f.size() >= 5) {
            const std::optional<TStepKind> kind = KindOf(f[2]);
            if (!kind || known != index.end()) continue;
            TJournalStep step;
            step.Id = id;
            step.Kind = *kind;
            step.File = f[3];
            step.Destination = f[4];
            index[id] = steps.size();
            steps.push_back(std::move(step));
        } else if (known == index.end()) {
            continue;
        } else if (f[0] == "rec" && f.size() >= 3) {
            TJournalStep& step = steps[known->second];
            (f[2] == "sig" ? step.Signatures : step.Matches).push_back(RecordOf(f));
        } else if (f[0] == "done" && f.size() >= 6) {
            TJournalStep& step = steps[known->second];
            step.Done = true;
            step.TrashPath = f[2];
            step.Stamp = f[3];
            step.ReplacedTrashPath = f[4];
            step.ReplacedStamp = f[5];
        } else if (f[0] == "drop") {
            steps[known->second].Done = false;
            steps[known->second].Id = -1;  // never offered again
        }
    }
    steps.erase(
        std::remove_if(steps.begin(), steps.end(), [](const TJournalStep& s) { return s.Id < 0; }),
        steps.end());
    return steps;
}

}  // namespace

std::vector<TJournalStep> TActionJournal::Read() const {
    return ParseSteps(ReadLines(fileName_));
}

void TActionJournal::Append(const std::vector<std::vector<std::string>>& lines) {
    std::string text;
    for (const auto& line : lines) text += JoinFields(line);
    const int fd = ::open(fileName_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) throw EFileAction("Unable to write to " + fileName_ + ": " + SystemReason(errno));
    // A line a crash cut short is ended first, so that it stays apart.
    char lastByte = '\n';
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0 && ::pread(fd, &lastByte, 1, size - 1) == 1 && lastByte != '\n')
        text.insert(text.begin(), '\n');
    WriteAndSync(fd, text, fileName_);
}

void TActionJournal::CompactIfLong() {
    std::vector<TJournalStep> steps = Read();
    steps.erase(steps.begin(), steps.end() - static_cast<ptrdiff_t>(keptSteps_));
    std::string text;
    for (const TJournalStep& step : steps) {
        for (const auto& line : StepLines(step)) text += JoinFields(line);
        if (step.Done) text += JoinFields(DoneLine(step));
    }
    const std::string temporary = fileName_ + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;  // the long journal still works
    try {
        WriteAndSync(fd, text, temporary);
    } catch (const EFileAction&) {
        ::unlink(temporary.c_str());
        return;
    }
    if (::rename(temporary.c_str(), fileName_.c_str()) != 0) ::unlink(temporary.c_str());
}

void TActionJournal::Begin(TJournalStep& step) {
    // The ids only need the second field; the whole journal is parsed only
    // when it has grown long enough to be cut back.
    int64_t last = 0;
    size_t stepLines = 0;
    for (const std::string& line : ReadLines(fileName_)) {
        const auto [tag, id] = TagAndId(line);
        if (tag == "step") ++stepLines;
        last = std::max(last, id);
    }
    if (stepLines > 2 * keptSteps_) CompactIfLong();
    step.Id = last + 1;
    step.Done = false;
    Append(StepLines(step));
}

void TActionJournal::Complete(const TJournalStep& step) {
    Append({DoneLine(step)});
}

void TActionJournal::Drop(int64_t id) {
    Append({{"drop", std::to_string(id)}});
}

std::optional<TJournalStep> TActionJournal::Last() const {
    // From the end: the newest step done and not dropped; only its lines
    // are parsed.
    const std::vector<std::string> lines = ReadLines(fileName_);
    std::set<int64_t> dropped;
    std::optional<int64_t> newest;
    for (auto it = lines.rbegin(); it != lines.rend() && !newest; ++it) {
        const auto [tag, id] = TagAndId(*it);
        if (tag == "drop") dropped.insert(id);
        if (tag == "done" && dropped.count(id) == 0) newest = id;
    }
    if (!newest) return std::nullopt;
    std::vector<std::string> own;
    for (const std::string& line : lines)
        if (TagAndId(line).second == *newest) own.push_back(line);
    const std::vector<TJournalStep> steps = ParseSteps(own);
    if (steps.empty() || !steps.back().Done) return std::nullopt;
    return steps.back();
}

}  // namespace corvane
