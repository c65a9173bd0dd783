#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FormFixture.h"
#include "scan/TextFiles.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

using StartupTest = FormFixture;

// The window's own options print and end: no window, no batch, no file of
// the program folder touched. Any other parameter still means the batch run.
TEST_F(StartupTest, HelpAndVersionPrintAndEnd) {
    const struct {
        const char* option;
        const char* expected;
    } cases[] = {{"--help", "usage: corvane"}, {"-h", "usage: corvane"}, {"--version", "corvane "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        const std::string command = "CORVANE_DATA='" + programFolder +
                                    "' QT_QPA_PLATFORM=offscreen '" + CORVANE_WINDOW + "' " +
                                    c.option;
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        EXPECT_EQ(::pclose(pipe), 0);
        EXPECT_EQ(out.rfind(c.expected, 0), 0u) << out;
        EXPECT_TRUE(fs::is_empty(programFolder));
    }
}

TEST_F(StartupTest, EmptyFolderCreatesTablesAndShowsDefaults) {
    OpenForm();
    EXPECT_TRUE(fs::exists(programFolder + "Signatures.DAT"));
    EXPECT_TRUE(fs::exists(programFolder + "Matches.DAT"));
    EXPECT_EQ(form->lSignaturesDB->text().toStdString(), "Signatures DB (0)");
    EXPECT_EQ(form->lMatchesDB->text().toStdString(), "Matches DB (0)");
    EXPECT_EQ(form->MarginText(), "25");
    EXPECT_EQ(form->SearchPath(), programFolder);
    EXPECT_TRUE(form->ColorsCB());
    EXPECT_TRUE(form->SubDirsCB());
    EXPECT_FALSE(form->NormalizeCB());
    EXPECT_FALSE(form->IncrMatchCB());
    EXPECT_FALSE(form->ForceCB());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->CompSigTabSheet);
    EXPECT_TRUE(form->ProgressBar1->isHidden());
    EXPECT_TRUE(form->Memo2->isHidden());
    EXPECT_TRUE(form->SortByName->isChecked());
    EXPECT_TRUE(errors.empty());
    // The empty pair: empty views, no "same" label for two empty names.
    EXPECT_TRUE(form->MatchImage1->Bitmap().Empty());
    EXPECT_TRUE(form->lSamePath->isHidden());
    EXPECT_TRUE(form->lSameName->isHidden());
}

TEST_F(StartupTest, ControlsCarryTheirCaptionsAndHints) {
    OpenForm();
    // The title names the program folder in use.
    EXPECT_EQ(form->windowTitle().toStdString(), "Corvane - " + form->Engine().State.ProgramFolder);
    EXPECT_EQ(form->ComputeButton->text().toStdString(), "&Compute Signatures");
    EXPECT_EQ(form->IdentifyButton->text().toStdString(), "&Identify all Matches");
    EXPECT_EQ(form->MarginEdit->toolTip().toStdString(),
              "Image signatures are considered to be equal if all values\n"
              "are within the margin value of each other. Use margin\n"
              "values of about 5-10 to find \"identical\" images; use\n"
              "margin values of >=50 to find \"similar\" images.");
    EXPECT_EQ(form->MatchSingleButton->toolTip().count('\n'), 2);
    EXPECT_EQ(form->PageControl1->tabText(0).toStdString(), "Compute Signatures");
    EXPECT_EQ(form->PageControl1->tabText(1).toStdString(), "Compute Matches");
    EXPECT_EQ(form->PageControl1->tabText(2).toStdString(), "Review Groups");
    EXPECT_EQ(form->PageControl1->tabText(3).toStdString(), "Help");
    EXPECT_EQ(form->DBGrid2->model()->headerData(0, Qt::Horizontal).toString().toStdString(),
              "MaxDiff");
}

TEST_F(StartupTest, SettingsRoundTrip) {
    OpenForm();
    form->SetNormalizeCB(true);
    form->SetColorsCB(false);
    form->SetMarginText("7");
    form->SetSearchPath("/some/where/");
    form->SetIgnoreLines({"/tmp/x", "", "/tmp/y/"});
    OpenForm();  // closes the first window, which saves
    EXPECT_TRUE(form->NormalizeCB());
    EXPECT_FALSE(form->ColorsCB());
    EXPECT_EQ(form->MarginText(), "7");
    EXPECT_EQ(form->SearchPath(), "/some/where/");
    EXPECT_EQ(form->IgnoreLines(), (std::vector<std::string>{"/tmp/x/", "", "/tmp/y/"}));
}

TEST_F(StartupTest, HandEditedLowerCaseYesReadsUnticked) {
    {
        TIniFile ini(programFolder + "Corvane.INI");
        ini.WriteString("Params", "Normalize", "y");
        ini.WriteString("Params", "Colors", "Y");
    }
    OpenForm();
    EXPECT_FALSE(form->NormalizeCB());
    EXPECT_TRUE(form->ColorsCB());
}

TEST_F(StartupTest, UnwritableSettingsStillSaveTheRestAndClose) {
    OpenForm();
    form->SetIgnoreLines({"/tmp/x"});
    // A folder in the settings file's place cannot be written over.
    fs::create_directories(programFolder + "Corvane.INI");
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + programFolder + "Corvane.INI");
    EXPECT_EQ(ReadTextLines(programFolder + "NoMatches.Txt"),
              (std::vector<std::string>{"/tmp/x/"}));
}

TEST_F(StartupTest, BadFilesWrittenOnlyAfterAFailure) {
    WriteTextLines(programFolder + "BadFiles.txt", {"old"});
    OpenForm();
    form->close();
    EXPECT_EQ(ReadTextLines(programFolder + "BadFiles.txt"), (std::vector<std::string>{"old"}));
    OpenForm();
    form->AddMemo2Line("Unable to process \"x.jpg\"");
    form->SetMemo2Visible(true);
    form->close();
    EXPECT_EQ(ReadTextLines(programFolder + "BadFiles.txt"),
              (std::vector<std::string>{"Unable to process \"x.jpg\""}));
}

TEST_F(StartupTest, HelpStaysWhenClickedAndNamesEveryKeyAndHint) {
    OpenForm();
    form->PageControl1->setCurrentWidget(form->HelpTabSheet);
    Settle();
    QTest::mouseClick(form->Memo1->viewport(), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(form->Memo1->isVisible());
    const QString help = form->Memo1->toPlainText();
    for (const char* text : {"Ctrl+Z", "Delete", "Esc", "Bigger", "file size", "FAVE", "SHORT",
                             "FROM BMP", "Animation!", "Same Name!", "Same Path!", "Workflow",
                             "Normalize", "Match Margin", "Corvane.INI"})
        EXPECT_TRUE(help.contains(text)) << text;
    for (const char* key : {"(key D", "(key K)", "(key L)", "(key R)", "Ctrl+Z"}) {
        bool inTooltip = false;
        for (QPushButton* button : form->PairView->findChildren<QPushButton*>())
            inTooltip = inTooltip || button->toolTip().contains(key);
        EXPECT_TRUE(inTooltip) << key;
    }
}

}  // namespace
}  // namespace corvane
