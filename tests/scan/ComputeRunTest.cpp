#include <algorithm>
#include <filesystem>

#include "EngineFixture.h"
#include "scan/TextFiles.h"
#include "util/StrToInt.h"

namespace corvane::test {
namespace {

class ComputeRunTest : public EngineFixture {};

TEST_F(ComputeRunTest, HandsOnPictureExtensionsInAnyCaseAndHiddenFiles) {
    const std::string names[] = {"a.Jpg", "B.BMP", "g.gif", ".hidden.jpg", "d.jpeg", "e.png", "f"};
    for (int i = 0; i < 7; ++i) {
        const std::string name = pictures_ + names[i];
        if (i == 1) {
            WriteBmp(name, MakePattern(1));
        } else if (i == 2) {
            WriteGif(name, MakePattern(2));
        } else {
            WriteJpeg(name, MakePattern(static_cast<uint32_t>(i)));
        }
    }
    engine_.ComputeButtonClick();
    auto records = Records();
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records, (std::vector<std::pair<std::string, std::string>>{{".hidden.jpg", pictures_},
                                                                         {"B.BMP", pictures_},
                                                                         {"a.Jpg", pictures_},
                                                                         {"g.gif", pictures_}}));
    EXPECT_EQ(LastMessage().substr(0, 35), "4 records added; 0 records edited i");
    EXPECT_EQ(controls_.SignaturesLabel, "Signatures DB (4)");
    EXPECT_FALSE(controls_.Memo2VisibleValue);
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    EXPECT_EQ(controls_.ProgressMaxValue, 5);  // one above the files that needed work
    EXPECT_EQ(controls_.ProgressPositionValue, 4);
}

TEST_F(ComputeRunTest, SubFoldersAndTheLogFollowSubDirsAndTheFinalSlash) {
    WriteJpeg(pictures_ + "top.jpg", MakePattern(1));
    const std::string sub = data_.Make("pictures/sub");
    WriteJpeg(sub + "deep.jpg", MakePattern(2));
    for (const bool subDirs : {false, true}) {
        controls_.SubDirs = subDirs;
        controls_.Search = subDirs ? pictures_.substr(0, pictures_.size() - 1) : pictures_;
        engine_.ComputeButtonClick();
        const auto log = ReadTextLines(programFolder_ + "log.txt");
        if (subDirs) {
            EXPECT_EQ(log, (std::vector<std::string>{pictures_, sub}));
            EXPECT_EQ(Records().size(), 2u);
        } else {
            EXPECT_EQ(log, (std::vector<std::string>{pictures_}));
            EXPECT_EQ(Records().size(), 1u);
        }
    }
    EXPECT_EQ(ReadBytes(programFolder_ + "log.txt"), pictures_ + "\r\n" + sub + "\r\n");
}

TEST_F(ComputeRunTest, SecondRunChangesNothingForceEditsEverythingTouchedFileIsEdited) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    WriteJpeg(pictures_ + "b.jpg", MakePattern(2));
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "2 records added; 0 records edited in 00:00:00");

    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
    EXPECT_EQ(controls_.ProgressMaxValue, 1);
    EXPECT_EQ(ReadTextLines(programFolder_ + "log.txt").size(), 1u);

    controls_.Force = true;
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 2 records edited in 00:00:00");
    EXPECT_FALSE(engine_.Run.SignatureChanged);

    controls_.Force = false;
    controls_.IncrMatch = true;
    SetMTime(pictures_ + "a.jpg", 1'000'000'000);
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 1 records edited in 00:00:00");
    EXPECT_EQ(MatchCount(), 0u);  // same pixels: no incremental match
}

TEST_F(ComputeRunTest, StoredDateReadsBackExactlySoUnchangedFilesAreSkipped) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    SetMTime(pictures_ + "a.jpg", 1'234'567'891);  // an odd second
    engine_.ComputeButtonClick();
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
}

TEST_F(ComputeRunTest, PictureThatFailsToLoadIsReportedAndSkipped) {
    WriteBytes(pictures_ + "broken.jpg", "this is not a picture");
    WriteJpeg(pictures_ + "fine.jpg", MakePattern(3));
    engine_.ComputeButtonClick();
    EXPECT_EQ(controls_.Memo2,
              (std::vector<std::string>{"Unable to process \"" + pictures_ + "broken.jpg\""}));
    EXPECT_TRUE(controls_.Memo2VisibleValue);
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_EQ(LastMessage(), "1 records added; 0 records edited in 00:00:00");
}

TEST_F(ComputeRunTest, PurgeRemovesRecordsOfVanishedFilesInEveryFolder) {
    const std::string other = data_.Make("other");
    WriteJpeg(other + "x.jpg", MakePattern(1));
    WriteJpeg(pictures_ + "y.jpg", MakePattern(2));
    controls_.Search = data_.Path();
    engine_.ComputeButtonClick();
    ASSERT_EQ(Records().size(), 2u);
    std::filesystem::remove(other + "x.jpg");
    std::filesystem::remove(pictures_ + "y.jpg");
    controls_.Search = pictures_;
    engine_.ComputeButtonClick();
    EXPECT_TRUE(Records().empty());
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
    EXPECT_EQ(controls_.SignaturesLabel, "Signatures DB (0)");
}

