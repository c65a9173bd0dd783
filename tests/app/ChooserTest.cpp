#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/PickStrToIntUnit.h"
#include "review/PickLayout.h"

namespace corvane {
namespace {

// Shows a chooser with Captions and checks its layout while it is open.
struct ChooserCase {
    std::vector<std::string> captions;
    int width;
    std::vector<int> lefts;
};

class ChooserLayoutTest : public ::testing::TestWithParam<ChooserCase> {};

TEST_P(ChooserLayoutTest, SizesItselfToItsButtons) {
    const ChooserCase c = GetParam();
    TPickStrToIntForm form;
    form.ButtonCount = static_cast<int>(c.captions.size());
    form.Prompt = "Delete left image file or right image file?";
    for (size_t k = 0; k < c.captions.size(); ++k) form.Captions[k + 1] = c.captions[k];
    form.show();
    EXPECT_EQ(form.width(), c.width);
    EXPECT_EQ(form.windowTitle().toStdString(), "Select One");
    for (size_t k = 0; k < c.lefts.size(); ++k) {
        EXPECT_EQ(form.Buttons[k + 1]->x(), c.lefts[k]);
        EXPECT_TRUE(form.Buttons[k + 1]->isVisible());
        EXPECT_EQ(form.Buttons[k + 1]->y(), form.Label1->y() + form.Label1->height() + 16);
    }
    for (size_t k = c.lefts.size() + 1; k <= 9; ++k) EXPECT_FALSE(form.Buttons[k]->isVisible());
    EXPECT_EQ(form.height(),
              form.Label1->y() + form.Label1->height() + form.Buttons[1]->height() + 52);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChooserLayoutTest,
                         ::testing::Values(ChooserCase{{"&Left", "&Right"}, 240, {20, 120}},
                                           ChooserCase{{"One"}, 240, {(240 - 75) / 2}},
                                           ChooserCase{
                                               {"1", "2", "3", "4", "5", "6", "7", "8", "9"},
                                               940,
                                               {20, 120, 220, 320, 420, 520, 620, 720, 820}}));

TEST(Chooser, LongPromptIsWrapped) {
    TPickStrToIntForm form;
    form.ButtonCount = 1;
    form.Captions[1] = "OK";
    form.Prompt = std::string(60, 'w') + " and then some more words that cannot fit";
    form.show();
    EXPECT_TRUE(form.Label1->text().contains('\n'));
    EXPECT_EQ(form.width(), 240);
}

// Answers the next modal chooser with Action once it is shown.
void AnswerChooser(std::function<void(TPickStrToIntForm*)> action) {
    QTimer::singleShot(0, [action] {
        auto* form = qobject_cast<TPickStrToIntForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        action(form);
    });
}

TEST(Chooser, ClickReturnsNumberAndEscapeReturnsZero) {
    AnswerChooser([](TPickStrToIntForm* form) { form->Buttons[2]->click(); });
    EXPECT_EQ(PickStrToInt("Delete left image file or right image file?", {"&Left", "&Right"}, 0),
              2);
    AnswerChooser([](TPickStrToIntForm* form) { QTest::keyClick(form, Qt::Key_Escape); });
    EXPECT_EQ(PickStrToInt("Pick", {"&Left", "&Right"}, 0), 0);
    AnswerChooser([](TPickStrToIntForm* form) { form->close(); });
    EXPECT_EQ(PickStrToInt("Pick", {"a"}, 0), 0);
    // Equal captions: the last equal one counts.
    AnswerChooser([](TPickStrToIntForm* form) { form->Buttons[1]->click(); });
    EXPECT_EQ(PickStrToInt("Pick", {"same", "other", "same"}, 0), 3);
}

TEST(Chooser, TenCaptionsFailBeforeAnyWindow) {
    const std::vector<std::string> captions(10, "x");
    try {
        PickStrToInt("Pick", captions, 0);
        FAIL();
    } catch (const EPickStrToInt& e) {
        EXPECT_EQ(e.Message(), "PickStrToInt: more than 9 buttons.");
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace corvane
