#include "review/FileActions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <set>

#include "review/PairView.h"

namespace corvane {

namespace {

using TNames = std::set<std::string>;

// Every digit of a date-time survives the journal.
std::string DateTimeText(TDateTime value) {
    return Format("%.17g", value);
}

TRecordCopy CopyRecord(const TStoreTable& table) {
    TRecordCopy record;
    for (const TField* field : table.Fields()) {
        std::optional<std::string> value;
        if (!field->IsNull()) {
            const auto* date = dynamic_cast<const TDateTimeField*>(field);
            value = date != nullptr ? DateTimeText(date->AsDateTime()) : field->AsString();
        }
        record.Fields.emplace_back(field->FieldName(), value);
    }
    return record;
}

// Appends the record; one that is there already (same key) is left as it is.
void PutRecord(TStoreTable& table, const TRecordCopy& record) {
    table.Append();
    try {
        for (const auto& [name, value] : record.Fields) {
            TField* field = table.FindField(name);
            if (field == nullptr) continue;
            if (!value) {
                field->Clear();
            } else if (auto* date = dynamic_cast<TDateTimeField*>(field)) {
                date->SetAsDateTime(std::strtod(value->c_str(), nullptr));
            } else {
                field->SetAsString(*value);
            }
        }
        table.Post();
    } catch (const EDatabaseError&) {
        table.Cancel();
    }
}

std::string FieldValue(const TRecordCopy& record, const std::string& name) {
    for (const auto& [field, value] : record.Fields)
        if (field == name) return value.value_or("");
    return "";
}

void SetFieldValue(TRecordCopy& record, const std::string& name, const std::string& text) {
    for (auto& [field, value] : record.Fields)
        if (field == name) value = text;
}

// The key search needs the primary index; an order chosen by the user is put
// back afterwards.
void InPrimaryOrder(TStoreTable& table, const std::function<void()>& work) {
    const std::string order = table.IndexName();
    if (!order.empty()) table.SetIndexName("");
    try {
        work();
    } catch (...) {
        if (!order.empty()) table.SetIndexName(order);
        throw;
    }
    if (!order.empty()) table.SetIndexName(order);
}

// The signature records of Names, copied; Remove deletes them too.
std::vector<TRecordCopy> SignatureRecordsOf(TStoreTable& table, const TNames& names, bool remove) {
    std::vector<TRecordCopy> records;
    InPrimaryOrder(table, [&] {
        for (const std::string& name : names) {
            table.BeginKey();
            table.FieldByName("FileName").SetAsString(NamePart(name));
            table.FieldByName("FilePath").SetAsString(FolderPart(name));
            if (!table.SeekKey()) continue;
            records.push_back(CopyRecord(table));
            if (remove) table.Delete();
        }
    });
    return records;
}

// Runs Work on the table with its views suspended; the views are told once.
void WithViewsSuspended(TStoreTable& table, const std::function<void()>& work) {
    table.SuspendViews();
    try {
        work();
    } catch (...) {
        table.ResumeViews();
        throw;
    }
    table.ResumeViews();
}

bool NamesRow(const TField& file1, const TField& file2, const TNames& names) {
    return names.count(file1.AsString()) > 0 || names.count(file2.AsString()) > 0;
}

// The match rows naming one of Names, copied in one pass; the current row
// stays current. Position: its ordinal (1-based; 0 before the first row,
// past the last when at the end).
std::vector<TRecordCopy> MatchRowsOf(TStoreTable& table, const TNames& names,
                                     int* position = nullptr) {
    std::vector<TRecordCopy> rows;
    WithViewsSuspended(table, [&] {
        const bool atEnd = table.AtEnd();
        const bool atStart = table.AtStart();
        const std::optional<TRecordCopy> current =
            atEnd || atStart ? std::nullopt : std::optional<TRecordCopy>(CopyRecord(table));
        const TBookmark mark = table.TakeBookmark();
        TField& file1 = table.FieldByName("File1");
        TField& file2 = table.FieldByName("File2");
        int ordinal = 0;
        int found = atEnd ? std::numeric_limits<int>::max() : 0;
        for (table.First(); !table.AtEnd(); table.Next()) {
            ++ordinal;
            if (NamesRow(file1, file2, names)) rows.push_back(CopyRecord(table));
            if (current && found == 0 && CopyRecord(table) == *current) found = ordinal;
        }
        if (position != nullptr) *position = found;
        if (!atEnd && !atStart) table.MoveToBookmark(mark);
    });
    return rows;
}

// Deletes the match rows naming one of Names in one pass. Position (from
// MatchRowsOf): the row at that ordinal of the rows left becomes current, or
// the last row when fewer are left; none: the current row stays current.
void RemoveMatchRows(TStoreTable& table, const TNames& names,
                     std::optional<int> position = std::nullopt) {
    WithViewsSuspended(table, [&] {
        const TBookmark current = table.TakeBookmark();
        TField& file1 = table.FieldByName("File1");
        TField& file2 = table.FieldByName("File2");
        TBookmark landing;
        int kept = 0;
        for (table.First(); !table.AtEnd();) {
            if (NamesRow(file1, file2, names)) {
                // Delete makes the following row current (or, after the last
                // row, the new last row, which was examined already).
                table.Delete();
                continue;
            }
            if (position && (kept < std::max(*position, 1))) landing = table.TakeBookmark();
            ++kept;
            table.Next();
        }
        if (!position)
            table.MoveToBookmark(current);
        else if (*position == 0 || landing.IsNull())
            table.First();
        else
            table.MoveToBookmark(landing);
    });
}

void PutRecords(TStoreTable& signatures, TStoreTable& matches, const TJournalStep& step) {
    InPrimaryOrder(signatures, [&] {
        for (const TRecordCopy& record : step.Signatures) PutRecord(signatures, record);
    });
    WithViewsSuspended(matches, [&] {
        const TBookmark current = matches.TakeBookmark();
        for (const TRecordCopy& record : step.Matches) PutRecord(matches, record);
        if (current.IsNull())
            matches.First();
        else
            matches.MoveToBookmark(current);
    });
}

std::string StampOf(const std::string& fileName) {
    const std::optional<TFileIdentity> stamp = TFileIdentity::Of(fileName);
    return stamp ? stamp->ToText() : "";
}

bool IsFolder(const std::string& name) {
    struct stat info;
    return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Why a file kept in a step cannot come back; "" when it can.
std::string Unrestorable(const std::string& fileName, const std::string& stamp, const char* where) {
    if (!EntryExists(fileName)) return Format("it is no longer %s", where);
    if (StampOf(fileName) != stamp) return Format("it has changed %s", where);
    return "";
}

}  // namespace

TFileActions::TFileActions(TStoreTable& signaturesTable, TStoreTable& matchTable, TTrashCan* trash,
                           std::string journalFileName)
    : signaturesTable_(signaturesTable),
      matchTable_(matchTable),
      trash_(trash),
      journal_(std::move(journalFileName)) {}

std::string TFileActions::RemoveFile(const std::string& fileName, bool permanent) {
    if (permanent) {
        if (std::remove(fileName.c_str()) != 0)
            throw EFileAction("Unable to delete " + fileName + ": " + SystemReason(errno));
        return "";
    }
    if (trash_ == nullptr)
        throw EFileAction("Unable to move " + fileName + " to the trash: no trash is available");
    return trash_->MoveToTrash(fileName);
}

TActionResult TFileActions::Delete(std::string fileName, bool permanent) {
    try {
        return Remove(fileName, permanent || !UseTrash);
    } catch (const EFileAction& e) {
        return {TActionStatus::Failed, e.Message()};
    }
}

TJournalStep TFileActions::RemovalStep(const std::string& fileName, bool permanent, bool present) {
    TJournalStep step;
    step.Kind = permanent && present ? TStepKind::Erase : TStepKind::Trash;
    step.File = fileName;
    step.Signatures = SignatureRecordsOf(signaturesTable_, {fileName}, false);
    return step;
}

TActionResult TFileActions::RemoveAsStep(TJournalStep& step, bool present, bool permanent) {
    journal_.Begin(step);
    if (present) {
        try {
            step.TrashPath = RemoveFile(step.File, permanent);
        } catch (const EFileAction& e) {
            journal_.Drop(step.Id);
            return {permanent ? TActionStatus::Failed : TActionStatus::NoTrash, e.Message()};
        }
        step.Stamp = StampOf(step.TrashPath);
    }
    journal_.Complete(step);
    if (!present)
        return {TActionStatus::Done, "Records removed of " + step.File + " (no such file)"};
    return {TActionStatus::Done,
            (permanent ? "Deleted for good: " : "Moved to the trash: ") + step.File};
}

TActionResult TFileActions::Remove(const std::string& fileName, bool permanent) {
    const bool present = !fileName.empty() && EntryExists(fileName);
    TJournalStep step = RemovalStep(fileName, permanent, present);
    int position = 0;
    step.Matches = MatchRowsOf(matchTable_, {fileName}, &position);
    const TActionResult result = RemoveAsStep(step, present, permanent);
    if (result.Status != TActionStatus::Done) return result;
    SignatureRecordsOf(signaturesTable_, {fileName}, true);
    RemoveMatchRows(matchTable_, {fileName}, position);
    return result;
}

std::vector<TActionResult> TFileActions::DeleteAll(const std::vector<std::string>& fileNames,
                                                   bool permanent) {
    permanent = permanent || !UseTrash;
    const TNames all(fileNames.begin(), fileNames.end());
    int position = 0;
    std::vector<TRecordCopy> rows = MatchRowsOf(matchTable_, all, &position);
    // A row goes to the first file that names it and is removed, as when the
    // files are deleted one after the other.
    std::vector<bool> claimed(rows.size(), false);
    std::map<std::string, std::vector<size_t>> rowsOf;
    for (size_t r = 0; r < rows.size(); ++r)
        for (const char* field : {"File1", "File2"}) {
            std::vector<size_t>& of = rowsOf[FieldValue(rows[r], field)];
            if (of.empty() || of.back() != r) of.push_back(r);
        }
    TNames removed;
    std::vector<TActionResult> results;
    for (const std::string& fileName : fileNames) {
        if (removed.count(fileName) != 0) {
            results.push_back({TActionStatus::Done, "Already removed: " + fileName});
            continue;
        }
        const bool present = !fileName.empty() && EntryExists(fileName);
        TJournalStep step = RemovalStep(fileName, permanent, present);
        std::vector<size_t> mine;
        for (size_t r : rowsOf[fileName]) {
            if (claimed[r]) continue;
            mine.push_back(r);
            step.Matches.push_back(rows[r]);
        }
        try {
            results.push_back(RemoveAsStep(step, present, permanent));
        } catch (const EFileAction& e) {
            results.push_back({TActionStatus::Failed, e.Message()});
        }
        if (results.back().Status != TActionStatus::Done) continue;
        for (size_t r : mine) claimed[r] = true;
        removed.insert(fileName);
    }
    if (!removed.empty()) {
        SignatureRecordsOf(signaturesTable_, removed, true);
        RemoveMatchRows(matchTable_, removed, position);
    }
    return results;
}

TActionResult TFileActions::Move(std::string source, std::string destination, bool replace) {
    std::string target = std::move(destination);
    if (IsFolder(target)) target += (target.back() == '/' ? "" : "/") + NamePart(source);
    if (SameFile(source, target))
        return {TActionStatus::SameFile,
                Format("%s is already there; nothing was moved.", source.c_str())};
    if (!EntryExists(source))
        return {TActionStatus::Failed, "Unable to move " + source + ": " + SystemReason(ENOENT)};
    if (EntryExists(target) && !replace)
        return {TActionStatus::DestinationTaken,
                Format("A different file %s already exists.", target.c_str())};
    try {
        return Replace(source, target, replace);
    } catch (const EFileAction& e) {
        return {TActionStatus::Failed, e.Message()};
    }
}

TActionResult TFileActions::Replace(const std::string& source, const std::string& destination,
                                    bool replace) {
    const TNames names = {source, destination};
    const std::vector<TRecordCopy> sourceRecords =
        SignatureRecordsOf(signaturesTable_, {source}, false);
    TJournalStep step;
    step.Kind = TStepKind::Move;
    step.File = source;
    step.Destination = destination;
    step.Signatures = sourceRecords;
    for (const TRecordCopy& record : SignatureRecordsOf(signaturesTable_, {destination}, false))
        if (sourceRecords.empty() || !(record == sourceRecords.front()))
            step.Signatures.push_back(record);
    step.Matches = MatchRowsOf(matchTable_, names);
    journal_.Begin(step);
    try {
        if (replace && EntryExists(destination)) {
            step.ReplacedTrashPath = RemoveFile(destination, !UseTrash);
            step.ReplacedStamp = StampOf(step.ReplacedTrashPath);
        }
        try {
            MoveFileNoReplace(source, destination);
        } catch (const EFileAction&) {
            if (!step.ReplacedTrashPath.empty() && trash_ != nullptr)
                trash_->Restore(step.ReplacedTrashPath, destination);
            throw;
        }
    } catch (const EFileAction&) {
        journal_.Drop(step.Id);
        throw;
    }
    step.Stamp = StampOf(destination);
    journal_.Complete(step);
    // The records follow the file; those of the file it replaced go.
    SignatureRecordsOf(signaturesTable_, names, true);
    RemoveMatchRows(matchTable_, names);
    TJournalStep moved = step;
    moved.Signatures.clear();
    moved.Matches.clear();
    for (TRecordCopy record : sourceRecords) {
        SetFieldValue(record, "FileName", NamePart(destination));
        SetFieldValue(record, "FilePath", FolderPart(destination));
        moved.Signatures.push_back(record);
    }
    for (TRecordCopy row : step.Matches) {
        const std::string file1 = FieldValue(row, "File1");
        const std::string file2 = FieldValue(row, "File2");
        if (file1 == destination || file2 == destination) continue;
        SetFieldValue(row, file1 == source ? "File1" : "File2", destination);
        moved.Matches.push_back(row);
    }
    PutRecords(signaturesTable_, matchTable_, moved);
    return {TActionStatus::Done, "Moved " + source + " to " + destination};
}

TActionResult TFileActions::Undo() {
    std::optional<TJournalStep> step;
    try {
        step = journal_.Last();
        if (!step) return {TActionStatus::NothingToUndo, "Nothing to undo."};
        return step->Kind == TStepKind::Move ? UndoMove(*step) : UndoRemove(*step);
    } catch (const EFileAction& e) {
        return {TActionStatus::Failed, e.Message()};
    }
}

TActionResult TFileActions::UndoRemove(const TJournalStep& step) {
    const std::string refused = "Cannot undo the delete of " + step.File + ": ";
    if (step.Kind == TStepKind::Erase) {
        journal_.Drop(step.Id);
        return {TActionStatus::Failed, refused + "it was deleted for good."};
    }
    if (!step.TrashPath.empty()) {
        const std::string why = Unrestorable(step.TrashPath, step.Stamp, "in the trash");
        if (!why.empty()) {
            journal_.Drop(step.Id);
            return {TActionStatus::Failed, refused + why + "."};
        }
        if (EntryExists(step.File))
            return {TActionStatus::Failed, refused + "another file has that name now."};
        if (trash_ == nullptr) return {TActionStatus::Failed, refused + "no trash is available."};
        trash_->Restore(step.TrashPath, step.File);
    }
    journal_.Drop(step.Id);
    SignatureRecordsOf(signaturesTable_, {step.File}, true);
    RemoveMatchRows(matchTable_, {step.File});
    PutRecords(signaturesTable_, matchTable_, step);
    return {TActionStatus::Done, "Restored " + step.File};
}

TActionResult TFileActions::UndoMove(const TJournalStep& step) {
    const std::string refused = "Cannot undo the move of " + step.File + ": ";
    const std::string why =
        Unrestorable(step.Destination, step.Stamp, ("at " + step.Destination).c_str());
    if (!why.empty()) {
        journal_.Drop(step.Id);
        return {TActionStatus::Failed, refused + why + "."};
    }
    if (EntryExists(step.File))
        return {TActionStatus::Failed, refused + "another file has its old name now."};
    MoveFileNoReplace(step.Destination, step.File);
    journal_.Drop(step.Id);
    std::string note;
    if (!step.ReplacedTrashPath.empty()) {
        const std::string lost =
            Unrestorable(step.ReplacedTrashPath, step.ReplacedStamp, "in the trash");
        try {
            if (!lost.empty()) throw EFileAction(lost);
            if (trash_ == nullptr) throw EFileAction("no trash is available");
            trash_->Restore(step.ReplacedTrashPath, step.Destination);
        } catch (const EFileAction& e) {
            note = "; the file it replaced stays in the trash: " + e.Message();
        }
    }
    SignatureRecordsOf(signaturesTable_, {step.File, step.Destination}, true);
    RemoveMatchRows(matchTable_, {step.File, step.Destination});
    PutRecords(signaturesTable_, matchTable_, step);
    return {TActionStatus::Done, "Moved " + step.Destination + " back to " + step.File + note};
}

}  // namespace corvane
