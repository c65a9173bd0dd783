#include "review/WindowTexts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

TEST(RunProgressText, CountsEstimateAndItem) {
    struct TCase {
        int64_t index, total;
        double elapsed;
        const char* item;
        const char* expected;
    } cases[] = {
        // 10 items took 20 s: the 11th and the 89 after it take 180 s.
        {11, 100, 20.0, "/p/a.jpg", "Run: 11 of 100 \u00B7 about 00:03:00 left \u00B7 /p/a.jpg"},
        {1, 100, 0.0, "/p/a.jpg", "Run: 1 of 100 \u00B7 /p/a.jpg"},  // no pace yet
        {5, 0, 3.0, "/p/b.bmp", "Run: 5 \u00B7 /p/b.bmp"},           // total not known
        {2, 2, 3600.5, "", "Run: 2 of 2 \u00B7 about 01:00:01 left"},
        {7, 5, 1.0, "x", "Run: 7 of 5 \u00B7 x"},  // past the count: no estimate
    };
    for (const TCase& c : cases)
        EXPECT_EQ(RunProgressText("Run", c.index, c.total, c.elapsed, c.item), c.expected);
}

TEST(WindowTexts, FileSizes) {
    EXPECT_EQ(FileSizeText(0), "0 bytes");
    EXPECT_EQ(FileSizeText(1023), "1023 bytes");
    EXPECT_EQ(FileSizeText(14 * 1024 + 100), "14 KB");
    EXPECT_EQ(FileSizeText(1258291), "1.2 MB");
}

TEST(WindowTexts, PictureInfoNamesSizeBytesAndDate) {
    const std::string file = (std::filesystem::temp_directory_path() / "corvane-info.jpg").string();
    std::ofstream(file, std::ios::binary) << std::string(2048, 'x');
    TBitmap32 raster;
    raster.SetSize(40, 30);
    const std::string info = PictureInfoText(raster, file);
    EXPECT_EQ(info.rfind("40 \u00D7 30 px \u00B7 2 KB \u00B7 20", 0), 0u) << info;
    std::remove(file.c_str());
    EXPECT_EQ(PictureInfoText(TBitmap32(), file), "");
}

TEST(WindowTexts, DifferenceVerdict) {
    TBitmap32 a, b, small, diff;
    a.SetSize(4, 3);
    b.SetSize(4, 3);
    small.SetSize(2, 2);
    for (TBitmap32* r : {&a, &b, &small})
        for (int32_t y = 0; y < r->Height(); ++y)
            for (int32_t x = 0; x < r->Width(); ++x) r->SetPixel(x, y, 0xFF102030u);
    diff.SetSize(4, 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) diff.SetPixel(x, y, 0);
    EXPECT_EQ(DifferenceInfoText(a, b, diff), "identical");
    diff.SetPixel(3, 2, 1);
    EXPECT_EQ(DifferenceInfoText(a, b, diff), "");
    EXPECT_EQ(DifferenceInfoText(a, small, TBitmap32()), "sizes differ");
    EXPECT_EQ(DifferenceInfoText(a, TBitmap32(), TBitmap32()), "");  // one picture missing
}

}  // namespace
}  // namespace corvane
