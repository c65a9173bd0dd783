#include <gtest/gtest.h>

#include "matching/FormState.h"
#include "matching/IgnoreList.h"
#include "matching/MatchSearch.h"

namespace corvane {
namespace {

struct TIgnoreCase {
    std::vector<std::string> lines;
    std::string path;
    bool ignored;
};

TEST(IgnoreListTest, WholeTextComparisonFoldingOnlyAsciiLetters) {
    const TIgnoreCase cases[] = {
        {{}, "/pics/", false},
        {{"/pics/"}, "/pics/", true},
        {{"/PICS/"}, "/pics/", true},             // letter case of a..z ignored
        {{"/pics/"}, "/pics/sub/", false},        // a sub-folder is not covered
        {{"/pics"}, "/pics/", false},             // without the final "/"
        {{"/pics/ "}, "/pics/", false},           // trailing blank
        {{"/other/", "/pics/"}, "/PICS/", true},  // any line
        {{"/ÄPFEL/"}, "/äpfel/", false},          // only a..z are folded
        {{"/äpfel/"}, "/äpfel/", true},
    };
    for (const TIgnoreCase& c : cases) {
        EXPECT_EQ(TIgnoreList(c.lines).Contains(c.path), c.ignored) << c.path;
    }
}

TEST(RangeScanBoundTest, PaddedToFourCharactersWithoutOverflow) {
    EXPECT_EQ(RangeScanBound(250, 3), " 254");
    EXPECT_EQ(RangeScanBound(0, 0), "   1");
    EXPECT_EQ(RangeScanBound(10, -20), "  -9");
    EXPECT_EQ(RangeScanBound(255, 2147483647), "2147483903");
}

TEST(FormatElapsedTest, TimeOfDayOfTheDuration) {
    using std::chrono::milliseconds;
    EXPECT_EQ(FormatElapsed(milliseconds(0)), "00:00:00");
    EXPECT_EQ(FormatElapsed(milliseconds(999)), "00:00:00");
    EXPECT_EQ(FormatElapsed(milliseconds(67'000)), "00:01:07");
    EXPECT_EQ(FormatElapsed(milliseconds(86'400'000 + 3'600'000)), "01:00:00");
}

}  // namespace
}  // namespace corvane
