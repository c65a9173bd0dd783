#include "review/NotDuplicateMarks.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "util/Exception.h"

namespace corvane {

namespace {

std::string MarksPath(const std::string& programFolder) {
    return (std::filesystem::path(programFolder) / kNotDuplicatesFileName).string();
}

std::optional<TNotDuplicateMark> ParseMark(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    if (fields.size() != 4 || fields[0].empty() || fields[2].empty()) return std::nullopt;
    return TNotDuplicateMark{fields[0], fields[1], fields[2], fields[3]};
}

bool Fits(std::string_view text) {
    return text.find_first_of("\t\r\n") == std::string_view::npos;
}

// The marked signature equals the picture's current one.
std::optional<bool> SameSignature(const TMatchGraph& graph, const std::string& file,
                                  const std::string& markedText) {
    const std::optional<TPictureId> id = graph.Names().Find(file);
    if (!id) return std::nullopt;
    const std::optional<TSignature> current = graph.SignatureOf(*id);
    if (!current) return std::nullopt;
    try {
        return StringToSignature(markedText) == *current;
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

void TNotDuplicateMarks::Load(const std::string& programFolder) {
    marks_.clear();
    otherLines_.clear();
    const std::string path = MarksPath(programFolder);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception(Format("Cannot open file %s", path.c_str()));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (std::optional<TNotDuplicateMark> mark = ParseMark(line)) {
            marks_.push_back(std::move(*mark));
        } else if (!line.empty()) {
            otherLines_.push_back(line);
        }
    }
    if (in.bad()) throw Exception(Format("Cannot read file %s", path.c_str()));
}

void TNotDuplicateMarks::Save(const std::string& programFolder) const {
    const std::string path = MarksPath(programFolder);
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : otherLines_) out << line << '\n';
        for (const TNotDuplicateMark& mark : marks_)
            out << mark.File1 << '\t' << mark.Signature1 << '\t' << mark.File2 << '\t'
                << mark.Signature2 << '\n';
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            throw Exception(Format("Unable to write to %s", path.c_str()));
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        throw Exception(Format("Unable to write to %s", path.c_str()));
    }
}

void TNotDuplicateMarks::Mark(std::string_view file1, std::string_view signature1,
                              std::string_view file2, std::string_view signature2) {
    if (!Fits(file1) || !Fits(file2) || !Fits(signature1) || !Fits(signature2))
        throw Exception("A file name with a tab or line break cannot be marked");
    if (file1 == file2) throw Exception("A picture cannot be marked against itself");
    if (file2 < file1) {
        std::swap(file1, file2);
        std::swap(signature1, signature2);
    }
    Unmark(file1, file2);
    marks_.push_back(
        {std::string(file1), std::string(signature1), std::string(file2), std::string(signature2)});
}

bool TNotDuplicateMarks::Unmark(std::string_view file1, std::string_view file2) {
    if (file2 < file1) std::swap(file1, file2);
    const auto end = std::remove_if(marks_.begin(), marks_.end(), [&](const auto& mark) {
        return mark.File1 == file1 && mark.File2 == file2;
    });
    const bool found = end != marks_.end();
    marks_.erase(end, marks_.end());
    return found;
}

size_t TNotDuplicateMarks::DropChanged(const TMatchGraph& graph) {
    const auto end = std::remove_if(marks_.begin(), marks_.end(), [&](const auto& mark) {
        return StateOf(mark, graph) == TMarkState::Changed;
    });
    const auto dropped = static_cast<size_t>(marks_.end() - end);
    marks_.erase(end, marks_.end());
    return dropped;
}

TMarkState StateOf(const TNotDuplicateMark& mark, const TMatchGraph& graph) {
    const std::optional<bool> first = SameSignature(graph, mark.File1, mark.Signature1);
    const std::optional<bool> second = SameSignature(graph, mark.File2, mark.Signature2);
    if ((first && !*first) || (second && !*second)) return TMarkState::Changed;
    if (!first || !second) return TMarkState::Unknown;
    return TMarkState::Holds;
}

// ---- TSeparation

uint64_t TSeparation::Key(TPictureId a, TPictureId b) {
    if (b < a) std::swap(a, b);
    return (uint64_t{a} << 32) | b;
}

TSeparation::TSeparation(const TMatchGraph& graph, const TNotDuplicateMarks& marks)
    : flags_(graph.Names().Size(), false) {
    for (const TNotDuplicateMark& mark : marks.Marks()) {
        if (StateOf(mark, graph) != TMarkState::Holds) continue;
        const TPictureId a = *graph.Names().Find(mark.File1);
        const TPictureId b = *graph.Names().Find(mark.File2);
        pairs_.insert(Key(a, b));
        flags_[a] = true;
        flags_[b] = true;
    }
}

bool TSeparation::operator()(TPictureId a, TPictureId b) const {
    return pairs_.count(Key(a, b)) != 0;
}

}  // namespace corvane
