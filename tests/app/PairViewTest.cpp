#include <QLabel>
#include <filesystem>

#include "FormFixture.h"
#include "app/RenderWindow.h"

namespace fs = std::filesystem;

namespace corvane {
namespace {

class PairViewTest : public FormFixture {
  protected:
    void SetUp() override {
        FormFixture::SetUp();
        WriteSamplePictures(Path("pics"));
        fs::create_directories(Path("x/deep/er"));
        fs::copy_file(Path("pics/Holiday/sunset.jpg"), Path("x/deep/er/photo1.jpg"));
        fs::copy_file(Path("pics/Holiday/sunset.jpg"), Path("x/deep/photo.jpg"));
    }
};

TEST_F(PairViewTest, IdenticalPicturesGiveBlackDifference) {
    OpenForm();
    AddMatch(0, Path("pics/Holiday/sunset.jpg"), Path("pics/Backup/Holiday/sunset.jpg"));
    SelectMatchRow(0);
    const TBitmap32& diff = form->DiffImage->Bitmap();
    ASSERT_EQ(diff.Width(), 320);
    ASSERT_EQ(diff.Height(), 240);
    for (int32_t y = 0; y < diff.Height(); ++y)
        for (int32_t x = 0; x < diff.Width(); ++x) ASSERT_EQ(diff.GetPixel(x, y), 0u);
    EXPECT_FALSE(form->lSameName->isHidden());
    EXPECT_TRUE(form->lSamePath->isHidden());
    EXPECT_EQ(form->lLName->text().toStdString(), Path("pics/Holiday/sunset.jpg"));
    EXPECT_EQ(form->lBigger->text().toStdString(), "");
}

TEST_F(PairViewTest, DifferenceIsPixelwiseAbsoluteValue) {
    OpenForm();
    AddMatch(3, Path("pics/Holiday/sunset.jpg"), Path("pics/Holiday/sunset1.jpg"));
    SelectMatchRow(0);
    const TBitmap32& l = form->MatchImage1->Bitmap();
    const TBitmap32& r = form->MatchImage2->Bitmap();
    const TBitmap32& d = form->DiffImage->Bitmap();
    ASSERT_EQ(d.Width(), l.Width());
    int differing = 0;
    for (int32_t y = 0; y < d.Height(); ++y)
        for (int32_t x = 0; x < d.Width(); ++x) {
            const int32_t delta = static_cast<int32_t>(l.GetPixel(x, y) - r.GetPixel(x, y));
            ASSERT_EQ(d.GetPixel(x, y), static_cast<uint32_t>(delta < 0 ? -int64_t(delta) : delta));
            differing += d.GetPixel(x, y) != 0;
        }
    EXPECT_GT(differing, 0);
    EXPECT_FALSE(form->lSamePath->isHidden());
}

TEST_F(PairViewTest, DifferentSizesGiveNoDifferencePicture) {
    OpenForm();
    AddMatch(1, Path("pics/Garden/flower.jpg"), Path("pics/Garden/small/flower.jpg"));
    SelectMatchRow(0);
    EXPECT_EQ(form->MatchImage1->Bitmap().Width(), 200);
    EXPECT_EQ(form->MatchImage2->Bitmap().Width(), 100);
    EXPECT_TRUE(form->DiffImage->Bitmap().Empty());
}

TEST_F(PairViewTest, NameRuleAndExtraHints) {
    WriteFile("data/tivrel.txt", "");
    OpenForm();
    AddMatch(0, Path("x/deep/er/photo1.jpg"), Path("x/deep/photo.jpg"));
    SelectMatchRow(0);
    EXPECT_EQ(form->lLName->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(form->lRName->palette().color(QPalette::WindowText), QColor(Qt::black));
    // The bitmap hint shows between the two pictures.
    AddMatch(1, "/a/FROM-BMP-0001.jpg", "/a/b.jpg");
    form->SelectPage(TTabPage::CompMatchesTabSheet);
    SelectMatchRow(1);
    EXPECT_FALSE(form->lIsBMP->isHidden());
    const auto left = [this](QWidget* w, int dx) {
        return w->mapTo(form.get(), QPoint(dx, 0)).x();
    };
    EXPECT_GE(left(form->lIsBMP, 0), left(form->MatchImage1, form->MatchImage1->width()));
    EXPECT_LE(left(form->lIsBMP, form->lIsBMP->width()), left(form->MatchImage2, 0));
}

TEST_F(PairViewTest, ExtraHintsHiddenWithoutMarker) {
    OpenForm();
    AddMatch(0, "/a/FROM-BMP-0001.jpg", "/a/b.jpg");
    SelectMatchRow(0);
    EXPECT_TRUE(form->lIsBMP->isHidden());
    EXPECT_EQ(form->lIsBMP->text().toStdString(), "<== FROM BMP");
    EXPECT_TRUE(form->lLShortPath->isHidden());
}

}  // namespace
}  // namespace corvane
