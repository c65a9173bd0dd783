#include "util/ArdoUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

TEST(Padding, PutsCharactersInFrontAndNeverCuts) {
    EXPECT_EQ(PadNumber("", 4), "    ");
    EXPECT_EQ(PadNumber("255", 4), " 255");
    EXPECT_EQ(PadNumber("12345", 4), "12345");
    EXPECT_EQ(PadNumber("7", 0), "7");
    EXPECT_EQ(PadNumber("7", -3), "7");
    EXPECT_EQ(PadWithChar("12", 4, '0'), "0012");
    EXPECT_EQ(PadWithChar("12345", 4, '0'), "12345");
}

class FileInfo : public ::testing::Test {
  protected:
    std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("corvane-util-" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir_); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
};

TEST_F(FileInfo, SizeOfFileFolderAndMissingName) {
    const auto file = dir_ / "a.bin";
    std::ofstream(file) << std::string(5000, 'x');
    EXPECT_EQ(FileSizeOf(file.string()), 5000);
    EXPECT_EQ(FileSizeOf((dir_ / "missing").string()), 0);
    EXPECT_EQ(FileDateOf((dir_ / "missing").string()), 0);
    EXPECT_NE(FileDateOf(dir_.string()), 0);  // a folder is found like a file
}

TEST_F(FileInfo, DateIsLocalTimeTruncatedToEvenSecond) {
    const auto file = dir_ / "b.bin";
    std::ofstream(file) << "x";
    struct tm local = {};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 6;
    local.tm_mday = 14;
    local.tm_hour = 10;
    local.tm_min = 15;
    local.tm_sec = 31;
    local.tm_isdst = -1;
    const time_t when = std::mktime(&local);
    struct utimbuf times = {when, when};
    ASSERT_EQ(::utime(file.c_str(), &times), 0);
    EXPECT_EQ(FormatDateTime(FileDateOf(file.string())), "2021-07-14 10:15:30");
    EXPECT_DOUBLE_EQ(FileDateOf(file.string()), EncodeDateTime(2021, 7, 14, 10, 15, 30));
}

TEST(DateTime, OriginAndRoundTrip) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_EQ(EncodeDateTime(1970, 1, 1, 0, 0, 0), 25569.0);
    EXPECT_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);
    EXPECT_EQ(FormatDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 58)), "2024-02-29 23:59:58");
}

}  // namespace
}  // namespace corvane
