// The "Review Groups" tab on a small generated folder: the groups shown with
// thumbnails from the freedesktop cache, a selection by a keep rule that
// never takes a whole group, a trash of the selection and its undo, and a
// "not a duplicate" mark that hides a group.
#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "FormFixture.h"
#include "app/GroupsTab.h"
#include "app/RenderWindow.h"
#include "scan/TextFiles.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

class GroupsTabTest : public FormFixture {
  protected:
    void SetUp() override {
        FormFixture::SetUp();
        WriteSamplePictures(Path("pics"));
        TIniFile ini(programFolder + "Corvane.INI");
        ini.WriteString("Params", "SearchPath", Path("pics") + "/");
        ini.WriteString("Params", "Margin", "25");
        ini.WriteString("Params", "SubDirs", "Y");
        OpenForm();
        form->ComputeButtonClick();
        form->IdentifyButtonClick();
        Settle();
        tab = form->GroupsTab;
        form->PageControl1->setCurrentWidget(tab);
        Settle();
    }

    // Thumbnails and the preview made, and what they bring shown.
    void Finish() {
        tab->Thumbnails->WaitForDone();
        tab->WaitForPreview();
        Settle();
    }

    std::vector<std::string> Shown() {
        std::vector<std::string> files;
        for (int row = 0; row < tab->GroupModel->rowCount(); ++row)
            for (const TGroupMember& member :
                 tab->Review.Groups().Group(tab->GroupModel->GroupAt(row)))
                files.emplace_back(tab->Review.Name(member.Picture));
        return files;
    }

    void TickOnly(const std::string& caption) {
        for (int i = 0; i < tab->KeepRulesList->count(); ++i) {
            QListWidgetItem* item = tab->KeepRulesList->item(i);
            item->setCheckState(item->text().toStdString() == caption ? Qt::Checked
                                                                      : Qt::Unchecked);
        }
    }

    TGroupsTab* tab = nullptr;
};

TEST_F(GroupsTabTest, ShowsTheGroupsWithCachedThumbnailsAndTheDifference) {
    ASSERT_EQ(tab->GroupModel->rowCount(), 2);
    EXPECT_EQ(tab->lGroupsInfo->text().toStdString(),
              "2 groups of 4 pictures at margin 25, colors");
    // The first group is current, with its members and their MaxDiff.
    ASSERT_EQ(tab->MemberModel->rowCount(), 2);
    EXPECT_EQ(tab->MemberModel->index(0).data(TMemberModel::DiffRole).toString().left(9),
              "reference");
    Finish();
    const std::string first = tab->MemberModel->File(0);
    const TThumbnail* thumbnail = tab->Thumbnails->Find(first);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_FALSE(thumbnail->Image.isNull());
    EXPECT_GT(tab->MemberModel->ThumbnailsShown(), 0);
    EXPECT_NE(tab->MemberModel->index(0).data(TMemberModel::FactsRole).toString().indexOf(" px"),
              -1);
    // Kept in the freedesktop cache with the file's URI and time.
    const std::string cached = tab->Thumbnails->Cache().FileFor(first);
    EXPECT_EQ(cached.rfind(std::string(std::getenv("XDG_CACHE_HOME")) + "/thumbnails/large/", 0),
              0u);
    const QImage reader(QString::fromStdString(cached));
    EXPECT_EQ(reader.text("Thumb::URI").toStdString(), ThumbnailUri(first));
    struct stat info {};
    ASSERT_EQ(::stat(first.c_str(), &info), 0);
    EXPECT_EQ(reader.text("Thumb::MTime").toLongLong(), static_cast<long long>(info.st_mtime));
    EXPECT_EQ(reader.text("Thumb::Image::Width").toInt(), 320);
    // A thumbnail of another time of the file is not taken.
    EXPECT_TRUE(tab->Thumbnails->Cache().Read(first, info.st_mtime));
    EXPECT_FALSE(tab->Thumbnails->Cache().Read(first, info.st_mtime + 1));
    // The difference of member 1 to the reference is shown (same size: a raster).
    EXPECT_GT(tab->PreviewsShown(), 0);
    EXPECT_FALSE(tab->GroupDiffImage->Bitmap().Empty());
    // Keys: Down moves to the next group.
    tab->GroupList->setFocus();
    QTest::keyClick(tab->GroupList, Qt::Key_Down);
    EXPECT_EQ(tab->GroupList->currentIndex().row(), 1);
    EXPECT_EQ(tab->MemberModel->Group(), tab->GroupModel->GroupAt(1));
    // The folder filter lists only the groups with a member below it.
    tab->FolderFilterEdit->setText(QString::fromStdString(Path("pics/Garden/")));
    tab->Relist();
    EXPECT_EQ(tab->GroupModel->rowCount(), 1);
}

