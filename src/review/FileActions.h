// File actions on the pair shown in the window: deleting a picture together
// with its records in both tables, and moving a picture without ever losing
// it. The window adds the picture views and labels around these.
#pragma once

#include <functional>
#include <string>

#include "tablestore/StoreTable.h"

namespace corvane {

// Deletes the file FileName (the result is not examined: the records go
// whether or not the file could be deleted), then its signature record (an
// exact key search on the primary index, which ignores case; another active
// order is restored afterwards), then every match row whose File1 or File2
// equals FileName (case-sensitive). The match table's views are suspended
// meanwhile; afterwards its current row is at the same ordinal position as
// before, or on the last row when fewer rows remain.
void DeleteImageFileRecords(const std::string& fileName, TStoreTable& signaturesTable,
                            TStoreTable& matchTable);

// The ordinal position (1-based) of the current match row found by stepping
// back to the start, and the return to that position (or the last row).
int CountStepsToStart(TStoreTable& table);
void MoveToPosition(TStoreTable& table, int steps);

enum class TMoveOutcome { Moved, SameFile, CopyFailed };

struct TMoveResult {
    TMoveOutcome Outcome = TMoveOutcome::Moved;
    std::string Message;  // for SameFile and CopyFailed: what to tell the user
};

// Moves Source to Destination, replacing a file there. Never loses the
// picture: when Destination is Source itself nothing happens; when the copy
// fails (or comes out short) the source stays and the reason is given.
TMoveResult MovePictureFile(const std::string& source, const std::string& destination);

}  // namespace corvane
