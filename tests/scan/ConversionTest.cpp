#include <sys/resource.h>

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

TEST_F(ConversionTest, UnreadableBitmapEndsTheRunAndStaysInPlace) {
    WriteBytes(pictures_ + "bad.bmp", "BM not really");
    EXPECT_ANY_THROW(engine_.ConvertBitmaps(pictures_));
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"bad.bmp"}));
    EXPECT_NE(controls_.CursorValue, TCursor::crHourGlass);
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
    EXPECT_ANY_THROW(engine_.ConvertBitmaps(pictures_));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Names(pictures_), (std::vector<std::string>{"big.bmp"}));
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

TEST_F(BatchRunTest, BatchModeIsResetWhenAStepFails) {
    controls_.Search = "";
    EXPECT_THROW(engine_.BatchRun(), ESearchFolder);
    EXPECT_FALSE(engine_.State.BatchMode);
}

}  // namespace
}  // namespace corvane::test
