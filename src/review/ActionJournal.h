// The undo journal: the file actions of the window and of corvane-cli, each
// written and flushed to disk before it is carried out, with what its undo
// needs (where the file went, the file's stamp there, and its signature
// record and match rows as they were). Kept in the program folder so that
// both programs share the steps and a step survives a restart.
//
// The file is text, one line per entry, fields separated by tabs (a tab,
// line break or "%" inside a field is written %09, %0A, %0D, %25):
//   step  ID KIND FILE DESTINATION       before the action
//   rec   ID TABLE FIELD VALUE ...       a record of the step (sig or row)
//   done  ID TRASHPATH STAMP REPLACEDTRASHPATH REPLACEDSTAMP   after it
//   drop  ID                             failed, or undone
// A step without "done" never happened as far as undo is concerned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// One record of a table: each field's name and value (a value of nullopt is
// a null field; date-times keep every digit).
struct TRecordCopy {
    std::vector<std::pair<std::string, std::optional<std::string>>> Fields;
    bool operator==(const TRecordCopy&) const = default;
};

enum class TStepKind { Trash, Erase, Move };

struct TJournalStep {
    int64_t Id = 0;
    TStepKind Kind = TStepKind::Trash;
    std::string File;                     // the name the action started from
    std::string Destination;              // Move: the new name
    std::vector<TRecordCopy> Signatures;  // as they were before the action
    std::vector<TRecordCopy> Matches;
    // Filled by Complete.
    bool Done = false;
    std::string TrashPath;          // Trash: where the file went
    std::string Stamp;              // TFileIdentity text of the file after the action
    std::string ReplacedTrashPath;  // Move that replaced a file: where that went
    std::string ReplacedStamp;
};

class TActionJournal {
  public:
    // KeptSteps: how many of the newest steps stay when the journal, grown to
    // twice as many, is rewritten.
    explicit TActionJournal(std::string fileName, size_t keptSteps = kKeptSteps)
        : fileName_(std::move(fileName)), keptSteps_(keptSteps) {}

    // Appends the step (its Id is set) and flushes it to disk; EFileAction
    // when the journal cannot be written (the action must not go ahead).
    void Begin(TJournalStep& step);
    // Records the outcome of a step begun before.
    void Complete(const TJournalStep& step);
    // Marks a step failed or undone: undo passes over it from then on.
    void Drop(int64_t id);
    // The newest completed step not dropped; none when there is none.
    std::optional<TJournalStep> Last() const;

    static constexpr size_t kKeptSteps = 100;

  private:
    std::vector<TJournalStep> Read() const;
    void Append(const std::vector<std::vector<std::string>>& lines);
    void CompactIfLong();

    std::string fileName_;
    size_t keptSteps_;
};

}  // namespace corvane
