// An engine started up in a temporary program folder, with a separate
// picture folder, and helpers to read its tables.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "TestPictures.h"
#include "scan/Engine.h"

namespace corvane::test {

class EngineFixture : public ::testing::Test {
  protected:
    EngineFixture() {
        programFolder_ = data_.Make("program");
        pictures_ = data_.Make("pictures");
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
    std::string programFolder_;
    std::string pictures_;
    TPlainFormControls controls_;
    TCorvaneEngine engine_{controls_};
};

}  // namespace corvane::test
