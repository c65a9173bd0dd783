// The bytes of the table files and the checks of CreateTable.
#include <cstring>

#include "TableFixture.h"

namespace corvane::testing {
namespace {

// The layout tables had before the name fields widened: still written by
// the earlier definitions, still opened unchanged.
using FileLayoutTest = LegacyTablesFixture;
using NewFileLayoutTest = TablesFixture;

TEST_F(NewFileLayoutTest, NewTablesHaveWideNamesExactKeysAndByFileDate) {
    matches.reset();
    sigs.reset();
    const auto sig = ReadBytes(folder / "Signatures.DAT");
    const auto match = ReadBytes(folder / "Matches.DAT");
    const auto idx = ReadBytes(folder / "Signatures.IDX");
    const auto midx = ReadBytes(folder / "Matches.IDX");
    EXPECT_EQ(sig.size(), 3199u);
    EXPECT_EQ(LE16(sig, 21), 9 + 252 + 252 + 9 + 252);  // text: size + 1, and a flag
    EXPECT_EQ(LE16(match, 21), 9 + 5 + 252 + 252);
    for (size_t field : {0, 1}) EXPECT_EQ(sig[127 + field * 768 + 86], 250);
    for (size_t field : {1, 2}) EXPECT_EQ(match[127 + field * 768 + 86], 250);
    const size_t primary = 10, byFileDate = 250;
    EXPECT_EQ(idx[9], 2);  // two secondaries
    EXPECT_EQ(LE16(idx, primary + 31), 504);
    EXPECT_EQ(idx[primary + 34], 0);  // exact case
    EXPECT_EQ(std::string(idx.begin() + byFileDate + 1, idx.begin() + byFileDate + 11),
              "ByFileDate");
    EXPECT_EQ(LE16(idx, byFileDate + 31), 9 + 252 + 252 + 4);
    EXPECT_EQ(LE16(midx, primary + 31), 5 + 252 + 252);
    EXPECT_EQ(midx[primary + 34], 0);
}

TEST_F(FileLayoutTest, NewTablesHaveTheirFixedSizesAndHeaders) {
    matches.reset();
    sigs.reset();  // closed: everything on disk
    const auto sig = ReadBytes(folder / "Signatures.DAT");
    const auto match = ReadBytes(folder / "Matches.DAT");
    EXPECT_EQ(sig.size(), 3199u);
    EXPECT_EQ(match.size(), 2431u);
    EXPECT_EQ(LE32(sig, 4), 512u);
    EXPECT_EQ(sig[8], 4);
    EXPECT_EQ(LE32(sig, 9), 0u);   // no free record
    EXPECT_EQ(LE32(sig, 13), 1u);  // next record number
    EXPECT_EQ(LE16(sig, 21), 474);
    EXPECT_EQ(LE16(sig, 23), 4);
    EXPECT_EQ(LE16(match, 21), 418);
    EXPECT_EQ(LE16(sig, 107), 1);
    EXPECT_EQ(LE32(sig, 116), 20800u);
    // FileDate: the third description.
    const size_t desc = 127 + 2 * 768;
    EXPECT_EQ(LE16(sig, desc), 3);
    EXPECT_EQ(std::string(sig.begin() + desc + 3, sig.begin() + desc + 3 + sig[desc + 2]),
              "FileDate");
    EXPECT_EQ(sig[desc + 84], 11);
    EXPECT_EQ(sig[desc + 88], 8);
    EXPECT_EQ(LE16(sig, desc + 90), 9 + 102 + 102);
    EXPECT_EQ(sig[127 + 84], 1);
    EXPECT_EQ(sig[127 + 86], 100);
    EXPECT_EQ(match[127 + 84], 6);
}

TEST_F(FileLayoutTest, IndexHeaderDescribesTheIndexes) {
    matches.reset();
    sigs.reset();
    const auto idx = ReadBytes(folder / "Signatures.IDX");
    const auto midx = ReadBytes(folder / "Matches.IDX");
    ASSERT_GE(idx.size(), 4096u);
    EXPECT_EQ(idx[4], 4);
    EXPECT_EQ(idx[9], 1);  // one secondary
    const size_t primary = 10, secondary = 130, sysDeleted = 10 + 31 * 120;
    EXPECT_EQ(idx[primary], 0);  // no name
    EXPECT_EQ(LE16(idx, primary + 31), 204);
    EXPECT_EQ(idx[primary + 34], 1);
    EXPECT_EQ(idx[primary + 35], 1);
    EXPECT_EQ(idx[primary + 37], 2);
    EXPECT_EQ(LE16(idx, primary + 54), 1);
    EXPECT_EQ(LE16(idx, primary + 56), 2);
    EXPECT_EQ(std::string(idx.begin() + secondary + 1, idx.begin() + secondary + 12),
              "BySignature");
    EXPECT_EQ(LE16(idx, secondary + 31), 256);
    EXPECT_EQ(idx[secondary + 35], 0);
    EXPECT_EQ(std::string(idx.begin() + sysDeleted + 1, idx.begin() + sysDeleted + 12),
              "Sys Deleted");
    EXPECT_EQ(LE16(idx, sysDeleted + 31), 5);
    EXPECT_EQ(LE16(midx, primary + 31), 409);
    EXPECT_EQ(idx[3974], 0);
}

TEST_F(FileLayoutTest, RecordsAndTheFreeChain) {
    for (const char* name : {"a", "b", "c"}) AddSignature(name, "/x/", std::string(192, 'S'), 0.0);
    ASSERT_TRUE(SeekSignature("b", "/x/"));
    Sig().Delete();
    Sig().Close();
    auto dat = ReadBytes(folder / "Signatures.DAT");
    ASSERT_EQ(dat.size(), 3199u + 3 * 474);
    EXPECT_EQ(LE32(dat, 9), 2u);                                      // first free record
    EXPECT_EQ(LE32(dat, 13), 4u);                                     // next physical number
    EXPECT_EQ(LE32(dat, 17), 3u);                                     // last identity
    EXPECT_EQ(LE32(ReadBytes(folder / "Signatures.IDX"), 3970), 2u);  // live records
    const size_t rec1 = 3199, rec2 = 3199 + 474;
    EXPECT_EQ(dat[rec1], 0);
    EXPECT_EQ(LE32(dat, rec1 + 1), 1u);
    EXPECT_EQ(LE32(dat, rec1 + 5), 1u);
    EXPECT_EQ(dat[rec1 + 9], 1);
    EXPECT_EQ(dat[rec1 + 10], 'a');
    EXPECT_EQ(dat[rec1 + 11], 0);
    double stored;
    std::memcpy(&stored, &dat[rec1 + 214], 8);
    EXPECT_EQ(stored, 693594.0 * 86400000.0);  // date-time 0
    EXPECT_EQ(dat[rec2], 1);                   // free
    EXPECT_EQ(LE32(dat, rec2 + 1), 0u);        // end of the chain
    Sig().Open();
    AddSignature("d", "/x/", std::string(192, 'S'));
    Sig().Close();
    dat = ReadBytes(folder / "Signatures.DAT");
    EXPECT_EQ(dat.size(), 3199u + 3 * 474);  // record 2 reused
    EXPECT_EQ(dat[rec2 + 10], 'd');
    EXPECT_EQ(LE32(dat, rec2 + 5), 4u);
    EXPECT_EQ(LE32(dat, 9), 0u);
}

struct CreateCase {
    const char* title;
    int code;
    void (*define)(TFieldDefs&, TIndexDefs&);
};

const CreateCase kCreateCases[] = {
    {"string above 250", 10000, [](TFieldDefs& f, TIndexDefs&) { f.Add("A", ftString, 251); }},
    {"unknown type", 10000, [](TFieldDefs& f, TIndexDefs&) { f.Add("A", ftUnknown); }},
    {"empty name", 10038, [](TFieldDefs& f, TIndexDefs&) { f.Add("", ftInteger); }},
    {"long name", 10038,
     [](TFieldDefs& f, TIndexDefs&) { f.Add(std::string(31, 'n'), ftInteger); }},
    {"repeated name", 10038,
     [](TFieldDefs& f, TIndexDefs&) {
         f.Add("Name", ftInteger);
         f.Add("NAME", ftInteger);
     }},
    {"index on missing field", 10023,
     [](TFieldDefs& f, TIndexDefs& i) {
         f.Add("A", ftInteger);
         i.Add("", "B", ixPrimary);
     }},
    {"key too long", 10026,
     [](TFieldDefs& f, TIndexDefs& i) {
         f.Add("A", ftString, 250);
         f.Add("B", ftString, 250);
         f.Add("C", ftString, 250);
         i.Add("", "A;B;C", ixPrimary);
     }},
    {"secondary without fields", 10026,
     [](TFieldDefs& f, TIndexDefs& i) {
         f.Add("A", ftInteger);
         i.Add("X", "", 0);
     }},
    {"same secondary twice", 10027,
     [](TFieldDefs& f, TIndexDefs& i) {
         f.Add("A", ftInteger);
         i.Add("X", "A", 0);
         i.Add("x", "A", 0);
     }},
    {"31 secondaries", 9487,
     [](TFieldDefs& f, TIndexDefs& i) {
         f.Add("A", ftInteger);
         for (int n = 0; n < 31; ++n) i.Add("I" + std::to_string(n), "A", 0);
     }},
    {"1025 fields", 9492,
     [](TFieldDefs& f, TIndexDefs&) {
         for (int n = 0; n < 1025; ++n) f.Add("F" + std::to_string(n), ftInteger);
     }},
    {"record above 65535 bytes", 9477,
     [](TFieldDefs& f, TIndexDefs&) {
         for (int n = 0; n < 300; ++n) f.Add("F" + std::to_string(n), ftString, 250);
     }},
};

class CreateTableTest : public ::testing::TestWithParam<CreateCase> {
  protected:
    TempFolder folder;
};

TEST_P(CreateTableTest, RefusesBadDefinitionsAndWritesNothing) {
    TStoreTable table("T");
    table.SetDatabaseName(folder.Path());
    table.SetTableName("Bad.DAT");
    GetParam().define(table.FieldDefs, table.IndexDefs);
    int code = 0;
    const std::string message = ErrorOf([&] { table.CreateTable(); }, &code);
    EXPECT_EQ(code, GetParam().code) << message;
    EXPECT_EQ(message.rfind("Store Engine Error # " + std::to_string(GetParam().code) + " ", 0),
              0u);
    EXPECT_FALSE(table.TableExists());
}

INSTANTIATE_TEST_SUITE_P(Cases, CreateTableTest, ::testing::ValuesIn(kCreateCases));

TEST_F(FileLayoutTest, CreateOverExistingTableAndMovedPrimary) {
    TStoreTable table("T");
    table.SetDatabaseName(folder.Path());
    table.SetTableName("Signatures.DAT");
    DefineSignaturesTable(table.FieldDefs, table.IndexDefs);
    EXPECT_EQ(ErrorOf([&] { table.CreateTable(); }),
              "Store Engine Error # 13060 The table 'Signatures.DAT' already exists");
    TStoreTable other("U");
    other.SetDatabaseName(folder.Path());
    other.SetTableName("Other.db");
    other.FieldDefs.Add("A", ftInteger);
    other.FieldDefs.Add("B", ftString, 10);
    other.IndexDefs.Add("ByB", "B", 0);
    other.IndexDefs.Add("ignored name", "A", ixPrimary);
    other.CreateTable();
    EXPECT_TRUE(std::filesystem::exists(folder / "Other.DAT"));
    other.Open();
    EXPECT_EQ(other.IndexName(), "");
    other.SetIndexName("ByB");
    EXPECT_EQ(other.IndexName(), "ByB");
}

TEST_F(FileLayoutTest, TableWithoutPrimaryKeepsPhysicalOrder) {
    TStoreTable table("T");
    TIntegerField value(table, "V");
    table.SetDatabaseName(folder.Path());
    table.SetTableName("Plain.DAT");
    table.CreateTable();  // fields from the field objects
    table.Open();
    for (int v : {5, 3, 9}) {
        table.Append();
        value.SetAsInteger(v);
        table.Post();
    }
    table.First();
    table.Delete();
    table.Append();
    value.SetAsInteger(1);
    table.Post();
    std::vector<int> order;
    for (table.First(); !table.AtEnd(); table.Next()) order.push_back(value.AsInteger());
    EXPECT_EQ(order, (std::vector<int>{3, 9, 1}));
    table.Close();
    EXPECT_EQ(ReadBytes(folder / "Plain.IDX")[3974], 1);
    EXPECT_EQ(ReadBytes(folder / "Plain.DAT").size(), 127u + 768 + 4 * 14);
}

}  // namespace
}  // namespace corvane::testing
