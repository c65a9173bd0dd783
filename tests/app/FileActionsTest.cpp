#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "FormFixture.h"
#include "app/RenderWindow.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

class FileActionsTest : public FormFixture {
  protected:
    void SetUp() override {
        FormFixture::SetUp();
        // Real pictures: the pair view loads them.
        const std::vector<std::string> pictures = WriteSamplePictures(Path("pics"));
        fs::create_directories(Path("f"));
        const char* names[] = {"A.jpg", "B.jpg", "C.jpg", "D.jpg"};
        for (int i = 0; i < 4; ++i) fs::copy_file(pictures[i + 2], F(names[i]));
    }
    std::string F(const char* name) { return Path(std::string("f/") + name); }
};

TEST_F(FileActionsTest, DeleteLeftRemovesFileRecordsAndRows) {
    OpenForm();
    for (const char* name : {"A.jpg", "B.jpg", "C.jpg"}) AddSignature(F(name));
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    AddMatch(2, F("A.jpg"), F("C.jpg"));
    AddMatch(3, F("D.jpg"), F("A.jpg"));
    AddMatch(4, F("B.jpg"), F("C.jpg"));
    SelectMatchRow(0);
    EXPECT_EQ(form->LeftFile, F("A.jpg"));
    form->LDeleteButton->click();
    Settle();
    EXPECT_FALSE(fs::exists(F("A.jpg")));
    EXPECT_EQ(MatchRows(), (std::vector<std::string>{"4 " + F("B.jpg") + " " + F("C.jpg")}));
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 2);
    EXPECT_EQ(form->lMatchesDB->text().toStdString(), "Matches DB (1)");
    EXPECT_EQ(form->LeftFile, F("B.jpg"));
    EXPECT_EQ(form->DBGrid2->currentIndex().row(), 0);
}

TEST_F(FileActionsTest, CurrentRowKeepsItsOrdinalPosition) {
    OpenForm();
    AddMatch(1, "/p/1", "/p/2");
    AddMatch(2, "/p/X", "/p/3");
    AddMatch(3, "/p/4", "/p/5");
    AddMatch(4, "/p/6", "/p/X");
    AddMatch(5, "/p/7", "/p/8");
    AddMatch(6, "/p/9", "/p/10");
    AddMatch(7, "/p/11", "/p/12");
    SelectMatchRow(4);
    form->DeleteImageFile("/p/X");
    Settle();
    // Rows two and four went; the fifth row of the rest is current.
    EXPECT_EQ(form->Engine().Matches.MatchTableMaxDiff.Value(), 7);
    EXPECT_EQ(form->DBGrid2->currentIndex().row(), 4);
    // Fewer rows than the position: the last row.
    SelectMatchRow(4);
    form->DeleteImageFile("/p/9");
    form->DeleteImageFile("/p/11");
    Settle();
    EXPECT_EQ(form->Engine().Matches.MatchTableMaxDiff.Value(), 5);
}

TEST_F(FileActionsTest, DeleteComparesFileNamesCaseSensitively) {
    OpenForm();
    AddSignature(F("A.jpg"));
    AddMatch(1, Path("f/a.JPG"), "/p/z");
    form->DeleteImageFile(Path("f/a.jpg"));
    Settle();
    EXPECT_EQ(form->MatchTable().RecordCount(), 1);
    // New tables compare names case-sensitively: A.jpg is another file and
    // keeps its record.
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 1);
    EXPECT_TRUE(fs::exists(F("A.jpg")));
}

