// The cursor contract: field values, keys, moves, states, errors, views.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "TableFixture.h"
#include "tablestore/StoreEnv.h"

namespace corvane::testing {
namespace {

const std::string kSigA(192, 'A');
const std::string kSigB(192, 'B');

using StringFieldTest = TablesFixture;

TEST_F(StringFieldTest, WrittenTextIsTrimmedAndNullWhenEmpty) {
    struct Case {
        std::string written;
        std::string read;
        bool null;
    };
    const std::string long250(250, 'x');
    const Case cases[] = {
        {"abc   ", "abc", false},    {"   ", "", true},         {"", "", true},
        {"  lead", "  lead", false}, {long250, long250, false}, {long250 + "   ", long250, false},
        {"tab\t", "tab\t", false},
    };
    for (const auto& c : cases) {
        Sig().Append();
        sigs->SignaturesTableFileName.SetAsString(c.written);
        sigs->SignaturesTableFilePath.SetAsString("/p/" + std::to_string(&c - cases) + "/");
        Sig().Post();
        EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), c.read) << c.written;
        EXPECT_EQ(sigs->SignaturesTableFileName.IsNull(), c.null) << c.written;
    }
}

using LegacyStringFieldTest = LegacyTablesFixture;

// Never cut: the write fails, naming the field, and the record is not changed;
// the open table's sizes count, whatever the field objects declare.
TEST_F(LegacyStringFieldTest, TextLongerThanTheOpenTablesFieldIsRefusedNotCut) {
    EXPECT_EQ(sigs->SignaturesTableFileName.Size(), 100);
    EXPECT_EQ(matches->MatchTableFile1.Size(), 200);
    AddSignature(std::string(100, 'n'), "/p/", kSigA);
    Sig().Edit();
    EXPECT_EQ(ErrorOf([&] { sigs->SignaturesTableFileName.SetAsString(std::string(101, 'n')); }),
              "Value of field 'FileName' is too long: 101 characters, at most 100");
    Sig().Post();
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), std::string(100, 'n'));
    // A search for a longer name finds nothing, though its first 100 match.
    EXPECT_FALSE(SeekSignature(std::string(101, 'n'), "/p/"));
    EXPECT_TRUE(SeekSignature(std::string(100, 'n'), "/p/"));
    Match().Append();
    EXPECT_EQ(ErrorOf([&] { matches->MatchTableFile2.SetAsString(std::string(201, 'f')); }),
              "Value of field 'File2' is too long: 201 characters, at most 200");
}

TEST_F(StringFieldTest, NewTablesHoldNamesOf250CharactersAndRefuseLonger) {
    for (TField* field : {static_cast<TField*>(&sigs->SignaturesTableFileName),
                          static_cast<TField*>(&sigs->SignaturesTableFilePath),
                          static_cast<TField*>(&matches->MatchTableFile1),
                          static_cast<TField*>(&matches->MatchTableFile2)})
        EXPECT_EQ(field->Size(), 250) << field->FieldName();
    // Two folders that agree in their first 100 characters stay two records.
    const std::string folder(120, 'f');
    AddSignature("IMG_0001.JPG", "/" + folder + "/", kSigA);
    AddSignature("IMG_0001.JPG", "/" + folder + "/edited/", kSigB);
    EXPECT_EQ(Sig().RecordCount(), 2);
    ASSERT_TRUE(SeekSignature("IMG_0001.JPG", "/" + folder + "/edited/"));
    EXPECT_EQ(sigs->SignaturesTableSignature.AsString(), kSigB);
    Sig().Append();
    EXPECT_EQ(ErrorOf([&] { sigs->SignaturesTableFilePath.SetAsString(std::string(251, 'p')); }),
              "Value of field 'FilePath' is too long: 251 characters, at most 250");
}

TEST_F(StringFieldTest, WritesOutsideEditStatesAreRefused) {
    EXPECT_EQ(ErrorOf([&] { sigs->SignaturesTableFileName.SetAsString("x"); }),
              "Dataset not in edit or insert mode");
    Sig().BeginKey();
    EXPECT_EQ(ErrorOf([&] { sigs->SignaturesTableSignature.SetAsString("x"); }),
              "Field 'Signature' is not indexed and cannot be modified");
}

