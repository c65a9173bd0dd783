// A record's name, date and signature describe one file exactly: names that
// do not fit are skipped, empty files are bad, damaged signatures are
// recomputed, and the run's threads and memory stay within what the machine
// gives.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "EngineFixture.h"
#include "picture/PixelMemory.h"
#include "scan/SignaturePrefetch.h"
#include "scan/TextFiles.h"

namespace corvane::test {
namespace {

class ExactRecordsTest : public EngineFixture {
  protected:
    // A bitmap of one colour, so its signature is exactly that colour.
    static TPattern Plain(uint8_t blue, uint8_t green, uint8_t red) {
        TPattern pattern{16, 16, {}};
        for (int i = 0; i < 16 * 16; ++i) pattern.Bgr.insert(pattern.Bgr.end(), {blue, green, red});
        return pattern;
    }

    void DamageSignature(const std::string& name) {
        TStoreTable& table = engine_.Signatures.SignaturesTable;
        table.BeginKey();
        engine_.Signatures.SignaturesTableFileName.SetValue(name);
        engine_.Signatures.SignaturesTableFilePath.SetValue(pictures_);
        ASSERT_TRUE(table.SeekKey());
        table.Edit();
        engine_.Signatures.SignaturesTableSignature.SetValue("  12  x!");
        table.Post();
    }
};

TEST_F(ExactRecordsTest, AnEmptyFileIsABadFileNotABlackPicture) {
    for (const int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        engine_.Workers = workers;
        controls_.Memo2.clear();
        for (const char* name : {"e.jpg", "e.gif", "e.bmp"}) WriteBytes(pictures_ + name, "");
        WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
        engine_.ComputeButtonClick();
        EXPECT_EQ(Records(),
                  (std::vector<std::pair<std::string, std::string>>{{"a.jpg", pictures_}}));
        auto memo = controls_.Memo2;
        std::sort(memo.begin(), memo.end());
        EXPECT_EQ(memo, (std::vector<std::string>{
                            TCorvaneEngine::UnableToProcessLine(pictures_ + "e.bmp"),
                            TCorvaneEngine::UnableToProcessLine(pictures_ + "e.gif"),
                            TCorvaneEngine::UnableToProcessLine(pictures_ + "e.jpg")}));
        engine_.Signatures.SignaturesTable.EmptyTable();
    }
}

// Replaces a picture when its decoder announces its pixels, up to Times times.
class TReplaceWhileDecoding : public TPixelMemoryGate {
  public:
    TReplaceWhileDecoding(std::string fileName, int times)
        : fileName_(std::move(fileName)), times_(times) {}
    void WillAllocate(uint64_t, uint64_t) override {
        if (replaced_ == times_) return;
        ++replaced_;
        WriteJpeg(fileName_, MakePattern(100 + static_cast<uint32_t>(replaced_)));
        SetMTime(fileName_, 1'000'000'000 + 10 * replaced_);
    }

  private:
    std::string fileName_;
    int times_;
    int replaced_ = 0;
};

TEST_F(ExactRecordsTest, APictureReplacedWhileDecodedIsReadAgainOrLeftForTheNextRun) {
    const std::string file = pictures_ + "a.jpg";
    engine_.Workers = 1;  // decoded on this thread, where the gate is
    for (const int times : {1, 1000}) {
        SCOPED_TRACE(times);
        engine_.Signatures.SignaturesTable.EmptyTable();
        WriteJpeg(file, MakePattern(1));
        {
            TReplaceWhileDecoding replace(file, times);
            TPixelMemoryScope scope(replace);
            engine_.ComputeButtonClick();
        }
        EXPECT_EQ(Records().size(), times == 1 ? 1u : 0u);
        engine_.ComputeButtonClick();
        // The stored date belongs to the stored signature: nothing to redo.
        EXPECT_EQ(LastMessage(), times == 1 ? "0 records added; 0 records edited in 00:00:00"
                                            : "1 records added; 0 records edited in 00:00:00");
        controls_.Force = true;
        engine_.ComputeButtonClick();
        EXPECT_FALSE(engine_.Run.SignatureChanged);
        controls_.Force = false;
    }
}

TEST_F(ExactRecordsTest, ADamagedSignatureIsSkippedByIdentifyAndRecomputedByTheNextRun) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    WriteBytes(pictures_ + "b.jpg", ReadBytes(pictures_ + "a.jpg"));
    engine_.ComputeButtonClick();
    DamageSignature("a.jpg");
    for (int run = 0; run < 2; ++run) {  // the same on every run, no error
        engine_.Matcher.IdentifyButtonClick();
        EXPECT_EQ(MatchCount(), 0u);
        EXPECT_NE(LastMessage().find("; 1 records skipped, signature unreadable"),
                  std::string::npos);
    }
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage(), "0 records added; 1 records edited in 00:00:00");
    engine_.Matcher.IdentifyButtonClick();
    EXPECT_EQ(MatchCount(), 1u);
    EXPECT_EQ(LastMessage().find("skipped"), std::string::npos);
}

TEST_F(ExactRecordsTest, NamesTooLongForTheTableAreSkippedListedAndCounted) {
    const size_t nameWidth = StoredWidth("FileName"), pathWidth = StoredWidth("FilePath");
    // A name past its field; a folder past its field (built of names that fit).
    const std::string longName = std::string(nameWidth + 1 - 4, 'n') + ".jpg";
    std::string deep = pictures_;
    while (deep.size() <= pathWidth)
        deep = data_.Make(deep.substr(data_.Path().size()) + std::string(60, 'd'));
    WriteJpeg(pictures_ + longName, MakePattern(1));
    WriteJpeg(deep + "x.jpg", MakePattern(2));
    WriteJpeg(pictures_ + "ok.jpg", MakePattern(3));
    for (const int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        engine_.Workers = workers;
        controls_.Memo2.clear();
        engine_.ComputeButtonClick();
        EXPECT_EQ(Records(),
                  (std::vector<std::pair<std::string, std::string>>{{"ok.jpg", pictures_}}));
        EXPECT_EQ(LastMessage().substr(LastMessage().find(';', 20)),
                  "; 2 files skipped, names too long for the table");
        auto memo = controls_.Memo2;
        std::sort(memo.begin(), memo.end());
        EXPECT_EQ(memo, (std::vector<std::string>{
                            "Name too long for the table: \"" + deep + "x.jpg\"",
                            "Name too long for the table: \"" + pictures_ + longName + "\""}));
    }
    engine_.ShutDown();
    EXPECT_EQ(ReadTextLines(programFolder_ + "BadFiles.txt").size(), 2u);
}

TEST_F(ExactRecordsTest, IncrementalMatchKeepsARowItFindsAgain) {
    // b is grey 100; a changes twice, each time 10 from b in one channel.
    controls_.IncrMatch = true;
    controls_.Colors = true;
    WriteBmp(pictures_ + "b.bmp", Plain(100, 100, 100));
    engine_.ComputeButtonClick();
    const std::pair<TPattern, time_t> versions[] = {{Plain(90, 90, 90), 1'000'000'000},
                                                    {Plain(90, 95, 95), 1'000'000'100},
                                                    {Plain(90, 90, 90), 1'000'000'200}};
    for (const auto& [pattern, mtime] : versions) {
        WriteBmp(pictures_ + "a.bmp", pattern);
        SetMTime(pictures_ + "a.bmp", mtime);
        engine_.ComputeButtonClick();
        EXPECT_EQ(MatchCount(), 1u);
    }
    TStoreTable& matches = engine_.Matches.MatchTable;
    matches.First();
    EXPECT_EQ(engine_.Matches.MatchTableMaxDiff.Value(), 10);
}

TEST_F(ExactRecordsTest, WorkersTheSystemCannotStartRunWithThoseThatStarted) {
    WriteBytes(programFolder_ + "Corvane.INI", "[Params]\r\nWorkers=100000\r\n");
    engine_.ReadSettings();
    ASSERT_EQ(engine_.Workers, 100000);
    controls_.Search = pictures_;
    for (uint32_t i = 0; i < 4; ++i)
        WriteJpeg(pictures_ + std::to_string(i) + ".jpg", MakePattern(i));
    engine_.ComputeButtonClick();
    EXPECT_EQ(LastMessage().substr(0, 33), "4 records added; 0 records edited");
}

// In a child process whose user may start only a few threads.
TEST(PrefetcherThreadsTest, ThreadsTheSystemRefusesAreLeftOut) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become a user with a thread limit";
    TTempFolder folder;
    WriteJpeg(folder.Path() + "a.jpg", MakePattern(1));
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const struct rlimit limit = {4, 4};
        if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        TSignaturePrefetcher prefetcher(50);
        if (prefetcher.Workers() >= 50) ::_exit(11);
        prefetcher.Enqueue(folder.Path() + "a.jpg", false);
        TPrefetchedSignature result;
        const bool taken = prefetcher.Take(
            folder.Path() + "a.jpg", false, [] {}, result);
        ::_exit(taken && result.Status == TPrefetchedSignature::TStatus::Computed ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RasterBudgetTest, DecodesTogetherHoldAtMostTheLimitAndALargerOneRunsAlone) {
    TTempFolder folder;
    std::vector<std::string> files;
    for (uint32_t i = 0; i < 8; ++i) {
        files.push_back(folder.Path() + std::to_string(i) + ".jpg");
        WriteJpeg(files.back(), MakePattern(i, 64 + 8 * static_cast<int>(i), 48));
    }
    const uint64_t onePicture = 64 * 48 * TDecodeReservation::kBytesPerPixel;
    for (const uint64_t limit : {3 * onePicture, onePicture / 2}) {
        SCOPED_TRACE(limit);
        TSignaturePrefetcher prefetcher(4, limit);
        for (const std::string& file : files) prefetcher.Enqueue(file, false);
        for (const std::string& file : files) {
            TPrefetchedSignature result;
            ASSERT_TRUE(prefetcher.Take(
                file, false, [] {}, result));
            EXPECT_EQ(result.Status, TPrefetchedSignature::TStatus::Computed);
        }
        const uint64_t largest = (64 + 8 * 7) * 48 * TDecodeReservation::kBytesPerPixel;
        EXPECT_LE(prefetcher.Budget().PeakHeld(), std::max(limit, largest));
        EXPECT_EQ(prefetcher.Budget().Held(), 0u);
    }
}

}  // namespace
}  // namespace corvane::test