TEST_F(FileActionsTest, KeysDeleteDropAndView) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    AddMatch(2, F("C.jpg"), F("D.jpg"));
    AddMatch(3, "/p/y", "/p/z");
    SelectMatchRow(0);
    pickAnswer = 0;
    QTest::keyClick(form->DBGrid2, Qt::Key_D);
    Settle();
    EXPECT_EQ(pickPrompts.size(), 1u);
    EXPECT_EQ(pickPrompts[0], "Delete left image file or right image file?");
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 3);
    pickAnswer = 2;
    QTest::keyClick(form->DBGrid2, 'd');
    Settle();
    EXPECT_FALSE(fs::exists(F("B.jpg")));
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 2);
    QTest::keyClick(form->DBGrid2, 'l');
    QTest::keyClick(form->DBGrid2, 'R');
    QTest::keyClick(form->DBGrid2, 'x');
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], F("C.jpg"));
    EXPECT_EQ(opened[1], F("D.jpg"));
    // K on the last row drops it and makes the previous row current.
    SelectMatchRow(1);
    QTest::keyClick(form->DBGrid2, 'k');
    Settle();
    EXPECT_EQ(form->MatchTable().RecordCount(), 1);
    EXPECT_EQ(form->LeftFile, F("C.jpg"));
    EXPECT_TRUE(fs::exists(F("C.jpg")));
    // K on the empty table: the store's message.
    QTest::keyClick(form->DBGrid2, 'k');
    QTest::keyClick(form->DBGrid2, 'k');
    ASSERT_EQ(errors.size(), 1u) << errors[0];
    EXPECT_NE(errors[0].find("Cannot perform this operation on an empty dataset"),
              std::string::npos);
}

TEST_F(FileActionsTest, MoveNeverLosesThePicture) {
    OpenForm();
    AddSignature(F("A.jpg"));
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    SelectMatchRow(0);
    // Destination is the source itself: nothing happens, a message says so.
    moveDestination = F("A.jpg");
    form->LMoveButton->click();
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    ASSERT_EQ(messages.size(), 1u);
    // The move fails (no such folder): the source stays, the reason is shown.
    moveDestination = Path("missing/A.jpg");
    form->LMoveButton->click();
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No such file or directory"), std::string::npos) << errors[0];
    // Another file at the destination: asked; declined, nothing changes.
    fs::create_directories(Path("g"));
    WriteFile("g/A.jpg", "another picture");
    moveDestination = Path("g/A.jpg");
    confirmAnswer = false;
    form->LMoveButton->click();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    // Confirmed: the old file goes to the trash; the records follow the file.
    confirmAnswer = true;
    form->LMoveButton->click();
    Settle();
    EXPECT_FALSE(fs::exists(F("A.jpg")));
    EXPECT_GT(fs::file_size(Path("g/A.jpg")), 100u);
    EXPECT_EQ(form->LeftFile, Path("g/A.jpg"));
    EXPECT_EQ(MatchRows(), (std::vector<std::string>{"1 " + Path("g/A.jpg") + " " + F("B.jpg")}));
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 1);
    EXPECT_EQ(form->Engine().Signatures.SignaturesTableFilePath.Value(), Path("g") + "/");
    // Cancelled dialog: nothing.
    moveDestination.reset();
    form->RMoveButton->click();
    EXPECT_TRUE(fs::exists(F("B.jpg")));
}

// A right click only opens the menu; its items delete, to the trash.
TEST_F(FileActionsTest, PopupOnFileColumnOnlyOffersTheMenu) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    for (int column : {0, 2}) {
        SelectMatchRow(0, column);
        emit form->DBGrid2->popupRequested(QPoint(10, 10));
        EXPECT_TRUE(fs::exists(F("B.jpg")));
        EXPECT_EQ(form->MatchTable().RecordCount(), 1);
        form->PopupMenu1->close();
    }
    form->DeleteRight1->trigger();
    Settle();
    EXPECT_FALSE(fs::exists(F("B.jpg")));
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 0);
    EXPECT_EQ(form->StatusText(), "Moved to the trash: " + F("B.jpg"));
}

// Undo (the button and Ctrl+Z) brings the file and its rows back, one step
// at a time.
TEST_F(FileActionsTest, UndoRestoresFileAndRows) {
    OpenForm();
    AddSignature(F("A.jpg"));
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    AddMatch(2, F("C.jpg"), F("A.jpg"));
    SelectMatchRow(0);
    form->LDeleteButton->click();
    Settle();
    AddMatch(3, F("B.jpg"), F("D.jpg"));
    SelectMatchRow(0);
    form->LDeleteButton->click();
    Settle();
    EXPECT_FALSE(fs::exists(F("A.jpg")));
    EXPECT_FALSE(fs::exists(F("B.jpg")));
    form->UndoButton->click();
    Settle();
    EXPECT_TRUE(fs::exists(F("B.jpg")));
    EXPECT_EQ(form->StatusText(), "Restored " + F("B.jpg"));
    QTest::keyClick(form->DBGrid2, Qt::Key_Z, Qt::ControlModifier);
    Settle();
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(MatchRows(), (std::vector<std::string>{"1 " + F("A.jpg") + " " + F("B.jpg"),
                                                      "2 " + F("C.jpg") + " " + F("A.jpg"),
                                                      "3 " + F("B.jpg") + " " + F("D.jpg")}));
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 1);
    EXPECT_TRUE(errors.empty());
}

