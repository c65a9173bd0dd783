#include "review/FileActions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/DesktopTrash.h"
#include "tablestore/SignatureTables.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

std::string ReadAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& fileName, const std::string& bytes) {
    std::ofstream(fileName, std::ios::binary) << bytes;
}

int64_t MTimeNs(const std::string& fileName) {
    return TFileIdentity::Of(fileName)->ModifiedNs;
}

// A program folder with both tables, a picture folder and a desktop trash in
// a temporary home (HOME and XDG_DATA_HOME point there).
class FileActionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "corvane-actions-XXXXXX").string();
        root_ = std::string(::mkdtemp(pattern.data())) + "/";
        fs::create_directories(root_ + "home");
        fs::create_directories(root_ + "pics/sub");
        ::setenv("HOME", (root_ + "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "home/data").c_str(), 1);
        OpenProgramTables(signatures_.SignaturesTable, matches_.MatchTable, root_);
    }
    void TearDown() override {
        signatures_.SignaturesTable.Close();
        matches_.MatchTable.Close();
        std::error_code error;
        fs::remove_all(root_, error);
    }

    std::string Pic(const std::string& name) const { return root_ + "pics/" + name; }
    std::string Trash() const { return root_ + "home/data/Trash/"; }

    TFileActions Actions(TTrashCan* trash = nullptr, std::string journal = "") {
        return TFileActions(signatures_.SignaturesTable, matches_.MatchTable,
                            trash != nullptr ? trash : &trash_,
                            journal.empty() ? root_ + kUndoJournalFileName : journal);
    }

    void AddPicture(const std::string& name, const std::string& bytes) {
        WriteAll(Pic(name), bytes);
        TStoreTable& table = signatures_.SignaturesTable;
        table.Append();
        signatures_.SignaturesTableFileName.SetValue(fs::path(Pic(name)).filename().string());
        signatures_.SignaturesTableFilePath.SetValue(fs::path(Pic(name)).parent_path().string() +
                                                     "/");
        signatures_.SignaturesTableFileDate.SetValue(45000.123456789);
        signatures_.SignaturesTableSignature.SetValue("sig of " + name);
        table.Post();
    }
    void AddMatch(int maxDiff, const std::string& file1, const std::string& file2) {
        matches_.MatchTable.Append();
        matches_.MatchTableMaxDiff.SetValue(maxDiff);
        matches_.MatchTableFile1.SetValue(file1);
        matches_.MatchTableFile2.SetValue(file2);
        matches_.MatchTable.Post();
    }

    // Both tables, every field, in primary order.
    std::string Tables() {
        std::string text;
        for (TStoreTable* table : {&signatures_.SignaturesTable, &matches_.MatchTable}) {
            for (table->First(); !table->AtEnd(); table->Next()) {
                for (const TField* field : table->Fields()) text += field->AsString() + "|";
                if (const auto* date =
                        dynamic_cast<const TDateTimeField*>(table->FindField("FileDate")))
                    text += Format("%.17g", date->AsDateTime());
                text += "\n";
            }
        }
        return text;
    }

    // A, B, C with records; rows (A,B), (A,C), (D,A) and (B,C).
    void ThreePictures() {
        AddPicture("A.jpg", "picture A");
        AddPicture("B.jpg", "picture B");
        AddPicture("sub/C.jpg", "picture C");
        AddMatch(1, Pic("A.jpg"), Pic("B.jpg"));
        AddMatch(2, Pic("A.jpg"), Pic("sub/C.jpg"));
        AddMatch(3, "/elsewhere/D.jpg", Pic("A.jpg"));
        AddMatch(4, Pic("B.jpg"), Pic("sub/C.jpg"));
    }

    std::string root_;
    TSignaturesTableObjects signatures_;
    TMatchTableObjects matches_;
    TDesktopTrash trash_;
};

// A trash in a plain folder, for tests about the journal rather than the
// desktop trash.
class TFolderTrash : public TTrashCan {
  public:
    explicit TFolderTrash(std::string folder) : folder_(std::move(folder)) {
        fs::create_directories(folder_ + "files");
        fs::create_directories(folder_ + "info");
    }
    std::string MoveToTrash(const std::string& fileName) override {
        const std::string target = folder_ + "files/" + fs::path(fileName).filename().string();
        MoveFileNoReplace(fileName, target);
        WriteAll(TrashInfoPathOf(target), "[Trash Info]\n");
        return target;
    }

