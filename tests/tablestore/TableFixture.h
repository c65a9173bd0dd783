// A temporary program folder with the two tables opened as at start-up.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tablestore/SignatureTables.h"

namespace corvane::testing {

class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/corvane-ts-XXXXXX";
        path_ = mkdtemp(pattern);
        path_ += "/";
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t LE16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// Both tables of the program in a fresh folder.
class TablesFixture : public ::testing::Test {
  protected:
    void SetUp() override { Start(); }

    void Start() {
        sigs = std::make_unique<TSignaturesTableObjects>();
        matches = std::make_unique<TMatchTableObjects>();
        OpenProgramTables(sigs->SignaturesTable, matches->MatchTable, folder.Path());
    }
    void Restart() {
        matches.reset();
        sigs.reset();
        Start();
    }

    TStoreTable& Sig() { return sigs->SignaturesTable; }
    TStoreTable& Match() { return matches->MatchTable; }

    void AddSignature(const std::string& name, const std::string& path, const std::string& sig,
                      TDateTime date = 40000.5) {
        Sig().Append();
        sigs->SignaturesTableFileName.SetAsString(name);
        sigs->SignaturesTableFilePath.SetAsString(path);
        sigs->SignaturesTableFileDate.SetAsDateTime(date);
        sigs->SignaturesTableSignature.SetAsString(sig);
        Sig().Post();
    }

    bool SeekSignature(const std::string& name, const std::string& path) {
        Sig().BeginKey();
        sigs->SignaturesTableFileName.SetAsString(name);
        sigs->SignaturesTableFilePath.SetAsString(path);
        return Sig().SeekKey();
    }

    // FileName of every record in the active order.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (Sig().First(); !Sig().AtEnd(); Sig().Next())
            names.push_back(sigs->SignaturesTableFileName.AsString());
        return names;
    }

    TempFolder folder;
    std::unique_ptr<TSignaturesTableObjects> sigs;
    std::unique_ptr<TMatchTableObjects> matches;
};

// The two tables as they were created before the name fields widened (sizes
// 100, 100, 200, 200, case-insensitive primary indexes, no ByFileDate), made
// through the store itself so that no stored file needs shipping.
inline void CreateLegacyTables(const std::string& folder) {
    const std::pair<const char*, void (*)(TFieldDefs&, TIndexDefs&)> tables[] = {
        {"Signatures.DAT", DefineLegacySignaturesTable}, {"Matches.DAT", DefineLegacyMatchTable}};
    for (const auto& [name, define] : tables) {
        TStoreTable table;
        table.SetDatabaseName(folder);
        table.SetTableName(name);
        define(table.FieldDefs, table.IndexDefs);
        table.CreateTable();
    }
}

// Both tables in the earlier format, opened by the program's start-up.
class LegacyTablesFixture : public TablesFixture {
  protected:
    void SetUp() override {
        CreateLegacyTables(folder.Path());
        Start();
    }
};

// Runs `body` and returns the message of the EDatabaseError it throws.
template <class F>
std::string ErrorOf(F body, int* code = nullptr) {
    try {
        body();
    } catch (const EDatabaseError& error) {
        if (code) *code = error.ErrorCode();
        return error.Message();
    }
    return "(no error)";
}

}  // namespace corvane::testing
