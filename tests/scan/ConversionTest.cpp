#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "EngineFixture.h"
#include "picture/Graphics.h"
#include "picture/jpeg/JPEGImage.h"

namespace corvane::test {
namespace {

class ConversionTest : public EngineFixture {
  protected:
    // The folder's entry names, sorted.
    std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static bool IsJpeg(const std::string& fileName) {
        const std::string bytes = ReadBytes(fileName);
        return bytes.size() > 4 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
               static_cast<uint8_t>(bytes[1]) == 0xD8 &&
               static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF &&
               static_cast<uint8_t>(bytes[bytes.size() - 1]) == 0xD9;
    }
};

TEST_F(ConversionTest, BitmapBecomesJpegWithItsTimeAndIsDeleted) {
    WriteBmp(pictures_ + "a.bmp", MakePattern(1));
    SetMTime(pictures_ + "a.bmp", 1'100'000'000);
    engine_.ConvertBitmaps(pictures_.substr(0, pictures_.size() - 1));
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"a.JPG"}));
    EXPECT_TRUE(IsJpeg(pictures_ + "a.JPG"));
    EXPECT_EQ(MTime(pictures_ + "a.JPG"), 1'100'000'000);
    // Same picture, within the losses of quality 95.
    TJPEGImage jpeg;
    jpeg.LoadFromFile(pictures_ + "a.JPG");
    EXPECT_EQ(jpeg.Width(), 64);
    EXPECT_EQ(jpeg.Height(), 48);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
}

TEST_F(ConversionTest, TakenNamesAndUNamesGoToConsecutiveNumberedNames) {
    WriteBytes(pictures_ + "b.JPG", "keep");
    WriteBmp(pictures_ + "b.bmp", MakePattern(1));
    WriteBmp(pictures_ + "Upload.bmp", MakePattern(2));
    WriteBmp(pictures_ + "upload2.BMP", MakePattern(3));
    engine_.ConvertBitmaps(pictures_);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"From-BMP-0001.JPG", "From-BMP-0002.JPG",
                                                          "From-BMP-0003.JPG", "b.JPG"}));
    EXPECT_EQ(ReadBytes(pictures_ + "b.JPG"), "keep");
}

TEST_F(ConversionTest, WalksAllSubFoldersButHiddenOnes) {
    controls_.SubDirs = false;
    const std::string sub = data_.Make("pictures/sub");
    const std::string hidden = data_.Make("pictures/.hidden");
    WriteBmp(sub + "s.bmp", MakePattern(1));
    WriteBmp(hidden + "h.bmp", MakePattern(2));
    WriteBmp(pictures_ + ".dot.bmp", MakePattern(3));
    engine_.ConvertBitmaps(pictures_);
    EXPECT_EQ(Names(sub), (std::vector<std::string>{"s.JPG"}));
    EXPECT_EQ(Names(hidden), (std::vector<std::string>{"h.bmp"}));
    EXPECT_TRUE(Exists(pictures_ + ".dot.JPG"));
}

// A bitmap misread or unreadable stays, without a JPEG, listed with the
// reason; the run goes on with the next one.
TEST_F(ConversionTest, MisreadBitmapsStayListedAndTheRunGoesOn) {
    WriteBmp(pictures_ + "good.bmp", MakePattern(1));
    const std::string whole = ReadBytes(pictures_ + "good.bmp");
    auto put32 = [](std::string& bytes, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    };
    std::string gap = whole;  // pixel data 16 bytes further on than usual
    gap.insert(54, std::string(16, '\x7f'));
    put32(gap, 10, 54 + 16);
    std::string early = whole;  // the header's offset points into the header
    put32(early, 10, 40);
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"gap.bmp", gap, "could not be read completely"},
        {"early.bmp", early, "could not be read completely"},
        {"short.bmp", whole.substr(0, whole.size() / 2), "could not be read completely"},
        {"header.bmp", whole.substr(0, 14) + std::string("\x4d\0\0\0", 4) + whole.substr(18),
         "header size"},
        {"empty.bmp", "", "could not be read completely"},
    };
    for (const auto& c : cases) WriteBytes(pictures_ + c.name, c.bytes);
    engine_.ConvertBitmaps(pictures_.substr(0, pictures_.size() - 1));
    EXPECT_TRUE(Exists(pictures_ + "good.JPG"));
    EXPECT_FALSE(Exists(pictures_ + "good.bmp"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        EXPECT_EQ(ReadBytes(pictures_ + name), c.bytes);
        EXPECT_FALSE(Exists(pictures_ + name.substr(0, name.size() - 3) + "JPG"));
        const auto line = std::find_if(controls_.Memo2.begin(), controls_.Memo2.end(),
                                       [&](const std::string& l) {
                                           return l.find(pictures_ + name) != std::string::npos;
                                       });
        ASSERT_NE(line, controls_.Memo2.end());
        EXPECT_NE(line->find(c.reason), std::string::npos) << *line;
    }
    EXPECT_TRUE(controls_.Memo2VisibleValue);
    EXPECT_EQ(engine_.Conversion.Converted, 1);
    EXPECT_EQ(engine_.Conversion.Failed, 5);
    EXPECT_NE(controls_.CursorValue, TCursor::crHourGlass);
}

