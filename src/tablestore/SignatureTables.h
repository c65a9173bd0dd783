// The program's two tables: the signature table "Signatures.DAT" (one record
// per picture file) and the match table "Matches.DAT" (one record per pair of
// matching pictures), their field objects, and the start-up block that
// creates, opens and, on any open failure, repairs and re-opens them.
#pragma once

#include <string>

#include "tablestore/StoreEnv.h"

#include "tablestore/StoreTable.h"

namespace corvane {

// Field definitions and index definitions as the start-up writes them:
// signature table FileName (string 100), FilePath (string 100), FileDate
// (date-time), Signature (string 250); primary index (no name) on
// "FileName;FilePath", case-insensitive; "BySignature" on "Signature".
void DefineSignaturesTable(TFieldDefs& fields, TIndexDefs& indexes);
// Match table MaxDiff (integer), File1 (string 200), File2 (string 200);
// primary index (no name) on "MaxDiff;File1;File2", case-insensitive.
void DefineMatchTable(TFieldDefs& fields, TIndexDefs& indexes);

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
// exception RepairTable and Open again (errors of those two escape).
void OpenTableAtStartup(TStoreTable& table, const std::string& programFolder,
                        const std::string& tableName, void (*define)(TFieldDefs&, TIndexDefs&));

// The start-up block: the signature table, then the match table. An
// exception from the first leaves the second unopened.
void OpenProgramTables(TStoreTable& signaturesTable, TStoreTable& matchTable,
                       const std::string& programFolder);

}  // namespace corvane
