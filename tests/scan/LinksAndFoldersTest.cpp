// One record per file however its folder is reached or typed, never a pair of
// two names of one file, and folders the scan cannot read or find.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "EngineFixture.h"
#include "scan/TextFiles.h"

namespace corvane::test {
namespace {

std::string RealFolder(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    std::string folder = real == nullptr ? std::string() : std::string(real) + "/";
    std::free(real);
    return folder;
}

class LinksAndFoldersTest : public EngineFixture {
  protected:
    // True when some match row joins the two names.
    bool HasPair(const std::string& name1, const std::string& name2) {
        TStoreTable& table = engine_.Matches.MatchTable;
        for (table.First(); !table.AtEnd(); table.Next()) {
            const std::string f1 = engine_.Matches.MatchTableFile1.Value();
            const std::string f2 = engine_.Matches.MatchTableFile2.Value();
            if ((f1 == name1 && f2 == name2) || (f1 == name2 && f2 == name1)) return true;
        }
        return false;
    }

    void SelectRecord(const std::string& fileName) {
        TStoreTable& table = engine_.Signatures.SignaturesTable;
        table.BeginKey();
        engine_.Signatures.SignaturesTableFileName.SetValue(ExtractFileName(fileName));
        engine_.Signatures.SignaturesTableFilePath.SetValue(ExtractFilePath(fileName));
        ASSERT_TRUE(table.SeekKey());
    }
};

TEST_F(LinksAndFoldersTest, TwoNamesOfOneFileAreNeverOfferedAsAPair) {
    enum class TCommand { Identify, Incremental, MatchSingle };
    for (const bool symbolic : {true, false}) {
        for (const TCommand command :
             {TCommand::Identify, TCommand::Incremental, TCommand::MatchSingle}) {
            SCOPED_TRACE(std::string(symbolic ? "symbolic link, " : "hard link, ") +
                         std::to_string(static_cast<int>(command)));
            TTempFolder data;
            const std::string pictures = RealFolder(data.Make("pictures"));
            const std::string target = pictures + "a.jpg", second = pictures + "b.jpg",
                              copy = pictures + "c.jpg";
            WriteJpeg(target, MakePattern(1));
            ASSERT_EQ(symbolic ? ::symlink(target.c_str(), second.c_str())
                               : ::link(target.c_str(), second.c_str()),
                      0);
            WriteBytes(copy, ReadBytes(target));  // a real duplicate still pairs
            controls_.Search = pictures;
            controls_.IncrMatch = command == TCommand::Incremental;
            engine_.Matches.MatchTable.EmptyTable();
            engine_.ComputeButtonClick();
            if (command == TCommand::Incremental) {
                // Both names change at once: each update searches the other.
                WriteJpeg(target, MakePattern(3));
                SetMTime(target, 1'000'000'000);
                engine_.ComputeButtonClick();
            }
            if (command == TCommand::Identify) engine_.Matcher.IdentifyButtonClick();
            if (command == TCommand::MatchSingle) {
                SelectRecord(target);
                engine_.Matcher.MatchSingleButtonClick();
            }
            EXPECT_FALSE(HasPair(target, second));
            if (command != TCommand::Incremental) {
                EXPECT_TRUE(HasPair(target, copy));
            }
        }
    }
}

TEST_F(LinksAndFoldersTest, LinkedFoldersAreWalkedOnceUnderTheirRealName) {
    const std::string pictures = RealFolder(pictures_);
    const std::string sub = RealFolder(data_.Make("pictures/sub"));
    WriteJpeg(pictures + "top.jpg", MakePattern(1));
    WriteJpeg(sub + "deep.jpg", MakePattern(2));
    ASSERT_EQ(::symlink(pictures.c_str(), (sub + "parent").c_str()), 0);  // a loop
    ASSERT_EQ(::symlink(sub.c_str(), (pictures + "alias").c_str()), 0);
    ASSERT_EQ(::symlink("/no/such/folder", (pictures + "dangling").c_str()), 0);
    for (const int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        engine_.Workers = workers;
        engine_.Signatures.SignaturesTable.EmptyTable();
        engine_.ComputeButtonClick();
        auto records = Records();
        std::sort(records.begin(), records.end());
        EXPECT_EQ(records, (std::vector<std::pair<std::string, std::string>>{
                               {"deep.jpg", sub}, {"top.jpg", pictures}}));
        EXPECT_EQ(LastMessage().substr(0, 33), "2 records added; 0 records edited");
        const auto log = ReadTextLines(programFolder_ + "log.txt");
        EXPECT_EQ(log.size(), 2u);
        EXPECT_EQ(std::count(log.begin(), log.end(), sub), 1);
    }
}

TEST_F(LinksAndFoldersTest, AFolderTypedAnyWayGivesTheSameRecords) {
    const std::string pictures = RealFolder(pictures_);
    const std::string sub = data_.Make("pictures/sub");
    WriteJpeg(pictures + "a.jpg", MakePattern(1));
    WriteJpeg(sub + "b.jpg", MakePattern(2));
    const std::string link = data_.Path() + "link";
    ASSERT_EQ(::symlink(pictures.c_str(), link.c_str()), 0);
    controls_.Search = pictures;
    engine_.ComputeButtonClick();
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);

    const std::string base = pictures.substr(0, pictures.size() - 1);
    const char* const kTyped[] = {"", "/", "//", "/./", "/sub/../", "/sub/..//."};
    std::vector<std::string> typed;
    for (const char* suffix : kTyped) typed.push_back(base + suffix);
    typed.push_back(link);
    typed.push_back(link + "/sub/..");
    for (const std::string& search : typed) {
        SCOPED_TRACE(search);
        controls_.Search = search;
        engine_.ComputeButtonClick();
        EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
        EXPECT_EQ(Records(), records);
        EXPECT_EQ(ReadTextLines(programFolder_ + "log.txt").front(), pictures);
    }
    // A relative folder, from the folder above it and from inside it.
    char* saved = ::getcwd(nullptr, 0);
    for (const auto& [cwd, search] : {std::pair<std::string, std::string>{data_.Path(), "pictures"},
                                      {sub, ".."},
                                      {sub, "../sub/../"}}) {
        SCOPED_TRACE(cwd + " " + search);
        ASSERT_EQ(::chdir(cwd.c_str()), 0);
        controls_.Search = search;
        engine_.ComputeButtonClick();
        EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
        EXPECT_EQ(Records(), records);
    }
    ASSERT_EQ(::chdir(saved), 0);
    std::free(saved);
}

TEST_F(LinksAndFoldersTest, AMissingSearchFolderOrAFileIsAnErrorAndChangesNothing) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    engine_.ComputeButtonClick();
    WriteBytes(pictures_ + "file.txt", "x");
    ::unlink((pictures_ + "a.jpg").c_str());  // its record would be purged by a run
    const std::pair<std::string, std::string> cases[] = {
        {pictures_ + "missing", "The search folder \"" + pictures_ + "missing\" does not exist"},
        {pictures_ + "file.txt/sub",
         "The search folder \"" + pictures_ + "file.txt/sub\" does not exist"},
        {pictures_ + "file.txt", "The search folder \"" + pictures_ + "file.txt\" is not a folder"},
    };
    const size_t messages = controls_.Messages.size();
    for (const auto& [search, message] : cases) {
        SCOPED_TRACE(search);
        controls_.Search = search;
        try {
            engine_.ComputeButtonClick();
            FAIL();
        } catch (const ESearchFolder& error) {
            EXPECT_EQ(error.Message(), message);
        }
        EXPECT_EQ(Records().size(), 1u);
    }
    EXPECT_EQ(controls_.Messages.size(), messages);  // no "0 records added"
}

// Run in a child process that cannot read the folder (as an unprivileged user
// when the tests run as root, which reads everything).
TEST_F(LinksAndFoldersTest, AFolderThatCannotBeReadIsReportedAndKeepsItsRecords) {
    const std::string locked = data_.Make("pictures/locked");
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    WriteJpeg(locked + "b.jpg", MakePattern(2));
    engine_.ComputeButtonClick();
    ASSERT_EQ(Records().size(), 2u);
    for (const std::string& name : {data_.Path(), programFolder_, pictures_})
        ASSERT_EQ(::chmod(name.c_str(), 0777), 0);
    ASSERT_EQ(::chmod((programFolder_ + "log.txt").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        int failures = 0;
        try {
            engine_.ComputeButtonClick();
            failures += Records().size() != 2u;
            failures += controls_.Memo2 !=
                        std::vector<std::string>{"Unable to read folder \"" + locked + "\""};
            failures += !controls_.Memo2VisibleValue;
            failures += LastMessage() != "0 records added; 0 records edited in 00:00:00";
        } catch (...) {
            failures = 20;
        }
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(locked.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace corvane::test