  private:
    std::string folder_;
};

// A trash that refuses: a volume without a trash folder.
class TRefusingTrash : public TTrashCan {
  public:
    std::string MoveToTrash(const std::string& fileName) override {
        throw EFileAction("Unable to move " + fileName + " to the trash: no trash can take it");
    }
};

TEST_F(FileActionsTest, TrashAndUndoRoundTrip) {
    ThreePictures();
    const std::string before = Tables();
    TFileActions actions = Actions();
    const TActionResult deleted = actions.Delete(Pic("A.jpg"));
    ASSERT_EQ(deleted.Status, TActionStatus::Done) << deleted.Message;
    EXPECT_EQ(deleted.Message, "Moved to the trash: " + Pic("A.jpg"));
    EXPECT_FALSE(fs::exists(Pic("A.jpg")));
    EXPECT_EQ(ReadAll(Trash() + "files/A.jpg"), "picture A");
    EXPECT_NE(ReadAll(Trash() + "info/A.jpg.trashinfo").find("Path=" + Pic("A.jpg")),
              std::string::npos);
    EXPECT_EQ(signatures_.SignaturesTable.RecordCount(), 2);
    EXPECT_EQ(matches_.MatchTable.RecordCount(), 1);  // (B,C) stays

    // Undo from a new start of the program: the journal holds the step.
    TFileActions later = Actions();
    const TActionResult undone = later.Undo();
    ASSERT_EQ(undone.Status, TActionStatus::Done) << undone.Message;
    EXPECT_EQ(ReadAll(Pic("A.jpg")), "picture A");
    EXPECT_FALSE(fs::exists(Trash() + "files/A.jpg"));
    EXPECT_FALSE(fs::exists(Trash() + "info/A.jpg.trashinfo"));
    EXPECT_EQ(Tables(), before);
    EXPECT_EQ(later.Undo().Status, TActionStatus::NothingToUndo);
}

TEST_F(FileActionsTest, DeleteAllMatchesDeletingOneByOneUndoIncluded) {
    ThreePictures();
    const std::string before = Tables();
    const std::vector<std::string> files = {Pic("A.jpg"), "/elsewhere/D.jpg", Pic("sub/C.jpg")};
    TFileActions actions = Actions();
    const std::vector<TActionResult> results = actions.DeleteAll(files);
    ASSERT_EQ(results.size(), 3u);
    for (const TActionResult& result : results)
        EXPECT_EQ(result.Status, TActionStatus::Done) << result.Message;
    EXPECT_EQ(results[1].Message, "Records removed of /elsewhere/D.jpg (no such file)");
    EXPECT_FALSE(fs::exists(Pic("A.jpg")));
    EXPECT_FALSE(fs::exists(Pic("sub/C.jpg")));
    const std::string batched = Tables();
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);  // C, the last
    EXPECT_TRUE(fs::exists(Pic("sub/C.jpg")));
    const std::string batchedUndoneOnce = Tables();
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);  // D's records
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);  // A
    EXPECT_EQ(Tables(), before);

    // The same one by one: the same tables after each step.
    for (const std::string& file : files)
        ASSERT_EQ(actions.Delete(file).Status, TActionStatus::Done);
    EXPECT_EQ(Tables(), batched);
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);
    EXPECT_EQ(Tables(), batchedUndoneOnce);
}

