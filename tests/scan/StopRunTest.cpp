// Stopping the long runs through the controls: each ends between two
// pictures or records, keeps what it posted, and marks its summary.
#include <algorithm>

#include "EngineFixture.h"

namespace corvane::test {
namespace {

// Asks to stop once the run has reached its StopAt-th item.
class TStoppingControls : public TPlainFormControls {
  public:
    int64_t StopAt = 0;
    int64_t ItemsSeen = 0;
    void ShowRunItem(const std::string&, int64_t, int64_t) override {
        if (++ItemsSeen >= StopAt) Stop = true;
    }
};

class StopRunTest : public ::testing::TestWithParam<int> {
  protected:
    StopRunTest() {
        engine_.StartUp(data_.Make("program"));
        engine_.Workers = GetParam();
        controls_.Search = data_.Make("pictures");
        for (uint32_t i = 0; i < 9; ++i)
            WriteJpeg(controls_.Search + "p" + std::to_string(i) + ".jpg", MakePattern(i % 3));
    }
    int32_t Records() { return engine_.Signatures.SignaturesTable.RecordCount(); }
    std::string LastMessage() const { return controls_.Messages.back(); }

    TTempFolder data_;
    TStoppingControls controls_;
    TCorvaneEngine engine_{controls_};
};

TEST_P(StopRunTest, StoppedComputeKeepsItsRecordsAndTheNextRunCompletesTheRest) {
    controls_.StopAt = 4;
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records(), 4);
    EXPECT_EQ(LastMessage().substr(0, 33), "4 records added; 0 records edited");
    EXPECT_EQ(LastMessage().substr(LastMessage().size() - 10), " (stopped)");
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
    EXPECT_EQ(controls_.SignaturesLabel, "Signatures DB (4)");

    controls_.Stop = false;
    controls_.StopAt = 1000;
    engine_.ComputeButtonClick();
    EXPECT_EQ(Records(), 9);
    EXPECT_EQ(LastMessage().substr(0, 33), "5 records added; 0 records edited");
    EXPECT_EQ(LastMessage().find("stopped"), std::string::npos);
}

TEST_P(StopRunTest, StoppedIdentifyCountsTheRecordsItSearched) {
    controls_.StopAt = 1000;
    engine_.ComputeButtonClick();
    controls_.ItemsSeen = 0;
    controls_.StopAt = 3;
    engine_.Matcher.IdentifyButtonClick();
    EXPECT_EQ(LastMessage().substr(0, 46), "Identify completed: 2 records processed in 00:");
    EXPECT_EQ(LastMessage().substr(LastMessage().size() - 10), " (stopped)");
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    EXPECT_EQ(controls_.MatchesLabel,
              "Matches DB (" + std::to_string(engine_.Matches.MatchTable.RecordCount()) + ")");
}

TEST_P(StopRunTest, StoppedConversionLeavesTheRestAndTheBatchGoesNoFurther) {
    for (int i = 0; i < 3; ++i)
        WriteBmp(controls_.Search + "b" + std::to_string(i) + ".bmp", MakePattern(7));
    controls_.UseTrash = false;  // converted bitmaps are removed for good here
    controls_.StopAt = 2;
    engine_.BatchRun();
    int bitmaps = 0;
    for (const auto& entry : std::filesystem::directory_iterator(controls_.Search))
        bitmaps += entry.path().extension() == ".bmp";
    EXPECT_EQ(bitmaps, 1);  // two converted, the third left as it was
    EXPECT_EQ(Records(), 0);
    EXPECT_FALSE(engine_.State.BatchMode);
}

INSTANTIATE_TEST_SUITE_P(Workers, StopRunTest, ::testing::Values(1, 2));

}  // namespace
}  // namespace corvane::test
