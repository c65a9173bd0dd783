// An engine started up in a temporary program folder, with a separate
// picture folder, and helpers to read its tables.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "TestPictures.h"
#include "scan/Engine.h"
#include "util/SafeFiles.h"

namespace corvane::test {

// A trash in a test folder: files move to FOLDER/files/ with an info file.
// Refuse makes every move fail as a volume without a trash would.
class TTestTrash : public TTrashCan {
  public:
    std::string Folder;  // ends in "/"
    bool Refuse = false;
    std::vector<std::string> Taken;  // original names

    std::string MoveToTrash(const std::string& fileName) override {
        if (Refuse) throw EFileAction("Unable to move " + fileName + " to the trash: refused");
        std::filesystem::create_directories(Folder + "files");
        std::filesystem::create_directories(Folder + "info");
        const std::string target = Folder + "files/" + std::to_string(Taken.size()) + "-" +
                                   fileName.substr(fileName.rfind('/') + 1);
        MoveFileNoReplace(fileName, target);
        WriteBytes(TrashInfoPathOf(target), "[Trash Info]\nPath=" + fileName + "\n");
        Taken.push_back(fileName);
        return target;
    }
};

class EngineFixture : public ::testing::Test {
  protected:
    // LegacyTables: start on tables of the earlier definitions (names of 100
    // and 200 characters, case-insensitive keys).
    explicit EngineFixture(bool legacyTables = false) {
        programFolder_ = data_.Make("program");
        pictures_ = data_.Make("pictures");
        trash_.Folder = data_.Make("trash");
        engine_.Trash = &trash_;
        if (legacyTables) CreateLegacyTables();
        engine_.StartUp(programFolder_);
        controls_.Search = pictures_;
    }

    // FileName -> FilePath, in primary order.
    std::vector<std::pair<std::string, std::string>> Records() {
        std::vector<std::pair<std::string, std::string>> records;
        TStoreTable& table = engine_.Signatures.SignaturesTable;
        for (table.First(); !table.AtEnd(); table.Next()) {
            records.emplace_back(engine_.Signatures.SignaturesTableFileName.Value(),
                                 engine_.Signatures.SignaturesTableFilePath.Value());
        }
        return records;
    }

    void CreateLegacyTables() {
        const std::pair<const char*, void (*)(TFieldDefs&, TIndexDefs&)> tables[] = {
            {"Signatures.DAT", DefineLegacySignaturesTable},
            {"Matches.DAT", DefineLegacyMatchTable}};
        for (const auto& [name, define] : tables) {
            TStoreTable table;
            table.SetDatabaseName(programFolder_);
            table.SetTableName(name);
            define(table.FieldDefs, table.IndexDefs);
            table.CreateTable();
        }
    }

    // The width the open signature table stores for a field.
    size_t StoredWidth(const std::string& fieldName) {
        for (const TFieldDef& def : engine_.Signatures.SignaturesTable.FieldDefs)
            if (def.Name == fieldName) return static_cast<size_t>(def.Size);
        return 0;
    }

    size_t MatchCount() { return static_cast<size_t>(engine_.Matches.MatchTable.RecordCount()); }

    std::string LastMessage() const {
        return controls_.Messages.empty() ? std::string() : controls_.Messages.back();
    }

    TTempFolder data_;
    TTestTrash trash_;
    std::string programFolder_;
    std::string pictures_;
    TPlainFormControls controls_;
    TCorvaneEngine engine_{controls_};
};

}  // namespace corvane::test