TEST_F(FileActionsTest, DeleteAllKeepsWhatNoTrashTakes) {
    ThreePictures();
    const std::string before = Tables();
    TRefusingTrash refusing;
    TFileActions actions = Actions(&refusing);
    const std::vector<TActionResult> results = actions.DeleteAll({Pic("A.jpg"), Pic("B.jpg")});
    ASSERT_EQ(results.size(), 2u);
    for (const TActionResult& result : results) EXPECT_EQ(result.Status, TActionStatus::NoTrash);
    EXPECT_TRUE(fs::exists(Pic("A.jpg")));
    EXPECT_EQ(Tables(), before);
    EXPECT_EQ(actions.Undo().Status, TActionStatus::NothingToUndo);
    // For good, when asked: gone, with their records; rows naming both go once.
    const std::vector<TActionResult> forGood =
        actions.DeleteAll({Pic("A.jpg"), Pic("B.jpg")}, true);
    for (const TActionResult& result : forGood) EXPECT_EQ(result.Status, TActionStatus::Done);
    EXPECT_FALSE(fs::exists(Pic("B.jpg")));
    EXPECT_EQ(signatures_.SignaturesTable.RecordCount(), 1);
    EXPECT_EQ(matches_.MatchTable.RecordCount(), 0);
}

// Qt holds names as UTF-8; a name that is not still goes and comes back, and
// its .trashinfo names it, escaped.
TEST_F(FileActionsTest, NameThatIsNotUtf8RoundTrips) {
    AddPicture("bad\xff name.jpg", "odd");
    TFileActions actions = Actions();
    ASSERT_EQ(actions.Delete(Pic("bad\xff name.jpg")).Status, TActionStatus::Done);
    EXPECT_FALSE(fs::exists(Pic("bad\xff name.jpg")));
    std::string info;
    for (const auto& entry : fs::directory_iterator(Trash() + "info"))
        info += ReadAll(entry.path());
    EXPECT_NE(info.find("Path=" + root_ + "pics/bad%FF%20name.jpg\n"), std::string::npos) << info;
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);
    EXPECT_EQ(ReadAll(Pic("bad\xff name.jpg")), "odd");
    EXPECT_EQ(signatures_.SignaturesTable.RecordCount(), 1);
}

