#include <gtest/gtest.h>

#include "review/PickLayout.h"

namespace corvane {
namespace {

// Every character 6 pixels wide.
int32_t Fixed6(const std::string& text) {
    return static_cast<int32_t>(text.size()) * 6;
}

struct WrapCase {
    std::string text;
    int32_t maxWidth;
    std::string expected;
};

class WrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapTest, BreaksAtLastFittingSpace) {
    EXPECT_EQ(WrapTextToWidth(GetParam().text, Fixed6, GetParam().maxWidth), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrapTest,
    ::testing::Values(WrapCase{"", 60, ""},                               // empty
                      WrapCase{"fits well", 60, "fits well"},             // unchanged
                      WrapCase{"hello world", 36, "hello\r\nworld"},      // space dropped
                      WrapCase{"abcdefghij", 30, "abcdef\r\nghij"},       // cut after the char
                      WrapCase{"aa bb cc dd", 36, "aa bb\r\ncc dd"},      // last fitting space
                      WrapCase{"x abcdefgh", 24, "x\r\nabcde\r\nfgh"}));  // long word alone

TEST(PickLayout, TwoButtons) {
    const TPickLayout layout = ComputePickLayout(2, 100, 16, 13, 75, 25);
    EXPECT_EQ(layout.FormWidth, 240);
    ASSERT_EQ(layout.Buttons.size(), 2u);
    EXPECT_EQ(layout.Buttons[0].Left, 20);
    EXPECT_EQ(layout.Buttons[1].Left, 120);
    EXPECT_EQ(layout.Buttons[0].Top, 16 + 13 + 16);
    EXPECT_EQ(layout.FormHeight, 16 + 13 + 25 + 52);
    EXPECT_FALSE(layout.PromptWrapped);
}

TEST(PickLayout, OneButtonIsCentred) {
    const TPickLayout layout = ComputePickLayout(1, 10, 16, 13, 75, 25);
    EXPECT_EQ(layout.FormWidth, 240);
    EXPECT_EQ(layout.Buttons[0].Left, (240 - 75) / 2);
}

TEST(PickLayout, NineButtonsAndWrapping) {
    const TPickLayout layout = ComputePickLayout(9, 10, 16, 13, 75, 25);
    EXPECT_EQ(layout.FormWidth, 940);
    EXPECT_EQ(layout.Buttons.size(), 9u);
    EXPECT_EQ(layout.Buttons[8].Left, 820);
    EXPECT_TRUE(PickPromptNeedsWrap(201, 240));
    EXPECT_FALSE(PickPromptNeedsWrap(200, 240));
}

TEST(PickStrToInt, MoreThanNineCaptionsFail) {
    std::vector<std::string> captions(10, "x");
    try {
        CheckPickCaptions(captions);
        FAIL();
    } catch (const EPickStrToInt& e) {
        EXPECT_EQ(e.Message(), "PickStrToInt: more than 9 buttons.");
    }
    captions.pop_back();
    EXPECT_NO_THROW(CheckPickCaptions(captions));
}

TEST(PickStrToInt, LastEqualCaptionCounts) {
    EXPECT_EQ(PickIndexOfCaption({"&Left", "&Right"}, "&Right"), 2);
    EXPECT_EQ(PickIndexOfCaption({"a", "b", "a"}, "a"), 3);
    EXPECT_EQ(PickIndexOfCaption({"a"}, "z"), 0);
}

}  // namespace
}  // namespace corvane
