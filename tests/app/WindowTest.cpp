// The window as a desktop user meets it: its layout at small and large
// sizes, stopping a run, counts and views that always tell the truth.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "FormFixture.h"
#include "app/RenderWindow.h"
#include "scan/TextFiles.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

// Pictures of their own kind each, so every one is computed.
void WritePictures(const std::string& folder, int count) {
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        engine.Image.SetSize(48 + i, 40);
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 48 + i; ++x)
                engine.Image.SetPixel(x, y,
                                      0xFF000000u | uint32_t((x * 5 + i * 40) & 255) << 8 |
                                          uint32_t((y * 6 + i * 17) & 255));
        engine.SaveRasterAsJpeg(folder + "/p" + std::to_string(i) + ".jpg");
    }
}

// A window that presses Stop (or Esc) once its run has reached StopAt.
class TStoppingForm : public TCorvaneForm {
  public:
    using TCorvaneForm::TCorvaneForm;
    int64_t StopAt = 0;
    bool UseEscape = false;
    void ShowRunItem(const std::string& name, int64_t index, int64_t total) override {
        TCorvaneForm::ShowRunItem(name, index, total);
        if (index != StopAt) return;
        if (UseEscape)
            QTest::keyClick(this, Qt::Key_Escape);
        else
            StopButton->click();
    }
};

class WindowTest : public FormFixture {
  protected:
    TStoppingForm& Stopping() { return static_cast<TStoppingForm&>(*form); }
    void OpenStoppingForm() {
        OpenForm(false, [](const std::string& folder, bool batch) {
            return std::make_unique<TStoppingForm>(folder, batch);
        });
    }
    // Every visible control lies wholly inside the window and inside its
    // parent, and no button or check box is narrower than its caption.
    void ExpectNothingClipped(const char* what) {
        const QRect window = form->rect();
        for (QWidget* widget : form->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(form.get()) || widget->isWindow()) continue;
            if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLineEdit*>(widget) &&
                !qobject_cast<QLabel*>(widget) && !qobject_cast<QProgressBar*>(widget) &&
                !qobject_cast<TImage32*>(widget) && !qobject_cast<QAbstractItemView*>(widget))
                continue;
            // Only the widgets of the current tab are on screen.
            if (!widget->isVisible()) continue;
            const QRect inWindow(widget->mapTo(form.get(), QPoint(0, 0)), widget->size());
            EXPECT_TRUE(window.contains(inWindow))
                << what << ": " << widget->objectName().toStdString() << " "
                << widget->metaObject()->className();
            EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
                << what << ": " << widget->objectName().toStdString();
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_GE(button->width(), button->minimumSizeHint().width())
                    << what << ": " << button->text().toStdString();
            }
        }
    }
};

TEST_F(WindowTest, NothingIsClippedAtSmallAndLargeScreenSizes) {
    WritePictures(Path("pics"), 3);
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButtonClick();
    form->IdentifyButtonClick();
    Settle();
    for (const QSize size : {QSize(1024, 600), QSize(1920, 1080)}) {
        form->resize(size);
        Settle();
        ASSERT_LE(form->width(), size.width());
        ASSERT_LE(form->height(), size.height());
        for (QWidget* page : {form->CompSigTabSheet, form->CompMatchesTabSheet,
                              static_cast<QWidget*>(form->HelpTabSheet)}) {
            form->PageControl1->setCurrentWidget(page);
            Settle();
            ExpectNothingClipped(page->objectName().toStdString().c_str());
        }
        // The pictures get the room: at least a quarter of the window's height.
        form->SelectPage(TTabPage::CompMatchesTabSheet);
        Settle();
        EXPECT_GE(form->MatchImage1->height(), size.height() / 4);
    }
}

TEST_F(WindowTest, GeometryAndSplittersAreKeptInTheSettingsFile) {
    OpenForm();
    form->resize(1111, 666);
    form->SelectPage(TTabPage::CompMatchesTabSheet);
    Settle();
    form->MatchSplitter->setSizes({100, 400});
    Settle();
    const QList<int> sizes = form->MatchSplitter->sizes();
    OpenForm();
    EXPECT_EQ(form->size(), QSize(1111, 666));
    form->SelectPage(TTabPage::CompMatchesTabSheet);
    Settle();
    EXPECT_EQ(form->MatchSplitter->sizes(), sizes);
    const TIniFile ini(programFolder + "Corvane.INI");
    EXPECT_FALSE(ini.ReadString("Window", "Geometry", "").empty());
    EXPECT_EQ(ini.ReadString("Params", "Margin", ""), "25");  // the settings stay
}