TEST_F(FileActionsTest, FailedRemovalKeepsFileAndRecords) {
    ThreePictures();
    const std::string before = Tables();
    TRefusingTrash refusing;
    TFileActions actions = Actions(&refusing);
    const TActionResult refused = actions.Delete(Pic("A.jpg"));
    EXPECT_EQ(refused.Status, TActionStatus::NoTrash);
    EXPECT_NE(refused.Message.find("no trash can take it"), std::string::npos);
    EXPECT_TRUE(fs::exists(Pic("A.jpg")));
    EXPECT_EQ(Tables(), before);
    // An immutable file: neither the trash nor a permanent delete can take it.
    if (std::system(("chattr +i '" + Pic("B.jpg") + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "chattr +i is not available here";
    TFileActions real = Actions();
    const TActionResult trashed = real.Delete(Pic("B.jpg"));
    const TActionResult erased = real.Delete(Pic("B.jpg"), true);
    EXPECT_EQ(std::system(("chattr -i '" + Pic("B.jpg") + "'").c_str()), 0);
    EXPECT_EQ(trashed.Status, TActionStatus::NoTrash);
    EXPECT_EQ(erased.Status, TActionStatus::Failed);
    EXPECT_NE(erased.Message.find("Operation not permitted"), std::string::npos) << erased.Message;
    EXPECT_TRUE(fs::exists(Pic("B.jpg")));
    EXPECT_EQ(Tables(), before);
    // Failed steps are not offered for undo.
    EXPECT_EQ(real.Undo().Status, TActionStatus::NothingToUndo);
}

TEST_F(FileActionsTest, PermanentDeleteCannotBeUndone) {
    ThreePictures();
    TFileActions actions = Actions();
    actions.UseTrash = false;
    ASSERT_EQ(actions.Delete(Pic("A.jpg")).Status, TActionStatus::Done);
    EXPECT_FALSE(fs::exists(Pic("A.jpg")));
    EXPECT_FALSE(fs::exists(Trash() + "files/A.jpg"));
    const TActionResult undo = actions.Undo();
    EXPECT_EQ(undo.Status, TActionStatus::Failed);
    EXPECT_NE(undo.Message.find("deleted for good"), std::string::npos);
}

// The moves of one file system (rename) and across file systems (copy),
// when a tmpfs is at hand.
TEST_F(FileActionsTest, MoveKeepsBytesAndTimeAndRecordsFollow) {
    std::vector<std::string> folders = {root_ + "other/"};
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) == 0 && ::stat(root_.c_str(), &here) == 0 &&
        shm.st_dev != here.st_dev && ::access("/dev/shm", W_OK) == 0) {
        std::string pattern = "/dev/shm/corvane-move-XXXXXX";
        folders.push_back(std::string(::mkdtemp(pattern.data())) + "/");
    }
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        fs::create_directories(folder);
        ThreePictures();
        ::chmod(Pic("A.jpg").c_str(), 0640);
        const timespec times[2] = {{0, UTIME_OMIT}, {1'200'000'000, 123'456'789}};
        ::utimensat(AT_FDCWD, Pic("A.jpg").c_str(), times, 0);
        const std::string before = Tables();
        const std::string moved = folder + "A.jpg";
        TFileActions actions = Actions();
        const TActionResult result = actions.Move(Pic("A.jpg"), folder);
        ASSERT_EQ(result.Status, TActionStatus::Done) << result.Message;
        EXPECT_FALSE(fs::exists(Pic("A.jpg")));
        EXPECT_EQ(ReadAll(moved), "picture A");
        EXPECT_EQ(MTimeNs(moved), 1'200'000'000'123'456'789);
        EXPECT_EQ(fs::status(moved).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        // The records follow the file.
        const std::string after = Tables();
        EXPECT_EQ(after.find(Pic("A.jpg")), std::string::npos) << after;
        EXPECT_NE(after.find("A.jpg|" + folder + "|"), std::string::npos) << after;
        EXPECT_NE(after.find(moved + "|" + Pic("B.jpg") + "|1|"), std::string::npos) << after;
        EXPECT_NE(after.find("/elsewhere/D.jpg|" + moved + "|3|"), std::string::npos) << after;
        ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);
        EXPECT_EQ(ReadAll(Pic("A.jpg")), "picture A");
        EXPECT_FALSE(fs::exists(moved));
        EXPECT_EQ(Tables(), before);
        signatures_.SignaturesTable.EmptyTable();
        matches_.MatchTable.EmptyTable();
    }
    if (folders.size() > 1) fs::remove_all(folders[1]);
}

TEST_F(FileActionsTest, MoveNeverReplacesSilently) {
    ThreePictures();
    fs::create_directories(root_ + "other");
    const std::string taken = root_ + "other/A.jpg";
    WriteAll(taken, "another picture");
    TFileActions actions = Actions();
    EXPECT_EQ(actions.Move(Pic("A.jpg"), Pic("A.jpg")).Status, TActionStatus::SameFile);
    const std::string before = Tables();
    EXPECT_EQ(actions.Move(Pic("A.jpg"), taken).Status, TActionStatus::DestinationTaken);
    EXPECT_EQ(ReadAll(taken), "another picture");
    EXPECT_EQ(Tables(), before);
    // Confirmed: the file there goes to the trash first; undo brings both back.
    ASSERT_EQ(actions.Move(Pic("A.jpg"), taken, true).Status, TActionStatus::Done);
    EXPECT_EQ(ReadAll(taken), "picture A");
    EXPECT_EQ(ReadAll(Trash() + "files/A.jpg"), "another picture");
    ASSERT_EQ(actions.Undo().Status, TActionStatus::Done);
    EXPECT_EQ(ReadAll(Pic("A.jpg")), "picture A");
    EXPECT_EQ(ReadAll(taken), "another picture");
    EXPECT_EQ(Tables(), before);
    // A missing folder: the reason, the file stays.
    const TActionResult failed = actions.Move(Pic("A.jpg"), root_ + "missing/A.jpg");
    EXPECT_EQ(failed.Status, TActionStatus::Failed);
    EXPECT_NE(failed.Message.find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(fs::exists(Pic("A.jpg")));
}

// A step whose file changed in the trash or left it is refused, once; the
// next undo reaches the step before.
TEST_F(FileActionsTest, UndoRefusesChangedOrVanishedFiles) {
    ThreePictures();
    TFileActions actions = Actions();
    ASSERT_EQ(actions.Delete(Pic("sub/C.jpg")).Status, TActionStatus::Done);
    ASSERT_EQ(actions.Delete(Pic("B.jpg")).Status, TActionStatus::Done);
    ASSERT_EQ(actions.Delete(Pic("A.jpg")).Status, TActionStatus::Done);
    fs::remove(Trash() + "files/A.jpg");
    WriteAll(Trash() + "files/B.jpg", "changed");
    const TActionResult gone = actions.Undo();
    EXPECT_EQ(gone.Status, TActionStatus::Failed);
    EXPECT_NE(gone.Message.find("no longer in the trash"), std::string::npos) << gone.Message;
    const TActionResult changed = actions.Undo();
    EXPECT_EQ(changed.Status, TActionStatus::Failed);
    EXPECT_NE(changed.Message.find("has changed"), std::string::npos) << changed.Message;
    EXPECT_EQ(actions.Undo().Status, TActionStatus::Done);
    EXPECT_EQ(ReadAll(Pic("sub/C.jpg")), "picture C");
}

TEST_F(FileActionsTest, JournalKeepsManySteps) {
    constexpr int kSteps = 51;
    // Each step is flushed to disk twice; on a tmpfs that costs nothing.
    const std::string journal = ::access("/dev/shm", W_OK) == 0
                                    ? "/dev/shm/corvane-journal-" + std::to_string(::getpid())
                                    : root_ + kUndoJournalFileName;
    for (int i = 0; i < kSteps; ++i) AddPicture("p" + std::to_string(i), std::to_string(i));
    TFolderTrash trash(root_ + "trash/");
    {
        TFileActions actions = Actions(&trash, journal);
        for (int i = 0; i < kSteps; ++i)
            ASSERT_EQ(actions.Delete(Pic("p" + std::to_string(i))).Status, TActionStatus::Done);
    }
    TFileActions actions = Actions(&trash, journal);
    for (int i = kSteps - 1; i >= 0; --i) {
        ASSERT_EQ(actions.Undo().Status, TActionStatus::Done) << i;
        EXPECT_EQ(ReadAll(Pic("p" + std::to_string(i))), std::to_string(i));
    }
    EXPECT_EQ(signatures_.SignaturesTable.RecordCount(), kSteps);
    fs::remove(journal);
}

// Grown to twice its size, the journal is cut back to the newest steps, with
// their records; a line cut short by a crash is passed over.
TEST(ActionJournalTest, KeepsTheNewestStepsWhenCutBack) {
    const std::string name =
        (fs::temp_directory_path() / ("corvane-journal-" + std::to_string(::getpid()))).string();
    TActionJournal journal(name, 3);
    for (int i = 1; i <= 7; ++i) {
        TJournalStep step;
        step.File = "/p/" + std::to_string(i) + "\tx%y\n";
        step.Signatures.push_back(
            {{{"FileName", "n" + std::to_string(i)}, {"FileDate", std::nullopt}}});
        journal.Begin(step);
        step.TrashPath = "/t/" + std::to_string(i);
        journal.Complete(step);
    }
    std::ofstream(name, std::ios::app) << "done\t9\t/cut";  // no line break
    journal.Drop(1);                                        // written on a line of its own
    TJournalStep eighth;
    journal.Begin(eighth);  // 8 steps: cut back to the newest 3, then this one
    EXPECT_GT(eighth.Id, 7);
    journal.Drop(eighth.Id);
    for (int i = 7; i >= 5; --i) {
        const std::optional<TJournalStep> last = journal.Last();
        ASSERT_TRUE(last);
        EXPECT_EQ(last->File, "/p/" + std::to_string(i) + "\tx%y\n");
        EXPECT_EQ(last->TrashPath, "/t/" + std::to_string(i));
        ASSERT_EQ(last->Signatures.size(), 1u);
        EXPECT_EQ(last->Signatures[0].Fields[0].second, "n" + std::to_string(i));
        EXPECT_FALSE(last->Signatures[0].Fields[1].second);
        journal.Drop(last->Id);
    }
    EXPECT_FALSE(journal.Last());
    fs::remove(name);
}

}  // namespace
}  // namespace corvane
