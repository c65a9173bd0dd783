// Damaged files fail the open with the store's errors, and the start-up
// repair brings back every intact record.
#include <random>

#include "TableFixture.h"

namespace corvane::testing {
namespace {

// On tables of the earlier layout (whose byte offsets the cases use); the
// repair is the same for every layout.
class DamageTest : public LegacyTablesFixture {
  protected:
    // 50 records, then both tables closed.
    void Fill(int count = 50) {
        for (int i = 0; i < count; ++i)
            AddSignature("f" + std::to_string(i) + ".jpg", "/d/",
                         std::string(192, static_cast<char>('A' + i % 7)));
        matches.reset();
        sigs.reset();
    }

    int OpenErrorCode() {
        TSignaturesTableObjects probe;
        probe.SignaturesTable.SetDatabaseName(folder.Path());
        int code = -1;
        ErrorOf([&] { probe.SignaturesTable.Open(); }, &code);
        return code;
    }

    // Start-up, then every record must be found by key and in both orders.
    void ExpectIntact(int count) {
        Start();
        EXPECT_EQ(Sig().RecordCount(), count);
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(SeekSignature("f" + std::to_string(i) + ".jpg", "/d/")) << i;
        EXPECT_EQ(static_cast<int>(Names().size()), count);
        Sig().SetIndexName("BySignature");
        EXPECT_EQ(static_cast<int>(Names().size()), count);
    }
};

TEST_F(DamageTest, DataFileOfWrongLengthFailsWith8961AndIsRepaired) {
    Fill();
    auto dat = ReadBytes(folder / "Signatures.DAT");
    dat.resize(dat.size() + 100);
    WriteBytes(folder / "Signatures.DAT", dat);
    EXPECT_EQ(OpenErrorCode(), 8961);
    ExpectIntact(50);
}

TEST_F(DamageTest, WrongVersionFailsWith12035AndIsLeftAsItIs) {
    Fill(3);
    auto dat = ReadBytes(folder / "Signatures.DAT");
    dat[8] = 5;
    WriteBytes(folder / "Signatures.DAT", dat);
    const auto idx = ReadBytes(folder / "Signatures.IDX");
    EXPECT_EQ(OpenErrorCode(), 12035);
    int code = 0;
    EXPECT_EQ(ErrorOf([&] { Start(); }, &code),
              "Table file " + folder.Path() +
                  "Signatures.DAT was written by another version of the table format; it was not "
                  "repaired and is left unchanged.");
    EXPECT_EQ(code, 12035);
    EXPECT_EQ(ReadBytes(folder / "Signatures.DAT"), dat);
    EXPECT_EQ(ReadBytes(folder / "Signatures.IDX"), idx);
    EXPECT_FALSE(std::filesystem::exists(folder / "Signatures.DAT.bak"));
}

TEST_F(DamageTest, MissingIndexFileFailsTheOpenAndTheRepairRebuildsIt) {
    Fill();
    std::filesystem::remove(folder / "Signatures.IDX");
    EXPECT_EQ(OpenErrorCode(), 11010);
    ExpectIntact(50);
}

TEST_F(DamageTest, StaleIndexIsDetectedByTheCounters) {
    Fill();
    const auto oldIndex = ReadBytes(folder / "Signatures.IDX");
    Start();
    AddSignature("late.jpg", "/d/", std::string(192, 'Z'));
    Restart();
    WriteBytes(folder / "Signatures.IDX", oldIndex);  // an index from before the last change
    matches.reset();
    sigs.reset();
    EXPECT_EQ(OpenErrorCode(), 8965);
    Start();
    EXPECT_EQ(Sig().RecordCount(), 51);
    EXPECT_TRUE(SeekSignature("late.jpg", "/d/"));
    EXPECT_TRUE(SeekSignature("f7.jpg", "/d/"));
}

TEST_F(DamageTest, DamagedIndexPagesAreRebuilt) {
    Fill(400);
    auto idx = ReadBytes(folder / "Signatures.IDX");
    ASSERT_GT(idx.size(), 3u * 4096);
    for (size_t i = 4096 + 100; i < idx.size(); i += 4096) idx[i] ^= 0x5a;
    WriteBytes(folder / "Signatures.IDX", idx);
    ExpectIntact(400);
}

TEST_F(DamageTest, DuplicateKeysAndBadIdentitiesAreSettledByTheRepair) {
    Fill(3);
    auto dat = ReadBytes(folder / "Signatures.DAT");
    const size_t rec1 = 3199, rec3 = 3199 + 2 * 474;
    std::copy(dat.begin() + rec1 + 9, dat.begin() + rec1 + 474,
              dat.begin() + rec3 + 9);  // 3 = copy of 1
    dat[rec1 + 5] = 0;
    dat[rec1 + 6] = 0;
    dat[rec1 + 7] = 0;
    dat[rec1 + 8] = 0x80;  // negative identity
    WriteBytes(folder / "Signatures.DAT", dat);
    std::filesystem::remove(folder / "Signatures.IDX");
    std::vector<std::string> log;
    sigs = std::make_unique<TSignaturesTableObjects>();
    sigs->SignaturesTable.SetDatabaseName(folder.Path());
    sigs->SignaturesTable.OnRepairLog = [&](const std::string& line) { log.push_back(line); };
    sigs->SignaturesTable.RepairTable();
    sigs->SignaturesTable.Open();
    EXPECT_EQ(Sig().RecordCount(), 2);  // record 3 repeated record 1's key
    EXPECT_EQ(Names(), (std::vector<std::string>{"f0.jpg", "f1.jpg"}));
    EXPECT_FALSE(log.empty());
}

// Field bytes that no write of the store leaves, in record 1 (the first in
// key order) of the earlier layout.
struct TFieldDamage {
    const char* title;
    size_t at;  // offset in the record
    std::vector<uint8_t> bytes;
};

const TFieldDamage kFieldDamage[] = {
    {"a character after the name's end", 9 + 60, {'x'}},
    {"a trailing blank in the name", 9 + 1 + 6, {' '}},
    {"a date flag of 2", 213, {2}},
    {"a negative zero date", 214, {0, 0, 0, 0, 0, 0, 0, 0x80}},
    {"a signature under a null flag", 222, {0}},
};

TEST_F(DamageTest, FieldBytesNoWriteLeavesFailTheReadAndTheRecordIsCorrected) {
    for (const TFieldDamage& damage : kFieldDamage) {
        SCOPED_TRACE(damage.title);
        matches.reset();
        sigs.reset();
        for (const char* name : {"Signatures.DAT", "Signatures.IDX", "Matches.DAT", "Matches.IDX"})
            std::filesystem::remove(folder / name);
        CreateLegacyTables(folder.Path());
        Start();
        Fill(3);
        auto dat = ReadBytes(folder / "Signatures.DAT");
        std::copy(damage.bytes.begin(), damage.bytes.end(), dat.begin() + 3199 + damage.at);
        WriteBytes(folder / "Signatures.DAT", dat);
        EXPECT_EQ(OpenErrorCode(), 8962);
        ExpectIntact(3);
    }
}

TEST_F(DamageTest, RandomDamageNeverCrashesAndStartUpAlwaysOpens) {
    Fill(120);
    const auto dat = ReadBytes(folder / "Signatures.DAT");
    const auto idx = ReadBytes(folder / "Signatures.IDX");
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        auto d = dat;
        auto x = idx;
        auto& target = round % 2 ? d : x;
        const int hits = 1 + static_cast<int>(random() % 20);
        for (int i = 0; i < hits; ++i)
            target[random() % target.size()] = static_cast<uint8_t>(random());
        if (round % 5 == 0) target.resize(random() % target.size());
        WriteBytes(folder / "Signatures.DAT", d);
        WriteBytes(folder / "Signatures.IDX", x);
        try {
            Start();
            // Whatever survived must be consistent: a walk in each order
            // agrees with RecordCount.
            const int count = Sig().RecordCount();
            EXPECT_EQ(static_cast<int>(Names().size()), count);
            Sig().SetIndexName("BySignature");
            EXPECT_EQ(static_cast<int>(Names().size()), count);
            if (round % 2 == 1 && round % 5 != 0) {
                EXPECT_GE(count, 120 - hits - 1) << round;
            }
            if (round % 2 == 0) {
                EXPECT_EQ(count, 120) << round;  // index damage loses nothing
            }
        } catch (const EDatabaseError& error) {
            // Acceptable only when the damage hit the table description.
            EXPECT_TRUE(round % 2 == 1) << error.Message();
        }
        matches.reset();
        sigs.reset();
    }
}

}  // namespace
}  // namespace corvane::testing