TEST_F(ComputeRunTest, EmptySearchFolderIsRefusedAndNothingIsPurged) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    engine_.ComputeButtonClick();
    std::filesystem::remove(pictures_ + "a.jpg");
    controls_.Search = "";
    EXPECT_THROW(engine_.ComputeButtonClick(), ESearchFolder);
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(ComputeRunTest, IncrementalMatchAppendsTheNewPicturesPairs) {
    // The search runs forward in signature order from the new record, so the
    // earlier picture is made a little brighter to sort after the new one.
    const TPattern pattern = MakePattern(5);
    TPattern brighter = MakePattern(5);
    for (size_t i = 0; i < brighter.Bgr.size(); ++i) {
        brighter.Bgr[i] = static_cast<uint8_t>(std::min(255, brighter.Bgr[i] + 4));
    }
    WriteBmp(pictures_ + "a.bmp", brighter);
    engine_.ComputeButtonClick();
    controls_.IncrMatch = true;
    WriteBmp(pictures_ + "copy.bmp", pattern);
    engine_.ComputeButtonClick();
    EXPECT_EQ(MatchCount(), 1u);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
}

TEST_F(ComputeRunTest, BadMarginStopsTheRunAfterPostingAndRestoresTheWindow) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    controls_.IncrMatch = true;
    controls_.Margin = "abc";
    // A view attached to the table must hear of changes again after the abort.
    int notices = 0;
    TDataSource source(&engine_.Signatures.SignaturesTable);
    source.OnDataChange = [&] { ++notices; };
    try {
        engine_.ComputeButtonClick();
        FAIL();
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
    notices = 0;
    engine_.Signatures.SignaturesTable.First();
    EXPECT_GT(notices, 0);
    // The log was closed: it can be removed and the next run writes it again.
    controls_.Margin = "25";
    engine_.ComputeButtonClick();
    EXPECT_EQ(ReadTextLines(programFolder_ + "log.txt").size(), 1u);
}

TEST_F(ComputeRunTest, NamesDifferingOnlyInLetterCaseAreTwoRecords) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    WriteJpeg(pictures_ + "A.JPG", MakePattern(6));
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records().size(), 2u);
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
}

// Names that differ only in letter case are two files here.
TEST_F(ComputeRunTest, RecordUnderOtherLetterCaseIsAnotherFile) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    TStoreTable& table = engine_.Signatures.SignaturesTable;
    table.Append();
    engine_.Signatures.SignaturesTableFileName.SetValue("A.JPG");
    engine_.Signatures.SignaturesTableFilePath.SetValue(UpperCaseAscii(pictures_));
    engine_.Signatures.SignaturesTableFileDate.SetValue(1.0);
    engine_.Signatures.SignaturesTableSignature.SetValue("old");
    table.Post();
    engine_.Run = TComputeRunState();
    engine_.UpdateSignature(pictures_ + "a.jpg");
    EXPECT_EQ(engine_.Run.EditedCount, 0);
    EXPECT_EQ(engine_.Run.AddedCount, 1);
    EXPECT_EQ(Records(), (std::vector<std::pair<std::string, std::string>>{
                             {"A.JPG", UpperCaseAscii(pictures_)}, {"a.jpg", pictures_}}));
    EXPECT_EQ(engine_.Signatures.SignaturesTableSignature.Value().size(), 192u);
}

// Tables of the earlier definitions compare names ignoring letter case, as before.
class LegacyTablesComputeRunTest : public EngineFixture {
  protected:
    LegacyTablesComputeRunTest() : EngineFixture(true) {}
};

TEST_F(LegacyTablesComputeRunTest, EarlierTablesStillOpenAndCompute) {
    EXPECT_EQ(engine_.Signatures.SignaturesTableFileName.Size(), 100);
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    WriteJpeg(pictures_ + "b.jpg", MakePattern(6));
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records().size(), 2u);
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00");
}

TEST_F(LegacyTablesComputeRunTest, RecordUnderOtherLetterCaseIsRewrittenKeepingItsCase) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    TStoreTable& table = engine_.Signatures.SignaturesTable;
    table.Append();
    engine_.Signatures.SignaturesTableFileName.SetValue("A.JPG");
    engine_.Signatures.SignaturesTableFilePath.SetValue(UpperCaseAscii(pictures_));
    engine_.Signatures.SignaturesTableFileDate.SetValue(1.0);
    engine_.Signatures.SignaturesTableSignature.SetValue("old");
    table.Post();
    engine_.Run = TComputeRunState();
    engine_.UpdateSignature(pictures_ + "a.jpg");
    EXPECT_EQ(engine_.Run.EditedCount, 1);
    EXPECT_EQ(
        Records(),
        (std::vector<std::pair<std::string, std::string>>{{"A.JPG", UpperCaseAscii(pictures_)}}));
    EXPECT_EQ(engine_.Signatures.SignaturesTableSignature.Value().size(), 192u);
}