TEST_F(StringFieldTest, DateTimeKeepsMilliseconds) {
    const TDateTime noon = 40000.5;
    const TDateTime fileStamp = 45000 + (13 * 3600 + 7 * 60 + 44) / 86400.0;
    struct Case {
        TDateTime written;
        TDateTime read;
    };
    const Case cases[] = {
        {noon + 0.0004 / 86400.0, noon},
        {fileStamp, fileStamp},
        {0.0, 0.0},
        {-1.25, -1.25},
    };
    for (const auto& c : cases) {
        Sig().Append();
        sigs->SignaturesTableFileName.SetAsString("d" + std::to_string(&c - cases));
        sigs->SignaturesTableFileDate.SetAsDateTime(c.written);
        Sig().Post();
        EXPECT_EQ(sigs->SignaturesTableFileDate.AsDateTime(), c.read);
    }
    Sig().Append();
    sigs->SignaturesTableFileName.SetAsString("null date");
    Sig().Post();
    EXPECT_EQ(sigs->SignaturesTableFileDate.AsDateTime(), 0.0);
    EXPECT_EQ(sigs->SignaturesTableFileDate.AsString(), "");
}

TEST_F(StringFieldTest, IntegerFieldRoundTripsAndNullReadsZero) {
    for (int32_t value : {0, -1, 2147483647, -2147483647 - 1, 42}) {
        Match().Append();
        matches->MatchTableMaxDiff.SetAsInteger(value);
        matches->MatchTableFile1.SetAsString("a");
        Match().Post();
        EXPECT_EQ(matches->MatchTableMaxDiff.AsInteger(), value);
    }
    Match().Append();
    matches->MatchTableFile1.SetAsString("null diff");
    Match().Post();
    EXPECT_EQ(matches->MatchTableMaxDiff.AsInteger(), 0);
    EXPECT_TRUE(matches->MatchTableMaxDiff.IsNull());
}

using KeyTest = TablesFixture;
using LegacyKeyTest = LegacyTablesFixture;

TEST_F(KeyTest, NamesDifferingInCaseAreDifferentRecords) {
    AddSignature("a.jpg", "/p/", kSigA);
    AddSignature("A.JPG", "/p/", kSigB);
    AddSignature("a.jpg", "/P/", kSigB);
    EXPECT_EQ(Sig().RecordCount(), 3);
    ASSERT_TRUE(SeekSignature("A.JPG", "/p/"));
    EXPECT_EQ(sigs->SignaturesTableSignature.AsString(), kSigB);
    ASSERT_TRUE(SeekSignature("a.jpg", "/p/"));
    EXPECT_EQ(sigs->SignaturesTableSignature.AsString(), kSigA);
    EXPECT_FALSE(SeekSignature("A.jpg", "/p/"));
    for (const char* second : {"/b/y.jpg", "/B/Y.JPG"}) {
        Match().Append();
        matches->MatchTableMaxDiff.SetAsInteger(3);
        matches->MatchTableFile1.SetAsString("/a/x.jpg");
        matches->MatchTableFile2.SetAsString(second);
        Match().Post();
    }
    EXPECT_EQ(Match().RecordCount(), 2);
}

TEST_F(LegacyKeyTest, CaseInsensitivePrimaryFindsAndRejectsOtherCase) {
    AddSignature("PIC.JPG", "/HOME/", kSigA);
    EXPECT_TRUE(SeekSignature("pic.jpg", "/home/"));
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "PIC.JPG");
    int code = 0;
    const std::string message = ErrorOf([&] { AddSignature("pic.jpg", "/home/", kSigB); }, &code);
    EXPECT_EQ(code, 9729);
    EXPECT_EQ(
        message,
        "Store Engine Error # 9729 Duplicate key found in index '' of table 'Signatures.DAT'");
    EXPECT_EQ(Sig().State(), dsInsert);  // the failed record stays
    EXPECT_EQ(ErrorOf([&] { Sig().Next(); }, &code), message);
    Sig().Delete();  // drops it
    EXPECT_EQ(Sig().State(), dsBrowse);
    EXPECT_EQ(Sig().RecordCount(), 1);
}

TEST_F(LegacyKeyTest, OnlyAsciiLettersFold) {
    AddSignature("\xe4.jpg", "/", kSigA);  // a byte above 127 keeps its case
    EXPECT_FALSE(SeekSignature("\xc4.JPG", "/"));
    EXPECT_TRUE(SeekSignature("\xe4.JPG", "/"));
}

