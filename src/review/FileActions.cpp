#include "review/FileActions.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "review/PairView.h"

namespace fs = std::filesystem;

namespace corvane {

namespace {

void DeleteSignatureRecord(const std::string& fileName, TStoreTable& table) {
    // The key search needs the primary index; a "Sort By" order chosen by the
    // user is put back afterwards with the same record current.
    const std::string order = table.IndexName();
    if (!order.empty()) table.SetIndexName("");
    table.BeginKey();
    table.FieldByName("FileName").SetAsString(NamePart(fileName));
    table.FieldByName("FilePath").SetAsString(FolderPart(fileName));
    if (table.SeekKey()) table.Delete();
    if (!order.empty()) table.SetIndexName(order);
}

void DeleteMatchRows(const std::string& fileName, TStoreTable& table) {
    TField& file1 = table.FieldByName("File1");
    TField& file2 = table.FieldByName("File2");
    table.First();
    while (!table.AtEnd()) {
        // Delete makes the following row current (or, after the last row, the
        // new last row, which was examined already and is then stepped past).
        if (file1.AsString() == fileName || file2.AsString() == fileName)
            table.Delete();
        else
            table.Next();
    }
}

}  // namespace

int CountStepsToStart(TStoreTable& table) {
    int steps = 0;
    while (!table.AtStart()) {
        table.Prior();
        ++steps;
    }
    return steps;
}

void MoveToPosition(TStoreTable& table, int steps) {
    table.First();
    for (int i = 0; i < steps - 1; ++i) table.Next();
}

void DeleteImageFileRecords(const std::string& fileName, TStoreTable& signaturesTable,
                            TStoreTable& matchTable) {
    ::unlink(fileName.c_str());
    DeleteSignatureRecord(fileName, signaturesTable);
    matchTable.SuspendViews();
    try {
        const int position = CountStepsToStart(matchTable);
        DeleteMatchRows(fileName, matchTable);
        MoveToPosition(matchTable, position);
    } catch (...) {
        matchTable.ResumeViews();
        throw;
    }
    matchTable.ResumeViews();
}

TMoveResult MovePictureFile(const std::string& source, const std::string& destination) {
    std::error_code ec;
    const bool sameName =
        fs::path(source).lexically_normal() == fs::path(destination).lexically_normal();
    if (sameName || fs::equivalent(source, destination, ec)) {
        return {TMoveOutcome::SameFile,
                Format("%s is already there; nothing was moved.", source.c_str())};
    }
    if (!fs::is_regular_file(source, ec)) {
        return {TMoveOutcome::CopyFailed,
                Format("Unable to move %s: the file does not exist.", source.c_str())};
    }
    std::error_code copyError;
    fs::copy_file(source, destination, fs::copy_options::overwrite_existing, copyError);
    std::error_code sizeError;
    const bool complete =
        !copyError && fs::file_size(source, sizeError) == fs::file_size(destination, sizeError) &&
        !sizeError;
    if (!complete) {
        const std::string reason =
            copyError ? copyError.message() : std::string("the copy is incomplete");
        return {TMoveOutcome::CopyFailed,
                Format("Unable to move %s to %s: %s. The file was left where it was.",
                       source.c_str(), destination.c_str(), reason.c_str())};
    }
    fs::remove(source, ec);
    return {TMoveOutcome::Moved, ""};
}

}  // namespace corvane