TEST_F(WindowTest, StopKeepsWhatWasPostedAndTheNextRunCompletesTheRest) {
    WritePictures(Path("pics"), 12);
    for (const bool escape : {false, true}) {
        OpenStoppingForm();
        Stopping().StopAt = 4;
        Stopping().UseEscape = escape;
        form->activateWindow();
        form->ClearButtonClick();
        form->SetSearchPath(Path("pics") + "/");
        messages.clear();
        form->ComputeButtonClick();
        Settle();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(" (stopped)"), std::string::npos) << messages[0];
        const int kept = form->SignaturesTable().RecordCount();
        EXPECT_GE(kept, 4);
        EXPECT_LT(kept, 12);
        EXPECT_EQ(form->lSignaturesDB->text().toStdString(),
                  "Signatures DB (" + std::to_string(kept) + ")");
        EXPECT_FALSE(form->StopButton->isEnabled());
        EXPECT_TRUE(form->ProgressBar1->isHidden());

        Stopping().StopAt = 0;
        form->ComputeButtonClick();
        Settle();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(
            messages[1].rfind(std::to_string(12 - kept) + " records added; 0 records edited", 0),
            0u)
            << messages[1];
        EXPECT_EQ(form->SignaturesTable().RecordCount(), 12);
    }
}

TEST_F(WindowTest, ClosingDuringARunStopsItThenCloses) {
    WritePictures(Path("pics"), 8);
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->OnShowMessage = [this](const std::string& text) { messages.push_back(text); };
    QTimer::singleShot(0, form.get(), [this] { form->close(); });
    form->ComputeButtonClick();
    Settle();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(messages.empty());  // no box holds the close
    EXPECT_NE(form->StatusText().find("(stopped)"), std::string::npos) << form->StatusText();
    EXPECT_LT(form->SignaturesTable().RecordCount(), 8);
    EXPECT_TRUE(fs::exists(programFolder + "NoMatches.Txt"));  // the close steps ran
}

TEST_F(WindowTest, CountsAreRightAfterEveryCommand) {
    WritePictures(Path("pics"), 3);
    fs::copy_file(Path("pics/p0.jpg"), Path("pics/copy.jpg"));
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    const auto counts = [this] {
        return form->lSignaturesDB->text().toStdString() + " " +
               form->lMatchesDB->text().toStdString();
    };
    const auto expected = [this] {
        return "Signatures DB (" + std::to_string(form->SignaturesTable().RecordCount()) +
               ") Matches DB (" + std::to_string(form->MatchTable().RecordCount()) + ")";
    };
    form->ComputeButtonClick();
    EXPECT_EQ(counts(), expected());
    form->IdentifyButtonClick();
    EXPECT_EQ(counts(), expected());
    form->DBGrid1->setCurrentIndex(form->DBGrid1->model()->index(0, 0));
    Settle();
    form->MatchSingleButtonClick();
    Settle();
    EXPECT_EQ(counts(), expected());
    SelectMatchRow(0);
    QTest::keyClick(form->DBGrid2, 'k');
    Settle();
    EXPECT_EQ(counts(), expected());
    form->IdentifyButtonClick();
    form->DelMatchRecButton->click();
    Settle();
    EXPECT_EQ(counts(), expected());
    EXPECT_EQ(form->MatchTable().RecordCount(), 0);
}

TEST_F(WindowTest, MatchSingleShowsItsResultsAndSaysHowMany) {
    WritePictures(Path("pics"), 2);
    fs::copy_file(Path("pics/p0.jpg"), Path("pics/p0-copy.jpg"));
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButtonClick();
    Settle();
    // The rows are in name order: p0-copy.jpg, p0.jpg, p1.jpg.
    form->DBGrid1->setCurrentIndex(form->DBGrid1->model()->index(1, 0));
    Settle();
    form->MatchSingleButton->click();
    Settle();
    EXPECT_EQ(form->PageControl1->currentWidget(), form->CompMatchesTabSheet);
    EXPECT_EQ(form->StatusText(), "Match Single Image: 1 match of " + Path("pics/p0.jpg"));
    EXPECT_EQ(form->LeftFile, Path("pics/p0.jpg"));
}

