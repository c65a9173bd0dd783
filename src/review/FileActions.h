// The file actions of the window and of corvane-cli on one engine: deleting a
// picture (to the desktop trash, or for good), moving it, and undoing either,
// each together with the picture's signature record and match rows. Every
// action is written to the undo journal before it is carried out. A failed
// action changes no record and says why; nothing here asks the user: the
// caller asks and calls again (NoTrash, DestinationTaken). Names are taken
// by value: the window's views, told of each table change, may rewrite the
// texts a caller passed.
#pragma once

#include <string>
#include <vector>

#include "review/ActionJournal.h"
#include "tablestore/StoreTable.h"
#include "util/SafeFiles.h"

namespace corvane {

// The undo journal in the program folder.
inline constexpr const char* kUndoJournalFileName = "UndoJournal.txt";

enum class TActionStatus {
    Done,              // Message: what was done, for the status line
    Failed,            // Message: what failed and the system's reason
    NoTrash,           // no trash can take the file; nothing changed
    DestinationTaken,  // another file is at the destination; nothing changed
    SameFile,          // the destination is the file itself; nothing changed
    NothingToUndo,
};

struct TActionResult {
    TActionStatus Status = TActionStatus::Done;
    std::string Message;
};

class TFileActions {
  public:
    // Trash may be null: no trash is then available.
    TFileActions(TStoreTable& signaturesTable, TStoreTable& matchTable, TTrashCan* trash,
                 std::string journalFileName);

    // Removals go to the trash (the setting UseTrash); false: for good.
    bool UseTrash = true;

    // Removes FileName (to the trash, or for good when Permanent or not
    // UseTrash), then its signature record (exact key search, the primary
    // index ignores case) and every match row whose File1 or File2 equals it
    // (case-sensitive). The match table's current row stays at the same
    // ordinal position, or the last row. A file already gone: only the
    // records go. A removal that fails leaves every record.
    TActionResult Delete(std::string fileName, bool permanent = false);

    // Delete for many files at once, with the same outcome as deleting them
    // one by one in their order (one journal step each, so undo brings them
    // back one by one, the last first), but reading and cleaning the match
    // table once instead of twice per file. A result per file; a file that
    // no trash takes (NoTrash) or that fails keeps its records.
    std::vector<TActionResult> DeleteAll(const std::vector<std::string>& fileNames,
                                         bool permanent = false);

    // Moves Source to Destination (a folder: into it, same name) without
    // replacing: DestinationTaken when another file is there, unless Replace,
    // which first sends that file to the trash (for good when not UseTrash).
    // The signature record and the match rows follow the file to its new
    // name; the records of a replaced file go.
    TActionResult Move(std::string source, std::string destination, bool replace = false);

    // Undoes the newest step of the journal: the file returns (from the
    // trash, or moved back) and its records are put back as they were. A
    // step whose file has changed or left the trash is refused and dropped,
    // so the next undo reaches the step before it.
    TActionResult Undo();

  private:
    TActionResult Remove(const std::string& fileName, bool permanent);
    // The journal step of removing a file, with its signature records.
    TJournalStep RemovalStep(const std::string& fileName, bool permanent, bool present);
    // Journals the step and removes its file (a missing file: only its
    // records go); the records themselves are left to the caller.
    TActionResult RemoveAsStep(TJournalStep& step, bool present, bool permanent);
    TActionResult Replace(const std::string& source, const std::string& destination, bool replace);
    TActionResult UndoRemove(const TJournalStep& step);
    TActionResult UndoMove(const TJournalStep& step);
    // The file removed for good or to the trash; its path in the trash ("" for good).
    std::string RemoveFile(const std::string& fileName, bool permanent);

    TStoreTable& signaturesTable_;
    TStoreTable& matchTable_;
    TTrashCan* trash_;
    TActionJournal journal_;
};

}  // namespace corvane