TEST_F(LegacyKeyTest, MatchDuplicateNamesPrimaryAndMatchesTable) {
    for (int i = 0; i < 2; ++i) {
        Match().Append();
        matches->MatchTableMaxDiff.SetAsInteger(3);
        matches->MatchTableFile1.SetAsString("/a/x.jpg");
        matches->MatchTableFile2.SetAsString(i ? "/B/Y.JPG" : "/b/y.jpg");
        if (i == 0) Match().Post();
    }
    EXPECT_EQ(ErrorOf([&] { Match().Post(); }),
              "Store Engine Error # 9729 Duplicate key found in index '' of table 'Matches.DAT'");
}

TEST_F(KeyTest, MatchRowsOrderByMaxDiffFirst) {
    const std::pair<int, std::string> rows[] = {
        {10, "b"}, {0, "z"}, {-5, "y"}, {10, "a"}, {3, "c"}};
    for (const auto& [diff, name] : rows) {
        Match().Append();
        matches->MatchTableMaxDiff.SetAsInteger(diff);
        matches->MatchTableFile1.SetAsString(name);
        Match().Post();
    }
    std::vector<std::string> order;
    for (Match().First(); !Match().AtEnd(); Match().Next())
        order.push_back(matches->MatchTableMaxDiff.AsString() +
                        matches->MatchTableFile1.AsString());
    EXPECT_EQ(order, (std::vector<std::string>{"-5y", "0z", "3c", "10a", "10b"}));
}

// Long keys made mostly of padding (short names, null fields) through page
// splits and removals: the walk stays in key order and finds every row.
TEST_F(KeyTest, PaddedKeysKeepTheirOrderThroughSplitsAndRemovals) {
    struct TRow {
        int diff;
        std::string file1, file2;  // empty file2: null
    };
    std::mt19937 random(7);
    std::vector<TRow> rows;
    for (int i = 0; i < 1500; ++i) {
        const auto text = [&] {
            std::string s(std::uniform_int_distribution<int>(1, 200)(random), 'A');
            for (char& c : s) c = static_cast<char>('A' + random() % 3);
            return s;
        };
        rows.push_back({static_cast<int>(random() % 5) - 1, text(),
                        random() % 3 == 0 ? std::string() : text()});
    }
    const auto key = [](const TRow& r) { return std::tie(r.diff, r.file1, r.file2); };
    std::sort(rows.begin(), rows.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    rows.erase(
        std::unique(rows.begin(), rows.end(), [&](auto& a, auto& b) { return key(a) == key(b); }),
        rows.end());
    std::vector<TRow> shuffled = rows;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    for (const TRow& row : shuffled) {
        Match().Append();
        matches->MatchTableMaxDiff.SetAsInteger(row.diff);
        matches->MatchTableFile1.SetAsString(row.file1);
        if (row.file2.empty())
            matches->MatchTableFile2.Clear();
        else
            matches->MatchTableFile2.SetAsString(row.file2);
        Match().Post();
    }
    const auto walk = [&] {
        std::vector<std::string> order;
        for (Match().First(); !Match().AtEnd(); Match().Next())
            order.push_back(matches->MatchTableMaxDiff.AsString() + "|" +
                            matches->MatchTableFile1.AsString() + "|" +
                            matches->MatchTableFile2.AsString());
        return order;
    };
    const auto expected = [&] {
        std::vector<std::string> order;
        for (const TRow& r : rows)
            order.push_back(std::to_string(r.diff) + "|" + r.file1 + "|" + r.file2);
        return order;
    };
    EXPECT_EQ(walk(), expected());
    // Remove every other row (a removal moves to the next row), then reopen.
    bool remove = true;
    for (Match().First(); !Match().AtEnd(); remove = !remove) {
        if (remove)
            Match().Delete();
        else
            Match().Next();
    }
    std::vector<TRow> kept;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i % 2 == 1) kept.push_back(rows[i]);
    rows = kept;
    Restart();
    EXPECT_EQ(walk(), expected());
}

TEST_F(KeyTest, EqualSecondaryValuesKeepInsertionOrderAcrossEdits) {
    AddSignature("c", "/", kSigA);
    AddSignature("a", "/", kSigA);
    AddSignature("b", "/", kSigB);
    AddSignature("0", "/", kSigA);
    Sig().SetIndexName("BySignature");
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "a", "0", "b"}));
    ASSERT_TRUE((Sig().First(), Sig().Next(), true));
    Sig().Edit();
    sigs->SignaturesTableFileDate.SetAsDateTime(1.0);
    Sig().Post();
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "a", "0", "b"}));
}

