#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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
    EXPECT_EQ(form->SignaturesTable().RecordCount(), 1);  // another file: names compare exactly
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

TEST_F(FileActionsTest, PopupOnFileColumnDeletesAndClosesItself) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    SelectMatchRow(0, 2);
    emit form->DBGrid2->popupRequested(QPoint(10, 10));
    EXPECT_FALSE(fs::exists(F("B.jpg")));
    EXPECT_TRUE(form->Timer1->isActive());
    QTest::qWait(250);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->PopupMenu1->isVisible());
    // On the MaxDiff column the menu only shows.
    AddMatch(2, F("C.jpg"), F("D.jpg"));
    SelectMatchRow(0, 0);
    emit form->DBGrid2->popupRequested(QPoint(10, 10));
    EXPECT_TRUE(fs::exists(F("C.jpg")));
    EXPECT_FALSE(form->Timer1->isActive());
    form->PopupMenu1->close();
}

TEST_F(FileActionsTest, MoveNeverLosesThePicture) {
    OpenForm();
    AddMatch(1, F("A.jpg"), F("B.jpg"));
    SelectMatchRow(0);
    // Destination is the source itself: nothing happens, a message says so.
    moveDestination = F("A.jpg");
    form->LMoveButton->click();
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    ASSERT_EQ(messages.size(), 1u);
    // The copy fails (no such folder): the source stays, the error is shown.
    moveDestination = Path("missing/A.jpg");
    form->LMoveButton->click();
    EXPECT_TRUE(fs::exists(F("A.jpg")));
    ASSERT_EQ(errors.size(), 1u) << errors[0];
    // A real move: the file is there, the view is empty, the tables unchanged.
    fs::create_directories(Path("g"));
    moveDestination = Path("g/A.jpg");
    form->LMoveButton->click();
    EXPECT_FALSE(fs::exists(F("A.jpg")));
    EXPECT_TRUE(fs::exists(Path("g/A.jpg")));
    EXPECT_TRUE(form->MatchImage1->Bitmap().Empty());
    EXPECT_EQ(form->LeftFile, F("A.jpg"));
    EXPECT_EQ(MatchRows().size(), 1u);
    // Cancelled dialog: nothing.
    moveDestination.reset();
    form->RMoveButton->click();
    EXPECT_TRUE(fs::exists(F("B.jpg")));
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