TEST_F(ComputeRunTest, OddNamesNeverCrashOrLoseRecords) {
    const std::string names[] = {"фото.jpg", "写真.jpg",        "εικόνα.jpg",
                                 "صورة.jpg", "bad\xff\xfe.jpg", std::string(120, 'n') + ".jpg"};
    uint32_t seed = 10;
    for (const std::string& name : names) WriteJpeg(pictures_ + name, MakePattern(seed++));
    // A name longer than its field is never stored cut: skipped on every run.
    const bool longNameFits = names[5].size() <= StoredWidth("FileName");
    const size_t records = longNameFits ? 6u : 5u;
    const std::string skipped =
        longNameFits ? "" : "; 1 files skipped, names too long for the table";
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records().size(), records);
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 0 records edited in 00:00:00" + skipped);
    EXPECT_EQ(Records().size(), records);
}

TEST_F(ComputeRunTest, FolderNamedLikeAPictureIsNotStored) {
    data_.Make("pictures/folder.jpg");
    controls_.SubDirs = false;
    engine_.ComputeButtonClick();
    EXPECT_TRUE(Records().empty());
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

// Everything a compute run leaves behind that a user can see.
struct TRunOutcome {
    std::vector<std::string> signatures, matches, memo, messages;
    std::string log;
    int32_t progressMax = 0, progressPosition = 0;
};

TRunOutcome ComputeTwice(const std::string& pictures, int workers, bool normalize, bool force) {
    TTempFolder data;
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.StartUp(data.Make("program"));
    engine.Workers = workers;
    controls.Search = pictures;
    controls.Normalize = normalize;
    controls.IncrMatch = true;
    engine.ComputeButtonClick();
    controls.Force = force;  // the second run edits everything, or nothing
    engine.ComputeButtonClick();
    TRunOutcome outcome;
    TStoreTable& signatures = engine.Signatures.SignaturesTable;
    for (signatures.First(); !signatures.AtEnd(); signatures.Next())
        outcome.signatures.push_back(engine.Signatures.SignaturesTableFilePath.Value() +
                                     engine.Signatures.SignaturesTableFileName.Value() + "|" +
                                     engine.Signatures.SignaturesTableSignature.Value());
    TStoreTable& matches = engine.Matches.MatchTable;
    for (matches.First(); !matches.AtEnd(); matches.Next())
        outcome.matches.push_back(engine.Matches.MatchTableFile1.Value() + "|" +
                                  engine.Matches.MatchTableFile2.Value());
    outcome.memo = controls.Memo2;
    outcome.messages = controls.Messages;
    for (std::string& m : outcome.messages) m = m.substr(0, m.find(" in "));  // drop the time
    outcome.log = ReadBytes(data.Path() + "program/log.txt");
    outcome.progressMax = controls.ProgressMaxValue;
    outcome.progressPosition = controls.ProgressPositionValue;
    return outcome;
}

TEST(ParallelComputeRun, SameOutcomeOnOneAndOnSeveralWorkers) {
    TTempFolder tree;
    const std::string root = tree.Path();
    for (uint32_t i = 0; i < 24; ++i) {
        const std::string folder = i < 12 ? root : tree.Make("sub/deeper");
        const TPattern pattern = MakePattern(i % 9, 40 + static_cast<int>(i), 30);
        const std::string name = folder + "p" + std::to_string(i);
        if (i % 3 == 0) WriteJpeg(name + ".jpg", pattern);
        if (i % 3 == 1) WriteBmp(name + ".BMP", pattern);
        if (i % 3 == 2) WriteGif(name + ".gif", pattern);
    }
    WriteBytes(root + "broken.jpg", "\xFF\xD8 not a picture");
    WriteBytes(root + "sub/empty.gif", "");
    for (bool normalize : {false, true}) {
        for (bool force : {false, true}) {
            const TRunOutcome one = ComputeTwice(root, 1, normalize, force);
            const TRunOutcome two = ComputeTwice(root, 3, normalize, force);
            EXPECT_EQ(one.signatures, two.signatures);
            EXPECT_EQ(one.matches, two.matches);
            EXPECT_EQ(one.memo, two.memo);
            EXPECT_EQ(one.messages, two.messages);
            EXPECT_EQ(one.log, two.log);
            EXPECT_EQ(one.progressMax, two.progressMax);
            EXPECT_EQ(one.progressPosition, two.progressPosition);
            EXPECT_EQ(one.signatures.size(), 24u);
            EXPECT_EQ(one.memo.size(), 4u);  // both bad files, on both runs
        }
    }
}

}  // namespace
}  // namespace corvane::test
