// "Not a duplicate" marks: pairs of pictures the user declared different.
//
// Kept in the program folder in NotDuplicates.Txt, one mark a line:
//   File1 TAB Signature1 TAB File2 TAB Signature2
// with each file's signature text at the time of marking. A mark holds only
// while both pictures still have those signatures: a file that changes (its
// signature differs) drops the mark, and the pair can group again. The
// match table is not touched by marks.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "review/MatchGraph.h"

namespace corvane {

inline constexpr const char* kNotDuplicatesFileName = "NotDuplicates.Txt";

struct TNotDuplicateMark {
    std::string File1;  // ordinal order: File1 < File2
    std::string Signature1;
    std::string File2;
    std::string Signature2;
};

class TNotDuplicateMarks {
  public:
    // Reads the marks file of the program folder (a missing file: no marks).
    // Lines that are not marks are kept and written back unchanged.
    // Throws Exception when the file exists but cannot be read.
    void Load(const std::string& programFolder);
    // Replaces the marks file as a whole (a new file renamed over the old
    // one, so a failed write leaves the old marks). Throws Exception
    // "Unable to write to %s".
    void Save(const std::string& programFolder) const;

    // Adds the mark of a pair, or renews its signatures. File names holding a
    // tab or a line break cannot be kept in the file: Exception.
    void Mark(std::string_view file1, std::string_view signature1, std::string_view file2,
              std::string_view signature2);
    // Removes the pair's mark; false when there was none.
    bool Unmark(std::string_view file1, std::string_view file2);
    // Marks whose two pictures are both in the graph with a signature that
    // differs from the marked one are dropped; returns how many.
    size_t DropChanged(const TMatchGraph& graph);

    const std::vector<TNotDuplicateMark>& Marks() const { return marks_; }

  private:
    std::vector<TNotDuplicateMark> marks_;
    std::vector<std::string> otherLines_;
};

// The marks that hold for a graph's pictures, for FormGroups.
class TSeparation {
  public:
    TSeparation(const TMatchGraph& graph, const TNotDuplicateMarks& marks);
    bool operator()(TPictureId a, TPictureId b) const;
    // True for every picture that has a mark holding.
    const std::vector<bool>& Flags() const { return flags_; }
    bool Empty() const { return pairs_.empty(); }

  private:
    static uint64_t Key(TPictureId a, TPictureId b);
    std::unordered_set<uint64_t> pairs_;
    std::vector<bool> flags_;
};

// The current state of a mark against the graph: holds (both pictures have
// the marked signatures), changed (one of them has another signature), or
// unknown (a picture is not in the graph or has no signature).
enum class TMarkState { Holds, Changed, Unknown };
TMarkState StateOf(const TNotDuplicateMark& mark, const TMatchGraph& graph);

}  // namespace corvane