// No trash can take the bitmap (and, with UseTrash off, a failing delete):
// the bitmap stays, its JPEG is not kept, the reason is listed.
TEST_F(ConversionTest, BitmapThatCannotBeRemovedStaysWithoutJpeg) {
    trash_.Refuse = true;
    WriteBmp(pictures_ + "a.bmp", MakePattern(1));
    engine_.ConvertBitmaps(pictures_);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"a.bmp"}));
    ASSERT_EQ(controls_.Memo2.size(), 1u);
    EXPECT_NE(controls_.Memo2[0].find("refused"), std::string::npos);
    EXPECT_EQ(engine_.Conversion.Skipped, 1);
    // UseTrash off: removed for good, nothing in the trash.
    controls_.UseTrash = false;
    engine_.ConvertBitmaps(pictures_);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"a.JPG"}));
    EXPECT_TRUE(trash_.Taken.empty());
}

TEST_F(ConversionTest, ConvertedBitmapGoesToTheTrash) {
    WriteBmp(pictures_ + "a.bmp", MakePattern(1));
    const std::string bytes = ReadBytes(pictures_ + "a.bmp");
    engine_.ConvertBitmaps(pictures_.substr(0, pictures_.size() - 1));
    ASSERT_EQ(trash_.Taken, (std::vector<std::string>{pictures_ + "a.bmp"}));
    EXPECT_EQ(ReadBytes(trash_.Folder + "files/0-a.bmp"), bytes);
}

// Temporary files of a killed run are cleared; those of a living one stay.
TEST_F(ConversionTest, StaleTemporaryFilesAreRemoved) {
    const std::string stale = pictures_ + ".corvane-999999999-0.tmp";
    const std::string living = pictures_ + ".corvane-" + std::to_string(::getpid()) + "-7.tmp";
    WriteBytes(stale, "x");
    WriteBytes(living, "x");
    engine_.ConvertBitmaps(pictures_);
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(living));
}

TEST_F(ConversionTest, FailedWriteKeepsTheBitmapAndLeavesNoPartialJpeg) {
    WriteBmp(pictures_ + "big.bmp", MakePattern(4, 400, 300));
    // Writes beyond 512 bytes fail with EFBIG (the signal is ignored).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 512;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_NO_THROW(engine_.ConvertBitmaps(pictures_));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"big.bmp"}));
    EXPECT_EQ(engine_.Conversion.Failed, 1);
}

TEST_F(ConversionTest, AllNumberedNamesTakenLeavesTheBitmapAndGoesOn) {
    for (int n = 1; n <= 9999; ++n) {
        WriteBytes(pictures_ + "From-BMP-" + PadWithChar(std::to_string(n), 4, '0') + ".JPG", "");
    }
    WriteBmp(pictures_ + "u.bmp", MakePattern(1));
    const std::string sub = data_.Make("pictures/sub");
    WriteBmp(sub + "next.bmp", MakePattern(2));
    engine_.ConvertBitmaps(pictures_);
    EXPECT_TRUE(Exists(pictures_ + "u.bmp"));
    EXPECT_EQ(Names(sub), (std::vector<std::string>{"next.JPG"}));
}

TEST_F(ConversionTest, FolderWithoutBitmapsIsUntouched) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    engine_.ConvertBitmaps(pictures_);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"a.jpg"}));
}

class BatchRunTest : public EngineFixture {};

TEST_F(BatchRunTest, ConvertsComputesAndIdentifiesWithoutMessages) {
    WriteBmp(pictures_ + "a.bmp", MakePattern(7));
    WriteJpeg(pictures_ + "b.jpg", MakePattern(7), 95);
    engine_.BatchRun();
    EXPECT_TRUE(controls_.Messages.empty());
    EXPECT_FALSE(engine_.State.BatchMode);
    EXPECT_EQ(controls_.Page, TTabPage::CompMatchesTabSheet);
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(MatchCount(), 1u);
    EXPECT_EQ(controls_.MatchesLabel, "Matches DB (1)");
}

// A bitmap that fails to load does not stop the batch: compute and identify
// still run, and log.txt ends with the conversion summary.
TEST_F(BatchRunTest, BadBitmapDoesNotStopTheBatch) {
    WriteBytes(pictures_ + "bad.bmp", "BM not really");
    WriteBmp(pictures_ + "a.bmp", MakePattern(7));
    WriteJpeg(pictures_ + "b.jpg", MakePattern(7), 95);
    engine_.BatchRun();
    EXPECT_TRUE(Exists(pictures_ + "bad.bmp"));
    EXPECT_EQ(MatchCount(), 1u);
    const std::string log = ReadBytes(programFolder_ + "log.txt");
    EXPECT_NE(log.find("Bitmaps converted: 1, skipped: 0, failed: 1\r\n"), std::string::npos)
        << log;
}

TEST_F(BatchRunTest, BatchModeIsResetWhenAStepFails) {
    controls_.Search = "";
    EXPECT_THROW(engine_.BatchRun(), ESearchFolder);
    EXPECT_FALSE(engine_.State.BatchMode);
}

}  // namespace
}  // namespace corvane::test
