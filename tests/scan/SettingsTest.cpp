#include "EngineFixture.h"
#include "scan/SignaturePrefetch.h"
#include "scan/TextFiles.h"

namespace corvane::test {
namespace {

TEST(TextFilesTest, LinesEndAtCarriageReturnLineFeedOrBoth) {
    TTempFolder folder;
    WriteBytes(folder.Path() + "t.txt", "a\r\nb\rc\n\nd");
    EXPECT_EQ(ReadTextLines(folder.Path() + "t.txt"),
              (std::vector<std::string>{"a", "b", "c", "", "d"}));
    WriteTextLines(folder.Path() + "t.txt", {"x", "", "y"});
    EXPECT_EQ(ReadBytes(folder.Path() + "t.txt"), "x\r\n\r\ny\r\n");
    EXPECT_TRUE(ReadTextLines(folder.Path() + "missing.txt").empty());
    EXPECT_THROW(WriteTextLines(folder.Path() + "no/such/folder.txt", {"x"}), ETextFileError);
}

TEST(IniFileTest, PrivateProfileSemantics) {
    TTempFolder folder;
    const std::string name = folder.Path() + "Corvane.INI";
    WriteBytes(name,
               "[Other]\r\nMargin=1\r\n[params]\r\n margin = 7 \r\nQuoted=\"a b\"\r\n"
               "[Params]\r\nMargin=99\r\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("Params", "Margin", "25"), "7");
    EXPECT_EQ(ini.ReadString("PARAMS", "quoted", ""), "a b");
    EXPECT_EQ(ini.ReadString("Params", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nope", "Margin", "dflt"), "dflt");
    ini.WriteString("Params", "Margin", "30");
    ini.WriteString("Params", "Colors", "Y");
    ini.WriteString("New", "Key", "v");
    EXPECT_EQ(ReadBytes(name),
              "[Other]\r\nMargin=1\r\n[params]\r\nMargin=30\r\nQuoted=\"a b\"\r\nColors=Y\r\n"
              "[Params]\r\nMargin=99\r\n[New]\r\nKey=v\r\n");
    EXPECT_EQ(TIniFile(folder.Path() + "missing.ini").ReadString("Params", "Margin", "25"), "25");
}

class SettingsTest : public EngineFixture {};

TEST_F(SettingsTest, FirstStartCreatesTablesAndUsesDefaults) {
    EXPECT_TRUE(Exists(programFolder_ + "Signatures.DAT"));
    EXPECT_TRUE(Exists(programFolder_ + "Matches.DAT"));
    EXPECT_EQ(controls_.SignaturesLabel, "Signatures DB (0)");
    EXPECT_EQ(controls_.MatchesLabel, "Matches DB (0)");
    EXPECT_EQ(controls_.Margin, "25");
    EXPECT_EQ(engine_.State.ProgramFolder, programFolder_);
    EXPECT_TRUE(controls_.Colors);
    EXPECT_TRUE(controls_.SubDirs);
    EXPECT_FALSE(controls_.Normalize);
    EXPECT_FALSE(controls_.IncrMatch);
    EXPECT_FALSE(engine_.State.ShowExtraHints);
    EXPECT_EQ(engine_.Workers, TSignaturePrefetcher::DefaultWorkers());
}

TEST_F(SettingsTest, WorkersComeFromTheSettingsWhenValid) {
    for (const auto& [text, expected] : {std::pair<std::string, int>{"3", 3},
                                         {"0", TSignaturePrefetcher::DefaultWorkers()},
                                         {"many", TSignaturePrefetcher::DefaultWorkers()}}) {
        WriteBytes(programFolder_ + "Corvane.INI", "[Params]\r\nWorkers=" + text + "\r\n");
        engine_.ReadSettings();
        EXPECT_EQ(engine_.Workers, expected) << text;
    }
}

TEST_F(SettingsTest, SettingsRoundTripAndOnlyExactYChecks) {
    controls_.Search = "/somewhere";
    controls_.Margin = "12";
    controls_.Normalize = true;
    controls_.Colors = false;
    controls_.IncrMatch = true;
    engine_.WriteSettings();
    TPlainFormControls other;
    TCorvaneEngine second(other);
    second.State.ProgramFolder = programFolder_;
    second.ReadSettings();
    EXPECT_EQ(other.Search, "/somewhere");
    EXPECT_EQ(other.Margin, "12");
    EXPECT_TRUE(other.Normalize);
    EXPECT_FALSE(other.Colors);
    EXPECT_TRUE(other.SubDirs);
    EXPECT_TRUE(other.IncrMatch);

    TIniFile(programFolder_ + "Corvane.INI").WriteString("Params", "Normalize", "y");
    second.ReadSettings();
    EXPECT_FALSE(other.Normalize);
}

TEST_F(SettingsTest, CloseSavesIgnoreListWithFinalSlashAndBadFilesOnlyAfterFailures) {
    WriteBytes(programFolder_ + "BadFiles.txt", "earlier\r\n");
    controls_.Ignore = {"/tmp/x", "", "/tmp/y/"};
    engine_.ShutDown();
    EXPECT_EQ(ReadBytes(programFolder_ + "NoMatches.Txt"), "/tmp/x/\r\n\r\n/tmp/y/\r\n");
    EXPECT_EQ(controls_.Ignore, (std::vector<std::string>{"/tmp/x/", "", "/tmp/y/"}));
    EXPECT_EQ(ReadBytes(programFolder_ + "BadFiles.txt"), "earlier\r\n");

    controls_.AddMemo2Line("Unable to process \"/p/x.jpg\"");
    controls_.Memo2VisibleValue = true;
    engine_.ShutDown();
    EXPECT_EQ(ReadBytes(programFolder_ + "BadFiles.txt"), "Unable to process \"/p/x.jpg\"\r\n");

    TPlainFormControls other;
    TCorvaneEngine second(other);
    WriteBytes(programFolder_ + "tivrel.txt", "");
    engine_.Signatures.SignaturesTable.Close();
    engine_.Matches.MatchTable.Close();
    second.StartUp(programFolder_.substr(0, programFolder_.size() - 1));
    EXPECT_EQ(other.Ignore, (std::vector<std::string>{"/tmp/x/", "", "/tmp/y/"}));
    EXPECT_TRUE(second.State.ShowExtraHints);
    EXPECT_EQ(second.State.ProgramFolder, programFolder_);
}

TEST_F(SettingsTest, SecondOpenerOfTheTablesFailsWithAccessDenied) {
    TPlainFormControls other;
    TCorvaneEngine second(other);
    try {
        second.StartUp(programFolder_);
        FAIL();
    } catch (const EStoreEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), 11013);
        // Said in words: who holds which file, not a permission problem.
        EXPECT_EQ(error.Message(), "The table " + programFolder_ +
                                       "Signatures.DAT is in use by another running Corvane; "
                                       "close that one first");
    }
}

}  // namespace
}  // namespace corvane::test
