// "Not a duplicate" marks: the marks file, and marks on real pictures that
// survive identify and a restart and fall away when a file changes.
#include <gtest/gtest.h>

#include <memory>

#include "../scan/TestPictures.h"
#include "review/GroupReview.h"
#include "scan/Engine.h"
#include "util/Exception.h"

namespace corvane::test {
namespace {

std::string Uniform(int value) {
    TSignature signature;
    signature.Values.fill(value);
    return SignatureToString(signature);
}

TEST(NotDuplicateMarksTest, MarksAreSavedAndReadBackWithForeignLinesKept) {
    TTempFolder folder;
    TNotDuplicateMarks marks;
    marks.Load(folder.Path());  // no file yet: no marks
    EXPECT_TRUE(marks.Marks().empty());
    WriteBytes(folder.Path() + kNotDuplicatesFileName, "# a note\r\nnot a mark\n");
    marks.Load(folder.Path());
    marks.Mark("/p/z.jpg", Uniform(1), "/p/a.jpg", Uniform(2));  // stored in name order
    marks.Mark("/p/b.jpg", Uniform(3), "/p/c.jpg", Uniform(4));
    marks.Mark("/p/a.jpg", Uniform(5), "/p/z.jpg", Uniform(6));  // renews the first
    marks.Save(folder.Path());

    TNotDuplicateMarks again;
    again.Load(folder.Path());
    ASSERT_EQ(again.Marks().size(), 2u);
    EXPECT_EQ(again.Marks()[0].File1, "/p/b.jpg");
    EXPECT_EQ(again.Marks()[1].File1, "/p/a.jpg");
    EXPECT_EQ(again.Marks()[1].Signature1, Uniform(5));
    EXPECT_EQ(again.Marks()[1].File2, "/p/z.jpg");
    EXPECT_EQ(again.Marks()[1].Signature2, Uniform(6));
    EXPECT_TRUE(again.Unmark("/p/z.jpg", "/p/a.jpg"));
    EXPECT_FALSE(again.Unmark("/p/z.jpg", "/p/a.jpg"));
    again.Save(folder.Path());
    const std::string text = ReadBytes(folder.Path() + kNotDuplicatesFileName);
    EXPECT_EQ(text.find("# a note\nnot a mark\n"), 0u);
    EXPECT_EQ(text.find("/p/z.jpg"), std::string::npos);
}

TEST(NotDuplicateMarksTest, NamesTheFileCannotHoldAndFailedWritesAreRefused) {
    TTempFolder folder;
    TNotDuplicateMarks marks;
    EXPECT_THROW(marks.Mark("/p/a\tb.jpg", Uniform(1), "/p/c.jpg", Uniform(1)), Exception);
    EXPECT_THROW(marks.Mark("/p/a.jpg", Uniform(1), "/p/c\n.jpg", Uniform(1)), Exception);
    EXPECT_THROW(marks.Mark("/p/a.jpg", Uniform(1), "/p/a.jpg", Uniform(1)), Exception);
    EXPECT_TRUE(marks.Marks().empty());
    marks.Mark("/p/a.jpg", Uniform(1), "/p/c.jpg", Uniform(1));
    try {
        marks.Save(folder.Path() + "missing/");
        ADD_FAILURE();
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message().find("Unable to write to"), 0u);
    }
}

TEST(NotDuplicateMarksTest, AMarkHoldsOnlyWhileBothSignaturesAreTheMarkedOnes) {
    TMatchGraph graph;
    graph.AddRow("/a.jpg", "/b.jpg", 0);
    graph.AddRow("/a.jpg", "/c.jpg", 0);
    graph.SetSignature("/a.jpg", Uniform(10));
    graph.SetSignature("/b.jpg", Uniform(10));
    graph.SetSignature("/c.jpg", Uniform(10));
    TNotDuplicateMarks marks;
    marks.Mark("/a.jpg", Uniform(10), "/b.jpg", Uniform(10));
    marks.Mark("/a.jpg", Uniform(10), "/c.jpg", Uniform(11));
    marks.Mark("/a.jpg", Uniform(10), "/elsewhere.jpg", Uniform(10));
    EXPECT_EQ(StateOf(marks.Marks()[0], graph), TMarkState::Holds);
    EXPECT_EQ(StateOf(marks.Marks()[1], graph), TMarkState::Changed);
    EXPECT_EQ(StateOf(marks.Marks()[2], graph), TMarkState::Unknown);
    const TSeparation separation(graph, marks);
    EXPECT_TRUE(separation(0, 1));
    EXPECT_TRUE(separation(1, 0));
    EXPECT_FALSE(separation(0, 2));
    EXPECT_EQ(marks.DropChanged(graph), 1u);
    EXPECT_EQ(marks.Marks().size(), 2u);
}

// An engine on a program folder that can be shut and started again.
class MarkedPicturesTest : public ::testing::Test {
  protected:
    MarkedPicturesTest() {
        program_ = data_.Make("program");
        pictures_ = data_.Make("pictures");
        const TPattern pattern = MakePattern(5, 64, 48);
        WriteJpeg(pictures_ + "a.jpg", pattern, 95);
        WriteJpeg(pictures_ + "b.jpg", pattern, 80);
        WriteJpeg(pictures_ + "c.jpg", pattern, 70);
        Start();
        ComputeAndIdentify();
    }