TEST_F(KeyTest, PartialTextSearchOnSecondaryChangesNothing) {
    AddSignature("a", "/", kSigA);
    AddSignature("b", "/", kSigB);
    Sig().SetIndexName("BySignature");
    Sig().First();
    Sig().Next();
    Sig().Next();  // at end, on "b"
    ASSERT_TRUE(Sig().AtEnd());
    Sig().BeginKey();
    sigs->SignaturesTableSignature.SetAsString(kSigA.substr(0, 4));
    EXPECT_FALSE(Sig().SeekKey());
    EXPECT_TRUE(Sig().AtEnd());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
    Sig().BeginKey();
    sigs->SignaturesTableSignature.SetAsString(kSigA);
    EXPECT_TRUE(Sig().SeekKey());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
    EXPECT_FALSE(Sig().AtEnd());
}

using CursorTest = TablesFixture;

TEST_F(CursorTest, MovesSetAndClearTheFlags) {
    Sig().First();
    EXPECT_TRUE(Sig().AtStart());
    EXPECT_TRUE(Sig().AtEnd());
    AddSignature("a", "/", kSigA);
    AddSignature("b", "/", kSigA);
    Sig().First();
    EXPECT_TRUE(Sig().AtStart());
    EXPECT_FALSE(Sig().AtEnd());
    Sig().Next();
    EXPECT_FALSE(Sig().AtStart());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
    Sig().Next();
    EXPECT_TRUE(Sig().AtEnd());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
    Sig().Prior();
    EXPECT_FALSE(Sig().AtEnd());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
    Sig().Prior();
    EXPECT_TRUE(Sig().AtStart());
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
}

TEST_F(CursorTest, DeleteMovesToNextOrNewLast) {
    for (const char* name : {"a", "b", "c"}) AddSignature(name, "/", kSigA);
    ASSERT_TRUE(SeekSignature("b", "/"));
    Sig().Delete();
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "c");
    Sig().Delete();
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
    EXPECT_FALSE(Sig().AtEnd());
    Sig().Delete();
    EXPECT_TRUE(Sig().AtStart());
    EXPECT_TRUE(Sig().AtEnd());
    EXPECT_EQ(Sig().RecordCount(), 0);
    EXPECT_EQ(ErrorOf([&] { Sig().Delete(); }),
              "SignaturesTable: Cannot perform this operation on an empty dataset");
}

TEST_F(CursorTest, ImplicitPostOnMoveOnlyWhenWritten) {
    AddSignature("a", "/", kSigA);
    Sig().Append();
    Sig().First();  // nothing written: dropped
    EXPECT_EQ(Sig().RecordCount(), 1);
    Sig().Append();
    sigs->SignaturesTableFileName.SetAsString("b");
    Sig().First();  // written: posted
    EXPECT_EQ(Sig().RecordCount(), 2);
    Sig().Edit();
    sigs->SignaturesTableSignature.SetAsString(kSigB);
    Sig().Next();
    ASSERT_TRUE(SeekSignature("a", "/"));
    EXPECT_EQ(sigs->SignaturesTableSignature.AsString(), kSigB);
}

TEST_F(CursorTest, EditOnEmptyTableAppends) {
    Sig().Edit();
    EXPECT_EQ(Sig().State(), dsInsert);
    sigs->SignaturesTableFileName.SetAsString("x");
    Sig().Post();
    EXPECT_EQ(Sig().RecordCount(), 1);
}

TEST_F(CursorTest, IndexNameSwitchKeepsCurrentAndRejectsUnknown) {
    AddSignature("a", "/", kSigB);
    AddSignature("b", "/", kSigA);
    ASSERT_TRUE(SeekSignature("a", "/"));
    int code = 0;
    EXPECT_EQ(ErrorOf([&] { Sig().SetIndexName("ByName"); }, &code),
              "Store Engine Error # 10022 Invalid secondary index name 'ByName' specified for "
              "table 'Signatures.DAT'");
    EXPECT_EQ(Sig().IndexName(), "");
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
    Sig().SetIndexName("bysignature");
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "a");
    Sig().Prior();
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
}