TEST_F(GroupsTabTest, RulesSelectTrashGoesAndUndoBringsBack) {
    TickOnly("Shortest path");
    tab->SelectByRulesButton->click();
    const std::string copy = Path("pics/Backup/Holiday/sunset.jpg");
    const std::string small = Path("pics/Garden/small/flower.jpg");
    EXPECT_EQ(tab->Review.SelectedFiles(), (std::vector<std::string>{copy, small}));
    EXPECT_EQ(tab->lSelectionInfo->text().toStdString(), "Selected: 2 pictures in 2 groups");
    // The kept member cannot be selected too: the group keeps one.
    const int kept = tab->MemberModel->File(0) == copy ? 1 : 0;
    EXPECT_FALSE(
        tab->MemberModel->setData(tab->MemberModel->index(kept), Qt::Checked, Qt::CheckStateRole));
    EXPECT_NE(form->StatusText().find("keeps at least one"), std::string::npos);
    EXPECT_EQ(tab->Review.SelectedFiles().size(), 2u);

    tab->TrashSelectedButton->click();
    Settle();
    EXPECT_EQ(questions.back(), "Send 2 selected pictures to the trash?");
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_FALSE(fs::exists(small));
    EXPECT_EQ(tab->GroupModel->rowCount(), 0);
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 4);
    // Ctrl+Z: the last one back, with its records, and its group again.
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    Settle();
    EXPECT_TRUE(fs::exists(small));
    EXPECT_FALSE(fs::exists(copy));
    ASSERT_EQ(tab->GroupModel->rowCount(), 1);
    EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(GroupsTabTest, MoveKeepsTheFoldersBelowTheSearchPath) {
    TickOnly("Shortest path");
    tab->SelectByRulesButton->click();
    std::string asked;
    form->OnChooseFolder = [&](const std::string& folder) {
        asked = folder;
        return std::optional<std::string>(Path("dupes"));
    };
    tab->MoveSelectedButton->click();
    Settle();
    EXPECT_EQ(asked, Path("pics") + "/");
    EXPECT_TRUE(fs::exists(Path("dupes/Backup/Holiday/sunset.jpg")));
    EXPECT_TRUE(fs::exists(Path("dupes/Garden/small/flower.jpg")));
    EXPECT_FALSE(fs::exists(Path("pics/Garden/small/flower.jpg")));
    // The records followed: the moved files are still grouped, under their new names.
    ASSERT_EQ(tab->GroupModel->rowCount(), 2);
    const std::vector<std::string> shown = Shown();
    EXPECT_NE(std::find(shown.begin(), shown.end(), Path("dupes/Garden/small/flower.jpg")),
              shown.end());
    form->UndoButton->click();
    Settle();
    EXPECT_TRUE(fs::exists(Path("pics/Garden/small/flower.jpg")));
}

TEST_F(GroupsTabTest, NotADuplicateHidesTheGroupAndSurvivesAReload) {
    ASSERT_EQ(tab->GroupModel->rowCount(), 2);
    tab->NotDuplicateGroupButton->click();
    EXPECT_EQ(tab->GroupModel->rowCount(), 1);
    EXPECT_TRUE(fs::exists(programFolder + "NotDuplicates.Txt"));
    tab->RefreshButton->click();
    Settle();
    EXPECT_EQ(tab->GroupModel->rowCount(), 1);
    // A pair: the highlighted member with the reference.
    tab->MemberView->setCurrentIndex(tab->MemberModel->index(1));
    tab->NotDuplicatePairButton->click();
    EXPECT_EQ(tab->GroupModel->rowCount(), 0);
    EXPECT_EQ(tab->MemberModel->rowCount(), 0);
    // The match table itself is unchanged.
    EXPECT_EQ(form->MatchTable().RecordCount(), 2);
}

TEST_F(GroupsTabTest, SettingsAreKeptInTheIni) {
    tab->OrderBox->setCurrentIndex(1);
    TickOnly("Oldest date");
    tab->PreferredMemo->setPlainText("/keep/\n/also/");
    CloseForm();
    OpenForm();
    TGroupsTab* again = form->GroupsTab;
    EXPECT_EQ(again->OrderBox->currentIndex(), 1);
    EXPECT_EQ(again->ChosenRules(), std::vector<TKeepRule>{TKeepRule::OldestDate});
    EXPECT_EQ(again->PreferredMemo->toPlainText().toStdString(), "/keep/\n/also/");
}

}  // namespace
}  // namespace corvane
