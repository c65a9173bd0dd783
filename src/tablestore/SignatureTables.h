// The program's two tables: the signature table "Signatures.DAT" (one record
// per picture file) and the match table "Matches.DAT" (one record per pair of
// matching pictures), their field objects, and the start-up block that
// creates, opens and, on any open failure, repairs and re-opens them.
#pragma once

#include <functional>
#include <string>

#include "tablestore/StoreEnv.h"

#include "tablestore/StoreTable.h"

namespace corvane {

// Size of the name fields (FileName, FilePath, File1, File2) of tables
// created now: the widest text the file layout allows, so real paths are
// stored whole. Tables written earlier keep their sizes (100, 100, 200, 200);
// the field objects' Size() gives the open table's.
constexpr int kNameFieldSize = 250;

// Field definitions and index definitions as the start-up writes them:
// signature table FileName (string 250), FilePath (string 250), FileDate
// (date-time), Signature (string 250); primary index (no name) on
// "FileName;FilePath", comparing names exactly as the file system does;
// "BySignature" on "Signature"; "ByFileDate" on "FileDate;FileName;FilePath".
void DefineSignaturesTable(TFieldDefs& fields, TIndexDefs& indexes);
// Match table MaxDiff (integer), File1 (string 250), File2 (string 250);
// primary index (no name) on "MaxDiff;File1;File2".
void DefineMatchTable(TFieldDefs& fields, TIndexDefs& indexes);
// The definitions tables were created with before: names of 100 (File1 and
// File2 200) characters, primary indexes case-insensitive, no "ByFileDate".
// Such tables still open and work; these make them for tests and tools.
void DefineLegacySignaturesTable(TFieldDefs& fields, TIndexDefs& indexes);
void DefineLegacyMatchTable(TFieldDefs& fields, TIndexDefs& indexes);

// Receives one line per finding of a start-up repair.
using TRepairLog = std::function<void(const std::string&)>;

// The signature table object with its field objects, as the main window owns
// them. TableName "Signatures.DAT", Exclusive, StoreDefs with the design-time
// definitions ("SignaturesTableIndex1" primary/unique/case-insensitive and
// "BySignature").
struct TSignaturesTableObjects {
    explicit TSignaturesTableObjects(TStoreEnv* env = nullptr);
    TStoreTable SignaturesTable;
    TStringField SignaturesTableFileName;
    TStringField SignaturesTableFilePath;
    TDateTimeField SignaturesTableFileDate;
    TStringField SignaturesTableSignature;
};

// The match table object with its field objects (declared File1, File2,
// MaxDiff; bound by name). TableName "Matches.DAT", Exclusive. It carries its
// definitions too, so that a repair can rebuild a lost index file.
struct TMatchTableObjects {
    explicit TMatchTableObjects(TStoreEnv* env = nullptr);
    TStoreTable MatchTable;
    TStringField MatchTableFile1;
    TStringField MatchTableFile2;
    TIntegerField MatchTableMaxDiff;
};

// One table's start-up: Close; DatabaseName := programFolder; TableName :=
// tableName; when the data file is missing, write the definitions (`define`)
// into the table and CreateTable unless TableExists; then Open, and on any
// exception RepairTable and Open again (errors of those two escape). A table
// of another format version or with fields that do not fit is not repaired:
// the repair's error names the file. `log` receives what a repair found and
// did, each line beginning with the table's file name.
void OpenTableAtStartup(TStoreTable& table, const std::string& programFolder,
                        const std::string& tableName, void (*define)(TFieldDefs&, TIndexDefs&),
                        const TRepairLog& log = {});

// The start-up block: the signature table, then the match table. An
// exception from the first leaves the second unopened.
void OpenProgramTables(TStoreTable& signaturesTable, TStoreTable& matchTable,
                       const std::string& programFolder, const TRepairLog& log = {});

}  // namespace corvane
