#include "tablestore/SignatureTables.h"

#include <cerrno>
#include <memory>

#include "tablestore/StoreEnv.h"

namespace corvane {

void DefineSignaturesTable(TFieldDefs& fields, TIndexDefs& indexes) {
    fields.Clear();
    fields.Add("FileName", ftString, kNameFieldSize);
    fields.Add("FilePath", ftString, kNameFieldSize);
    fields.Add("FileDate", ftDateTime);
    fields.Add("Signature", ftString, 250);
    indexes.Clear();
    indexes.Add("", "FileName;FilePath", ixPrimary);
    indexes.Add("BySignature", "Signature", 0);
    indexes.Add("ByFileDate", "FileDate;FileName;FilePath", 0);
}

void DefineMatchTable(TFieldDefs& fields, TIndexDefs& indexes) {
    fields.Clear();
    fields.Add("MaxDiff", ftInteger);
    fields.Add("File1", ftString, kNameFieldSize);
    fields.Add("File2", ftString, kNameFieldSize);
    indexes.Clear();
    indexes.Add("", "MaxDiff;File1;File2", ixPrimary);
}

void DefineLegacySignaturesTable(TFieldDefs& fields, TIndexDefs& indexes) {
    fields.Clear();
    fields.Add("FileName", ftString, 100);
    fields.Add("FilePath", ftString, 100);
    fields.Add("FileDate", ftDateTime);
    fields.Add("Signature", ftString, 250);
    indexes.Clear();
    indexes.Add("", "FileName;FilePath", ixPrimary | ixCaseInsensitive);
    indexes.Add("BySignature", "Signature", 0);
}

void DefineLegacyMatchTable(TFieldDefs& fields, TIndexDefs& indexes) {
    fields.Clear();
    fields.Add("MaxDiff", ftInteger);
    fields.Add("File1", ftString, 200);
    fields.Add("File2", ftString, 200);
    indexes.Clear();
    indexes.Add("", "MaxDiff;File1;File2", ixPrimary | ixCaseInsensitive);
}

TSignaturesTableObjects::TSignaturesTableObjects(TStoreEnv* env)
    : SignaturesTable("SignaturesTable", env),
      SignaturesTableFileName(SignaturesTable, "FileName", kNameFieldSize),
      SignaturesTableFilePath(SignaturesTable, "FilePath", kNameFieldSize),
      SignaturesTableFileDate(SignaturesTable, "FileDate"),
      SignaturesTableSignature(SignaturesTable, "Signature", 250) {
    SignaturesTable.SetTableName("Signatures.DAT");
    SignaturesTable.SetExclusive(true);
    SignaturesTable.StoreDefs = true;
    DefineSignaturesTable(SignaturesTable.FieldDefs, SignaturesTable.IndexDefs);
    // The design-time primary definition; the store drops its name and makes
    // it unique, so the table made from it is the same.
    SignaturesTable.IndexDefs[0] =
        TIndexDef{"SignaturesTableIndex1", "FileName;FilePath", ixPrimary | ixUnique};
    // A record's date says its signature is current: it reaches the disk only
    // after the rest of the record, so a power cut never pairs a new date with
    // an old signature.
    SignaturesTable.SetVouchingField("FileDate");
}

TMatchTableObjects::TMatchTableObjects(TStoreEnv* env)
    : MatchTable("MatchTable", env),
      MatchTableFile1(MatchTable, "File1", kNameFieldSize),
      MatchTableFile2(MatchTable, "File2", kNameFieldSize),
      MatchTableMaxDiff(MatchTable, "MaxDiff") {
    MatchTable.SetTableName("Matches.DAT");
    MatchTable.SetExclusive(true);
    DefineMatchTable(MatchTable.FieldDefs, MatchTable.IndexDefs);
}

namespace {

// True when another opener holds the lock of the file (the store locks every
// table it opens); false when the file cannot even be read.
bool HeldByAnotherOpener(const std::string& dataFile) {
    std::unique_ptr<TStoreFile> file;
    return TStoreEnv::Default()->Open(dataFile, TOpenMode::Existing, TLockMode::Shared, true,
                                      file) == EWOULDBLOCK;
}

}  // namespace

void OpenTableAtStartup(TStoreTable& table, const std::string& programFolder,
                        const std::string& tableName, void (*define)(TFieldDefs&, TIndexDefs&),
                        const TRepairLog& log) {
    table.Close();
    table.SetDatabaseName(programFolder);
    table.SetTableName(tableName);
    if (!TStoreEnv::Default()->Exists(table.DataFilePath())) {
        define(table.FieldDefs, table.IndexDefs);
        if (!table.TableExists()) table.CreateTable();
    }
    try {
        table.Open();
        return;
    } catch (const EStoreEngineError& error) {
        // Another program holding the table is no damage: say who has it,
        // and leave the files alone.
        if (error.ErrorCode() == seAccessDenied && HeldByAnotherOpener(table.DataFilePath())) {
            throw EStoreEngineError(
                Format("The table %s is in use by another running Corvane; close that one first",
                       table.DataFilePath().c_str()),
                seAccessDenied);
        }
        if (log) log(tableName + ": could not be opened (" + error.what() + "); repairing it");
    } catch (const std::exception& error) {
        if (log) log(tableName + ": could not be opened (" + error.what() + "); repairing it");
    } catch (...) {
        if (log) log(tableName + ": could not be opened; repairing it");
    }
    const auto saved = table.OnRepairLog;
    table.OnRepairLog = [&](const std::string& line) {
        if (log) log(tableName + ": " + line);
    };
    try {
        table.RepairTable();
    } catch (const std::exception& error) {
        table.OnRepairLog = saved;
        if (log) log(tableName + ": " + error.what());
        throw;
    }
    table.OnRepairLog = saved;
    table.Open();
    if (log) log(tableName + ": repaired and opened");
}

void OpenProgramTables(TStoreTable& signaturesTable, TStoreTable& matchTable,
                       const std::string& programFolder, const TRepairLog& log) {
    OpenTableAtStartup(signaturesTable, programFolder, "Signatures.DAT", DefineSignaturesTable,
                       log);
    OpenTableAtStartup(matchTable, programFolder, "Matches.DAT", DefineMatchTable, log);
}

}  // namespace corvane