TEST_F(CursorTest, ByFileDateOrdersByDateThenName) {
    EXPECT_TRUE(Sig().HasIndex("ByFileDate"));
    EXPECT_TRUE(Sig().HasIndex("bysignature"));
    EXPECT_TRUE(Sig().HasIndex(""));
    EXPECT_FALSE(Sig().HasIndex("ByName"));
    AddSignature("c", "/", kSigA, 45000.5);
    AddSignature("b", "/", kSigA, 44000.0);
    AddSignature("a", "/", kSigA, 45000.5);
    Sig().Append();  // no date: first
    sigs->SignaturesTableFileName.SetAsString("z");
    Sig().Post();
    Sig().SetIndexName("ByFileDate");
    EXPECT_EQ(Names(), (std::vector<std::string>{"z", "b", "a", "c"}));
}

TEST_F(LegacyKeyTest, EarlierTablesLackByFileDateAndSaySo) {
    EXPECT_FALSE(Sig().HasIndex("ByFileDate"));
    int code = 0;
    ErrorOf([&] { Sig().SetIndexName("ByFileDate"); }, &code);
    EXPECT_EQ(code, 10022);
}

TEST_F(CursorTest, BookmarksReturnToTheRecord) {
    EXPECT_TRUE(Sig().TakeBookmark().IsNull());
    for (const char* name : {"a", "b", "c"}) AddSignature(name, "/", kSigA);
    ASSERT_TRUE(SeekSignature("b", "/"));
    TBookmark mark = Sig().TakeBookmark();
    Sig().First();
    Sig().MoveToBookmark(mark);
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
    Sig().DropBookmark(mark);
    EXPECT_TRUE(mark.IsNull());
    Sig().MoveToBookmark(mark);  // null: nothing
    EXPECT_EQ(sigs->SignaturesTableFileName.AsString(), "b");
}

TEST_F(CursorTest, EmptyTableWhileOpen) {
    for (const char* name : {"a", "b"}) AddSignature(name, "/", kSigA);
    Sig().EmptyTable();
    EXPECT_EQ(Sig().RecordCount(), 0);
    EXPECT_TRUE(Sig().AtStart());
    EXPECT_TRUE(Sig().AtEnd());
    AddSignature("c", "/", kSigA);
    EXPECT_EQ(Names(), std::vector<std::string>{"c"});
}

TEST_F(CursorTest, ClosedAndOpenTableErrors) {
    Sig().Close();
    EXPECT_EQ(ErrorOf([&] { Sig().RecordCount(); }),
              "SignaturesTable: Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ErrorOf([&] { Sig().First(); }),
              "SignaturesTable: Cannot perform this operation on a closed dataset");
    Sig().Open();
    EXPECT_EQ(ErrorOf([&] { Sig().SetTableName("x.DAT"); }),
              "SignaturesTable: Cannot perform this operation on an open dataset");
    EXPECT_EQ(ErrorOf([&] { Sig().RepairTable(); }),
              "SignaturesTable: Cannot perform this operation on an open dataset");
    TStoreTable unnamed("T");
    EXPECT_EQ(ErrorOf([&] { unnamed.Open(); }), "Missing table name.");
}

TEST_F(CursorTest, TableExistsCases) {
    TStoreTable probe("Probe");
    EXPECT_FALSE(probe.TableExists());
    probe.SetDatabaseName(folder.Path());
    probe.SetTableName("Signatures.DAT");
    EXPECT_TRUE(probe.TableExists());
    probe.SetTableName("Other.DAT");
    EXPECT_FALSE(probe.TableExists());
    EXPECT_TRUE(Sig().TableExists());
    probe.SetTableName(folder / "Matches.db");  // split into folder and name; ".DAT" put in
    EXPECT_EQ(probe.DatabaseName(), folder.Path());
    EXPECT_TRUE(probe.TableExists());
}

// The real files, except that every write fails with ENOSPC once Full is set.
class FullDiskEnv : public TStoreEnv {
  public:
    bool Full = false;

    class File : public TStoreFile {
      public:
        File(std::unique_ptr<TStoreFile> inner, FullDiskEnv& env)
            : inner_(std::move(inner)), env_(env) {}
        int ReadAt(uint64_t o, void* d, size_t s, size_t& done) override {
            return inner_->ReadAt(o, d, s, done);
        }
        int WriteAt(uint64_t o, const void* d, size_t s) override {
            return env_.Full ? ENOSPC : inner_->WriteAt(o, d, s);
        }
        int Truncate(uint64_t s) override { return inner_->Truncate(s); }
        int Size(uint64_t& s) override { return inner_->Size(s); }
        int Sync() override { return inner_->Sync(); }

