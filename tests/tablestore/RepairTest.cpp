// What a repair may touch and what it tells: it keeps the data file as found
// beside it, says what it found and did, and never rewrites a file it cannot
// read; damage met while running leaves the table for the next start-up.
#include "TableFixture.h"

namespace corvane::testing {
namespace {

class RepairTest : public TablesFixture {
  protected:
    void Fill(int count) {
        for (int i = 0; i < count; ++i)
            AddSignature("f" + std::to_string(i) + ".jpg", "/d/",
                         std::string(192, static_cast<char>('A' + i % 7)));
        matches.reset();
        sigs.reset();
    }

    // The start-up, collecting its log; the error message, or "" when it opened.
    std::string StartLogged(std::vector<std::string>& log) {
        sigs = std::make_unique<TSignaturesTableObjects>();
        matches = std::make_unique<TMatchTableObjects>();
        return ErrorOf([&] {
            OpenProgramTables(sigs->SignaturesTable, matches->MatchTable, folder.Path(),
                              [&](const std::string& line) { log.push_back(line); });
        });
    }

    static bool Has(const std::vector<std::string>& log, const std::string& text) {
        for (const auto& line : log)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(RepairTest, StartUpRepairKeepsTheFileAsFoundAndSaysWhatItDid) {
    Fill(5);
    auto dat = ReadBytes(folder / "Signatures.DAT");
    dat.resize(dat.size() + 100);  // a partial record
    WriteBytes(folder / "Signatures.DAT", dat);
    std::vector<std::string> log;
    EXPECT_EQ(StartLogged(log), "(no error)");
    EXPECT_EQ(Sig().RecordCount(), 5);
    EXPECT_EQ(ReadBytes(folder / "Signatures.DAT.bak"), dat);
    EXPECT_TRUE(Has(log, "Signatures.DAT: could not be opened (Store Engine Error # 8961"));
    EXPECT_TRUE(Has(log, "Signatures.DAT: The data file as found is kept as Signatures.DAT.bak"));
    EXPECT_TRUE(Has(log, "Signatures.DAT: Data file length is not a whole number of records"));
    EXPECT_TRUE(Has(log, "Signatures.DAT: Repair finished: 5 records kept"));
    EXPECT_TRUE(Has(log, "Signatures.DAT: repaired and opened"));
    EXPECT_FALSE(Has(log, "Matches.DAT"));
}

TEST_F(RepairTest, TableWhoseFieldsDoNotFitIsLeftAsItIs) {
    matches.reset();
    sigs.reset();
    std::filesystem::remove(folder / "Signatures.DAT");
    std::filesystem::remove(folder / "Signatures.IDX");
    {
        TStoreTable other;
        other.SetDatabaseName(folder.Path());
        other.SetTableName("Signatures.DAT");
        other.FieldDefs.Add("FileName", ftString, 250);
        other.FieldDefs.Add("FilePath", ftInteger);
        other.CreateTable();
    }
    const auto dat = ReadBytes(folder / "Signatures.DAT");
    const auto idx = ReadBytes(folder / "Signatures.IDX");
    std::vector<std::string> log;
    EXPECT_EQ(StartLogged(log),
              "Table file " + folder.Path() +
                  "Signatures.DAT has field 'FilePath' of type Integer, not String; it was not "
                  "repaired and is left unchanged.");
    EXPECT_EQ(ReadBytes(folder / "Signatures.DAT"), dat);
    EXPECT_EQ(ReadBytes(folder / "Signatures.IDX"), idx);
    EXPECT_FALSE(std::filesystem::exists(folder / "Signatures.DAT.bak"));
    EXPECT_TRUE(Has(log, "it was not repaired"));
}

TEST_F(RepairTest, IndexDamageMetWhileRunningIsRepairedAtTheNextStart) {
    Fill(400);
    Start();
    Sig().SetCacheLimit(0);  // every page read from the file
    const auto intact = ReadBytes(folder / "Signatures.IDX");
    auto idx = intact;
    for (size_t i = 4096 + 100; i < idx.size(); i += 4096) idx[i] ^= 0x5a;
    WriteBytes(folder / "Signatures.IDX", idx);
    int code = 0;
    const std::string message = ErrorOf(
        [&] {
            Sig().SetIndexName("BySignature");
            for (Sig().First(); !Sig().AtEnd(); Sig().Next()) {
            }
        },
        &code);
    EXPECT_EQ(code, 8965);
    EXPECT_NE(message.find("The table will be repaired at the next start"), std::string::npos)
        << message;
    matches.reset();
    sigs.reset();
    // Even with the pages whole again the table no longer opens as clean.
    WriteBytes(folder / "Signatures.IDX", intact);
    TSignaturesTableObjects probe;
    probe.SignaturesTable.SetDatabaseName(folder.Path());
    ErrorOf([&] { probe.SignaturesTable.Open(); }, &code);
    EXPECT_EQ(code, 8965);
    Start();
    EXPECT_EQ(Sig().RecordCount(), 400);
    EXPECT_EQ(static_cast<int>(Names().size()), 400);
}

}  // namespace
}  // namespace corvane::testing