// No trash can take the file: asked first; declined, nothing changes.
TEST_F(FileActionsTest, WithoutTrashAsksBeforeDeletingForGood) {
    class TRefusingTrash : public TTrashCan {
      public:
        std::string MoveToTrash(const std::string& name) override {
            throw EFileAction("Unable to move " + name + " to the trash: refused");
        }
    };
    OpenForm();
    form->SetTrashCan(std::make_unique<TRefusingTrash>());
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    SelectMatchRow(0);
    confirmAnswer = false;
    form->LDeleteButton->click();
    Settle();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("for good"), std::string::npos);
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 1);
    confirmAnswer = true;
    form->LDeleteButton->click();
    Settle();
    EXPECT_FALSE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 0);
}

// A delete that fails shows the system's reason and keeps every record.
TEST_F(FileActionsTest, FailedDeleteIsToldAndRecordsStay) {
    OpenForm();
    AddSignature(F("A.jpg"));
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    form->UseTrashCBBox->setChecked(false);
    if (std::system(("chattr +i '" + F("A.jpg") + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "chattr +i is not available here";
    SelectMatchRow(0);
    form->LDeleteButton->click();
    Settle();
    EXPECT_EQ(std::system(("chattr -i '" + F("A.jpg") + "'").c_str()), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Operation not permitted"), std::string::npos) << errors[0];
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->MatchTable().RecordCount(), 1);
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 1);
}

TEST_F(FileActionsTest, ViewAndBrowseOpenFileAndFolder) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    SelectMatchRow(0);
    form->LViewButton->click();
    form->RBrowseButton->click();
    form->MatchImage2Click();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], F("A.jpg"));
    EXPECT_EQ(opened[1], Path("f") + "/");
    EXPECT_EQ(opened[2], F("B.jpg"));
}

// The grid drops a deleted row without reading the table again; what it
// shows must still be the table, row for row, with the same current row.
TEST_F(FileActionsTest, DroppedRowsKeepGridInStep) {
    OpenForm();
    for (int i = 0; i < 150; ++i)
        AddMatch(i, "/p/l" + std::to_string(i), "/p/r" + std::to_string(i));
    for (int row : {70, 64, 0, 146, 63}) {
        SelectMatchRow(row);
        QTest::keyClick(form->DBGrid2, 'k');
        Settle();
        const std::vector<std::string> rows = MatchRows();
        QAbstractItemModel* model = form->DBGrid2->model();
        ASSERT_EQ(model->rowCount(), static_cast<int>(rows.size()));
        for (int r = 0; r < model->rowCount(); ++r)
            ASSERT_EQ(model->index(r, 0).data().toString().toStdString() + " " +
                          model->index(r, 1).data().toString().toStdString() + " " +
                          model->index(r, 2).data().toString().toStdString(),
                      rows[r]);
        const int current = form->DBGrid2->currentIndex().row();
        EXPECT_EQ(current, std::min(row, model->rowCount() - 1));
        EXPECT_EQ(form->LeftFile, model->index(current, 1).data().toString().toStdString());
    }
    // Moving after the drops still lands on the right records.
    SelectMatchRow(100);
    EXPECT_EQ(form->LeftFile,
              form->DBGrid2->model()->index(100, 1).data().toString().toStdString());
}

TEST_F(FileActionsTest, DeleteMatchRecordTouchesNoFile) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    AddMatch(2, F("C.jpg"), F("D.jpg"));
    SelectMatchRow(0);
    form->DelMatchRecButton->click();
    Settle();
    EXPECT_EQ(MatchRows().size(), 1u);
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    EXPECT_EQ(form->LeftFile, F("C.jpg"));
}

}  // namespace
}  // namespace corvane