      private:
        std::unique_ptr<TStoreFile> inner_;
        FullDiskEnv& env_;
    };

    int Open(const std::string& path, TOpenMode mode, TLockMode lock, bool readOnly,
             std::unique_ptr<TStoreFile>& file) override {
        std::unique_ptr<TStoreFile> inner;
        const int error = Default()->Open(path, mode, lock, readOnly, inner);
        if (error == 0) file = std::make_unique<File>(std::move(inner), *this);
        return error;
    }
    bool Exists(const std::string& path) override { return Default()->Exists(path); }
    int Rename(const std::string& from, const std::string& to) override {
        return Default()->Rename(from, to);
    }
    int Remove(const std::string& path) override { return Default()->Remove(path); }
};

TEST(FullDiskTest, AFailedWriteNamesTheTableFileAndSaysTheDiskIsFull) {
    TempFolder folder;
    FullDiskEnv env;
    TSignaturesTableObjects sigs(&env);
    TMatchTableObjects matches(&env);
    OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder.Path());
    env.Full = true;
    int code = 0;
    const std::string message = ErrorOf(
        [&] {
            sigs.SignaturesTable.Append();
            sigs.SignaturesTableFileName.SetAsString("a.jpg");
            sigs.SignaturesTableFilePath.SetAsString("/p/");
            sigs.SignaturesTable.Post();
        },
        &code);
    EXPECT_EQ(code, 9218);
    EXPECT_EQ(message, "Store Engine Error # 9218 Error writing to table '" + folder.Path() +
                           "Signatures.DAT'; the disk is full");
    env.Full = false;
}

TEST_F(CursorTest, SecondOpenerIsDenied) {
    TSignaturesTableObjects other;
    other.SignaturesTable.SetDatabaseName(folder.Path());
    int code = 0;
    EXPECT_EQ(ErrorOf([&] { other.SignaturesTable.Open(); }, &code),
              "Store Engine Error # 11013 Access denied to table 'Signatures.DAT'");
    EXPECT_FALSE(other.SignaturesTable.Active());
    // Another process meets the same lock.
    const pid_t child = fork();
    if (child == 0) {
        TSignaturesTableObjects elsewhere;
        elsewhere.SignaturesTable.SetDatabaseName(folder.Path());
        int childCode = 0;
        ErrorOf([&] { elsewhere.SignaturesTable.Open(); }, &childCode);
        _exit(childCode == 11013 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    Sig().Close();
    other.SignaturesTable.Open();
    EXPECT_TRUE(other.SignaturesTable.Active());
}

TEST_F(CursorTest, FieldObjectsBindByNameAndType) {
    TStoreTable table("T");
    TStringField missing(table, "Nope", 10);
    table.SetDatabaseName(folder.Path());
    table.SetTableName("Matches.DAT");
    Match().Close();
    EXPECT_EQ(ErrorOf([&] { table.Open(); }), "T: Field 'Nope' not found");
    EXPECT_FALSE(table.Active());
    TStoreTable typed("U");
    TStringField wrong(typed, "MaxDiff", 10);
    typed.SetDatabaseName(folder.Path());
    typed.SetTableName("Matches.DAT");
    EXPECT_EQ(ErrorOf([&] { typed.Open(); }),
              "U: Type mismatch for field 'MaxDiff', expecting: String actual: Integer");
}

class CountingView : public TStoreView {
  public:
    void DataChanged() override { ++data; }
    void StateChanged() override { ++state; }
    int data = 0;
    int state = 0;
};

TEST_F(CursorTest, SuspendedViewsHearOneNoticeAtTheEnd) {
    CountingView view;
    Sig().AttachView(&view);
    Sig().SuspendViews();
    Sig().SuspendViews();
    AddSignature("a", "/", kSigA);
    Sig().ResumeViews();
    EXPECT_EQ(view.data + view.state, 0);
    Sig().ResumeViews();
    EXPECT_EQ(view.data, 1);
    EXPECT_EQ(view.state, 0);  // browsing before and after
    Sig().First();
    EXPECT_EQ(view.data, 2);
    Sig().DetachView(&view);
}

TEST_F(CursorTest, DataSourceForwardsAndDetaches) {
    int changes = 0;
    {
        TDataSource source(&Sig());
        source.OnDataChange = [&] { ++changes; };
        Sig().First();
        EXPECT_EQ(changes, 1);
    }
    Sig().First();
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace corvane::testing
