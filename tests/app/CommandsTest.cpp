#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <filesystem>

#include "FormFixture.h"
#include "app/RenderWindow.h"
#include "tablestore/SignatureTables.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

class CommandsTest : public FormFixture {
  protected:
    void SetUp() override {
        FormFixture::SetUp();
        pictures = WriteSamplePictures(Path("pics"));
    }
    std::vector<std::string> pictures;
};

TEST_F(CommandsTest, ComputeAndIdentifyThroughTheButtons) {
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButton->click();
    Settle();
    ASSERT_TRUE(errors.empty()) << errors.front();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("6 records added; 0 records edited in ", 0), 0u) << messages[0];
    EXPECT_EQ(form->lSignaturesDB->text().toStdString(), "Signatures DB (6)");
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 6);
    EXPECT_TRUE(form->ProgressBar1->isHidden());

    form->IdentifyButton->click();
    Settle();
    ASSERT_TRUE(errors.empty()) << errors.front();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].rfind("Identify completed: 6 records processed in ", 0), 0u);
    const int matches = form->MatchTable().RecordCount();
    EXPECT_GE(matches, 2);  // the copied sunset and the two flowers at least
    EXPECT_EQ(form->lMatchesDB->text().toStdString(),
              "Matches DB (" + std::to_string(matches) + ")");
    EXPECT_EQ(form->DBGrid2->model()->rowCount(), matches);
    // The pair view follows the match table's current row.
    EXPECT_FALSE(form->LeftFile.empty());
    EXPECT_FALSE(form->MatchImage1->Bitmap().Empty());
}

TEST_F(CommandsTest, SecondCommandIsRefusedWhileOneRuns) {
    OpenForm();
    ASSERT_TRUE(form->Guard.TryBegin("Identify all Matches"));
    form->ComputeButtonClick();
    form->ClearButtonClick();
    // A status line message, not a box that would hold the running command.
    EXPECT_EQ(form->StatusText(),
              "Clr cannot start while Identify all Matches is running. "
              "Please wait until it has finished.");
    form->Guard.End();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 0);
}

TEST_F(CommandsTest, GridFollowsTableAndTableFollowsGrid) {
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButtonClick();
    Settle();
    form->DBGrid1->setCurrentIndex(form->DBGrid1->model()->index(3, 0));
    Settle();
    const std::string name = form->Engine().Signatures.SignaturesTableFileName.AsString();
    EXPECT_EQ(form->DBGrid1->model()->index(3, 0).data().toString().toStdString(), name);
    form->SignaturesTable().First();
    Settle();
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 0);
}

TEST_F(CommandsTest, SortByDateUsesTheDateIndexOrSaysItIsMissing) {
    for (const bool legacy : {false, true}) {
        CloseForm();
        for (const char* file : {"Signatures.DAT", "Matches.DAT"}) fs::remove(programFolder + file);
        if (legacy) {
            // Tables made before the date index existed.
            const std::pair<const char*, void (*)(TFieldDefs&, TIndexDefs&)> tables[] = {
                {"Signatures.DAT", DefineLegacySignaturesTable},
                {"Matches.DAT", DefineLegacyMatchTable}};
            for (const auto& [name, define] : tables) {
                TStoreTable table;
                table.SetDatabaseName(programFolder);
                table.SetTableName(name);
                define(table.FieldDefs, table.IndexDefs);
                table.CreateTable();
            }
        }
        OpenForm();
        form->SetSearchPath(Path("pics") + "/");
        form->ComputeButtonClick();
        Settle();
        form->SortByDate->click();
        Settle();
        EXPECT_TRUE(errors.empty()) << errors.front();
        if (legacy) {
            // One clear line instead of the store's error.
            EXPECT_EQ(form->StatusText().rfind("Sort by Date needs a date index", 0), 0u);
            EXPECT_EQ(form->SignaturesTable().IndexName(), "");
            EXPECT_TRUE(form->SortByName->isChecked());
        } else {
            EXPECT_EQ(form->SignaturesTable().IndexName(), "ByFileDate");
        }
        form->SortByName->click();
        Settle();
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(form->SignaturesTable().IndexName(), "");
        EXPECT_EQ(form->DBGrid1->model()->rowCount(), 6);
    }
}

TEST_F(CommandsTest, ClearAsksThenEmptiesBothTables) {
    OpenForm();
    form->SetSearchPath(Path("pics") + "/");
    form->ComputeButtonClick();
    form->IdentifyButtonClick();
    const int records = form->SignaturesTable().RecordCount();
    confirmAnswer = false;
    form->ClearButton->click();
    Settle();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(form->SignaturesTable().RecordCount(), records);
    confirmAnswer = true;
    form->ClearButton->click();
    Settle();
    EXPECT_EQ(form->lSignaturesDB->text().toStdString(), "Signatures DB (0)");
    EXPECT_EQ(form->lMatchesDB->text().toStdString(), "Matches DB (0)");
    EXPECT_TRUE(form->lSamePath->isHidden());
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(form->DBGrid2->model()->rowCount(), 0);
}

TEST_F(CommandsTest, BatchRunOnAnyParameter) {
    {
        TIniFile ini(programFolder + "Corvane.INI");
        ini.WriteString("Params", "SearchPath", Path("pics") + "/");
    }
    OpenForm(true);
    for (int i = 0; i < 5; ++i) Settle();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->CompMatchesTabSheet);
    EXPECT_EQ(form->lSignaturesDB->text().toStdString(), "Signatures DB (6)");
    EXPECT_NE(form->lMatchesDB->text().toStdString(), "Matches DB (0)");
    EXPECT_FALSE(form->Engine().State.BatchMode);
}

}  // namespace
}  // namespace corvane