    void Start() {
        engine_.reset();
        engine_ = std::make_unique<TCorvaneEngine>(controls_);
        engine_->StartUp(program_);
        controls_.Search = pictures_;
        controls_.Margin = "25";
    }

    void ComputeAndIdentify() {
        engine_->ComputeButtonClick();
        engine_->Matcher.IdentifyButtonClick();
    }

    TGroupReview Review() {
        TGroupReview review;
        review.Load(engine_->Matches, engine_->Signatures, engine_->State.ProgramFolder);
        review.Regroup(25, true);
        return review;
    }

    // The group of each picture by its name part; -1 outside every group.
    static std::map<std::string, int> GroupOf(const TGroupReview& review) {
        std::map<std::string, int> result = {{"a.jpg", -1}, {"b.jpg", -1}, {"c.jpg", -1}};
        for (size_t g = 0; g < review.Groups().Count(); ++g)
            for (const TGroupMember& member : review.Groups().Group(g))
                result[ExtractFileName(std::string(review.Name(member.Picture)))] =
                    static_cast<int>(g);
        return result;
    }

    static bool Together(const std::map<std::string, int>& groups, const char* x, const char* y) {
        return groups.at(x) >= 0 && groups.at(x) == groups.at(y);
    }

    TPictureId Id(const TGroupReview& review, const std::string& name) {
        return *review.Graph().Names().Find(pictures_ + name);
    }

    TTempFolder data_;
    std::string program_;
    std::string pictures_;
    TPlainFormControls controls_;
    std::unique_ptr<TCorvaneEngine> engine_;
};

TEST_F(MarkedPicturesTest, MarksSurviveIdentifyAndARestartAndFallAwayWhenAFileChanges) {
    TGroupReview review = Review();
    ASSERT_EQ(review.Groups().Count(), 1u);
    ASSERT_EQ(review.Groups().Group(0).size(), 3u);
    const size_t rows = static_cast<size_t>(engine_->Matches.MatchTable.RecordCount());

    review.MarkNotDuplicate(Id(review, "a.jpg"), Id(review, "b.jpg"));
    EXPECT_FALSE(Together(GroupOf(review), "a.jpg", "b.jpg"));
    EXPECT_EQ(engine_->Matches.MatchTable.RecordCount(), static_cast<int32_t>(rows));

    engine_->Matcher.IdentifyButtonClick();
    EXPECT_FALSE(Together(GroupOf(Review()), "a.jpg", "b.jpg")) << "after identify";
    Start();
    EXPECT_FALSE(Together(GroupOf(Review()), "a.jpg", "b.jpg")) << "after a restart";
    EXPECT_TRUE(Together(GroupOf(Review()), "a.jpg", "c.jpg") ||
                Together(GroupOf(Review()), "b.jpg", "c.jpg"));

    // b changes a little: it still matches a, and the mark no longer holds.
    TPattern brighter = MakePattern(5, 64, 48);
    for (uint8_t& v : brighter.Bgr) v = static_cast<uint8_t>(std::min(255, v + 6));
    WriteJpeg(pictures_ + "b.jpg", brighter, 80);
    SetMTime(pictures_ + "b.jpg", 2000000000);
    ComputeAndIdentify();
    TGroupReview changed = Review();
    EXPECT_TRUE(Together(GroupOf(changed), "a.jpg", "b.jpg"));
    EXPECT_EQ(changed.Groups().Group(0).size(), 3u);
}

TEST_F(MarkedPicturesTest, AWholeGroupMarkedFallsApart) {
    TGroupReview review = Review();
    ASSERT_EQ(review.Groups().Count(), 1u);
    review.MarkGroupNotDuplicate(0);
    EXPECT_EQ(review.Groups().Count(), 0u);
    Start();
    EXPECT_EQ(Review().Groups().Count(), 0u);
}

}  // namespace
}  // namespace corvane::test