TEST_F(WindowTest, PreviewFollowsTheKeyboard) {
    WritePictures(Path("pics"), 3);
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButtonClick();
    Settle();
    form->DBGrid1->setFocus();
    form->DBGrid1->setCurrentIndex(form->DBGrid1->model()->index(1, 0));
    Settle();
    EXPECT_EQ(form->SigFile, Path("pics/p1.jpg"));
    QTest::keyClick(form->DBGrid1, Qt::Key_Up);
    Settle();
    EXPECT_EQ(form->SigFile, Path("pics/p0.jpg"));
    QTest::keyClick(form->DBGrid1, Qt::Key_Down);
    QTest::keyClick(form->DBGrid1, Qt::Key_Down);
    Settle();
    EXPECT_EQ(form->SigFile, Path("pics/p2.jpg"));
    EXPECT_EQ(form->SigImage->Bitmap().Width(), 50);  // p2 is 50 pixels wide
    // Match Single uses the picture shown.
    form->MatchSingleButtonClick();
    EXPECT_NE(form->StatusText().find(Path("pics/p2.jpg")), std::string::npos);
}

TEST_F(WindowTest, NoPairMeansEmptyDisabledControls) {
    OpenForm();
    form->SelectPage(TTabPage::CompMatchesTabSheet);
    Settle();
    for (QPushButton* button : form->PairView->findChildren<QPushButton*>())
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    for (QLabel* hint : {form->lSameName, form->lSamePath, form->lBigger, form->lLShortPath,
                         form->lRShortPath, form->lIsBMP})
        EXPECT_TRUE(hint->isHidden()) << hint->objectName().toStdString();
    EXPECT_TRUE(form->lLName->text().isEmpty());
    EXPECT_TRUE(form->MatchImage1->Bitmap().Empty());
    // A pair enables them; emptying the table again takes them away.
    WritePictures(Path("pics"), 1);
    AddMatch(0, Path("pics/p0.jpg"), Path("pics/p0.jpg"));
    SelectMatchRow(0);
    EXPECT_TRUE(form->LViewButton->isEnabled());
    EXPECT_EQ(form->PairView->lDiffInfo->text().toStdString(), "identical");
    EXPECT_TRUE(
        form->PairView->lLInfo->text().startsWith(QString::fromUtf8("48 \u00D7 40 px \u00B7 ")))
        << form->PairView->lLInfo->text().toStdString();
    form->ClearButtonClick();
    Settle();
    EXPECT_FALSE(form->LViewButton->isEnabled());
    EXPECT_TRUE(form->lSameName->isHidden());
}

TEST_F(WindowTest, ViewOfAMissingFileSaysSoInTheStatusLine) {
    OpenForm();
    AddMatch(0, Path("gone/a.jpg"), Path("gone/b.jpg"));
    SelectMatchRow(0);
    form->LViewButton->click();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(form->StatusText(),
              "Cannot open " + Path("gone/a.jpg") + ": it does not exist (any more).");
}

TEST_F(WindowTest, TabLeavesTheIgnoreList) {
    OpenForm();
    form->SelectPage(TTabPage::CompMatchesTabSheet);
    form->activateWindow();
    Settle();
    form->NoMatchMemo->setFocus();
    QTest::keyClick(form->NoMatchMemo, Qt::Key_Tab);
    EXPECT_TRUE(form->NoMatchMemo->toPlainText().isEmpty());
    EXPECT_NE(QApplication::focusWidget(), form->NoMatchMemo);
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST_F(WindowTest, HintsAndNamesReadOnADarkPalette) {
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    OpenForm();
    AddMatch(0, "/a/x/y/z/photo.jpg", "/a/x/y/z/photo.jpg");
    SelectMatchRow(0);
    const QColor hint = form->lSameName->palette().color(QPalette::WindowText);
    EXPECT_GT(hint.lightness(), 150);  // light on dark
    EXPECT_EQ(form->lLName->palette().color(QPalette::WindowText), QColor(230, 230, 230));
    CloseForm();
    QApplication::setPalette(light);
    OpenForm();
    EXPECT_LT(form->lSameName->palette().color(QPalette::WindowText).lightness(), 110);
}

}  // namespace
}  // namespace corvane
