// Open program tables in a temporary folder, with helpers to add signature
// records and read the match rows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "../scan/TestPictures.h"
#include "matching/FormControls.h"
#include "matching/MatchSearch.h"
#include "signature/Signature.h"
#include "tablestore/SignatureTables.h"

namespace corvane::test {

using TMatchRow = std::tuple<int32_t, std::string, std::string>;

template <class TControls>
class MatchFixtureWith : public ::testing::Test {
  protected:
    MatchFixtureWith() : matcher_(signatures_, matches_, controls_, state_) {
        OpenProgramTables(signatures_.SignaturesTable, matches_.MatchTable, folder_.Path());
    }

    // A signature whose 48 values are all Value.
    static std::string Uniform(int value) {
        TSignature signature;
        signature.Values.fill(value);
        return SignatureToString(signature);
    }

    void AddRecord(const std::string& path, const std::string& name, const std::string& text) {
        TStoreTable& table = signatures_.SignaturesTable;
        table.Append();
        signatures_.SignaturesTableFileName.SetValue(name);
        signatures_.SignaturesTableFilePath.SetValue(path);
        signatures_.SignaturesTableFileDate.SetValue(1000.0);
        signatures_.SignaturesTableSignature.SetValue(text);
        table.Post();
    }

    void SelectRecord(const std::string& path, const std::string& name) {
        TStoreTable& table = signatures_.SignaturesTable;
        table.BeginKey();
        signatures_.SignaturesTableFileName.SetValue(name);
        signatures_.SignaturesTableFilePath.SetValue(path);
        ASSERT_TRUE(table.SeekKey());
    }

    std::vector<TMatchRow> Rows() {
        std::vector<TMatchRow> rows;
        TStoreTable& table = matches_.MatchTable;
        for (table.First(); !table.AtEnd(); table.Next()) {
            rows.emplace_back(matches_.MatchTableMaxDiff.Value(), matches_.MatchTableFile1.Value(),
                              matches_.MatchTableFile2.Value());
        }
        return rows;
    }

    // The match table filled by the table-driven search of every record, as
    // identify all must fill it; with ProcessMessages before each record.
    void SearchEveryRecordOnTheTable(bool processMessages = false) {
        matches_.MatchTable.EmptyTable();
        state_.FullScanMatch = false;
        TStoreTable& table = signatures_.SignaturesTable;
        for (table.First(); !table.AtEnd(); table.Next()) {
            if (processMessages) controls_.ProcessMessages();
            matcher_.CompareOneImage(true);
        }
    }

    TTempFolder folder_;
    TControls controls_;
    TFormState state_;
    TSignaturesTableObjects signatures_;
    TMatchTableObjects matches_;
    TMatcher matcher_;
};

using MatchFixture = MatchFixtureWith<TPlainFormControls>;

}  // namespace corvane::test
