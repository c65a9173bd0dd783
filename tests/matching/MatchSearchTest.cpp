#include <algorithm>
#include <random>

#include "MatchFixture.h"
#include "tablestore/StoreTable.h"
#include "util/StrToInt.h"

namespace corvane::test {
namespace {

class IdentifyTest : public MatchFixture {};

TEST_F(IdentifyTest, TwoIdenticalPicturesGiveOneRowFromTheFirstInSignatureOrder) {
    AddRecord("/p/", "b.jpg", Uniform(100));
    AddRecord("/p/", "a.jpg", Uniform(100));
    matcher_.IdentifyButtonClick();
    // Equal texts follow the order in which their records were added.
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{0, "/p/b.jpg", "/p/a.jpg"}}));
    ASSERT_EQ(controls_.Messages.size(), 1u);
    EXPECT_EQ(controls_.Messages[0], "Identify completed: 2 records processed in 00:00:00");
    EXPECT_EQ(controls_.SignaturesLabel, "Signatures DB (2)");
    EXPECT_EQ(controls_.MatchesLabel, "Matches DB (1)");
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
}

TEST_F(IdentifyTest, EmptyTableReportsZeroRecords) {
    matcher_.IdentifyButtonClick();
    EXPECT_TRUE(Rows().empty());
    ASSERT_EQ(controls_.Messages.size(), 1u);
    EXPECT_EQ(controls_.Messages[0], "Identify completed: 0 records processed in 00:00:00");
}

TEST_F(IdentifyTest, BatchModeShowsNoMessageAndRunningTwiceGivesTheSameRows) {
    AddRecord("/p/", "a.jpg", Uniform(10));
    AddRecord("/q/", "b.jpg", Uniform(12));
    AddRecord("/q/", "c.jpg", Uniform(90));
    state_.BatchMode = true;
    matcher_.IdentifyButtonClick();
    const auto first = Rows();
    matcher_.IdentifyButtonClick();
    EXPECT_EQ(Rows(), first);
    EXPECT_EQ(first, (std::vector<TMatchRow>{{2, "/p/a.jpg", "/q/b.jpg"}}));
    EXPECT_TRUE(controls_.Messages.empty());
}

struct TIgnoreScenario {
    std::vector<std::string> ignore;
    size_t rows;
};

TEST_F(IdentifyTest, PairsAreFoundOnlyWithinTheSameIgnoreStatus) {
    AddRecord("/a/", "x.jpg", Uniform(50));
    AddRecord("/b/", "y.jpg", Uniform(50));
    const TIgnoreScenario scenarios[] = {
        {{}, 1}, {{"/a/"}, 0}, {{"/A/", "/b/"}, 1}, {{"/"}, 1}, {{"/a"}, 1}};
    for (const TIgnoreScenario& s : scenarios) {
        controls_.Ignore = s.ignore;
        matcher_.IdentifyButtonClick();
        EXPECT_EQ(Rows().size(), s.rows) << ::testing::PrintToString(s.ignore);
    }
}

struct TMarginScenario {
    std::string margin;
    int picture;
    int candidate;
    bool found;
};

TEST_F(IdentifyTest, RangeReachesFirstValuesUpToPictureValuePlusMargin) {
    const TMarginScenario scenarios[] = {
        {"3", 250, 253, true}, {"3", 250, 254, false}, {"5", 250, 255, true},
        {"0", 255, 255, true}, {" +2", 20, 22, true},  {"$A", 20, 30, true},
    };
    for (const TMarginScenario& s : scenarios) {
        matches_.MatchTable.EmptyTable();
        signatures_.SignaturesTable.EmptyTable();
        AddRecord("/p/", "a.jpg", Uniform(s.picture));
        AddRecord("/p/", "b.jpg", Uniform(s.candidate));
        controls_.Margin = s.margin;
        matcher_.IdentifyButtonClick();
        EXPECT_EQ(Rows().size(), s.found ? 1u : 0u) << s.margin << " " << s.candidate;
    }
}

TEST_F(IdentifyTest, BadMarginRaisesBeforeTheMatchTableIsTouched) {
    AddRecord("/p/", "a.jpg", Uniform(1));
    AddRecord("/p/", "b.jpg", Uniform(1));
    matcher_.IdentifyButtonClick();
    for (const std::string margin : {"abc", "25 ", ""}) {
        controls_.Margin = margin;
        try {
            matcher_.IdentifyButtonClick();
            ADD_FAILURE() << "no error for '" << margin << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), "'" + margin + "' is not a valid integer value");
        }
        EXPECT_EQ(Rows().size(), 1u);
        EXPECT_FALSE(controls_.ProgressVisibleValue);
        EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
    }
}

TEST_F(IdentifyTest, SummedModeAddsTheChannelDifferencesOfABlock) {
    TSignature a, b;
    a.Values.fill(100);
    b.Values.fill(100);
    b.At(1, 1, 1) = 102;
    b.At(1, 1, 2) = 102;
    b.At(1, 1, 3) = 102;
    AddRecord("/p/", "a.jpg", SignatureToString(a));
    AddRecord("/p/", "b.jpg", SignatureToString(b));
    controls_.Colors = false;
    controls_.Margin = "5";
    matcher_.IdentifyButtonClick();
    EXPECT_TRUE(Rows().empty());
    controls_.Margin = "6";
    matcher_.IdentifyButtonClick();
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{6, "/p/a.jpg", "/p/b.jpg"}}));
    controls_.Colors = true;
    controls_.Margin = "2";
    matcher_.IdentifyButtonClick();
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{2, "/p/a.jpg", "/p/b.jpg"}}));
}

TEST_F(IdentifyTest, ProgressMaximumIsBoundedForLargeTables) {
    // n x n div 2 of a large count must not wrap; a small table keeps the exact value.
    AddRecord("/p/", "a.jpg", Uniform(1));
    AddRecord("/p/", "b.jpg", Uniform(200));
    AddRecord("/p/", "c.jpg", Uniform(201));
    matcher_.IdentifyButtonClick();
    EXPECT_EQ(controls_.ProgressMinValue, 1);
    EXPECT_EQ(controls_.ProgressMaxValue, 4);
    // a: visits a, b (stops); b: b, c, end; c: c, end.
    EXPECT_EQ(controls_.ProgressPositionValue, 2 + 2 + 1);
}

TEST_F(IdentifyTest, UnparsableSignaturesAreSkippedAndCountedInTheSummary) {
    // Damaged texts as picture and as candidate, before and after the others.
    AddRecord("/p/", "a.jpg", Uniform(5));
    AddRecord("/p/", "b.jpg", "   5   x");
    AddRecord("/p/", "c.jpg", Uniform(6));
    AddRecord("/p/", "d.jpg", "");
    matcher_.IdentifyButtonClick();
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{1, "/p/a.jpg", "/p/c.jpg"}}));
    EXPECT_EQ(matcher_.SkippedDamaged(), 2);
    EXPECT_NE(controls_.Messages.back().find("; 2 records skipped, signature unreadable"),
              std::string::npos);
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
    EXPECT_FALSE(controls_.ProgressVisibleValue);
    // Match single over the same table passes the damaged candidates by.
    SelectRecord("/p/", "a.jpg");
    matcher_.MatchSingleButtonClick();
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{1, "/p/a.jpg", "/p/c.jpg"}}));
}

class CompareOneImageTest : public MatchFixture {};

TEST_F(CompareOneImageTest, KeepsOrderAndCurrentRecordAndLeavesProgressAlone) {
    AddRecord("/p/", "c.jpg", Uniform(7));
    AddRecord("/p/", "a.jpg", Uniform(9));
    AddRecord("/p/", "b.jpg", Uniform(8));
    std::vector<std::vector<TMatchRow>> rows;
    for (const bool fullScan : {false, true}) {
        matches_.MatchTable.EmptyTable();
        SelectRecord("/p/", "b.jpg");
        state_.FullScanMatch = fullScan;
        state_.MatchMargin = 1;
        controls_.ProgressPositionValue = 3;
        matcher_.CompareOneImage(false);
        EXPECT_EQ(signatures_.SignaturesTable.IndexName(), "");
        EXPECT_EQ(signatures_.SignaturesTableFileName.Value(), "b.jpg");
        EXPECT_EQ(controls_.ProgressPositionValue, 3);
        rows.push_back(Rows());
    }
    // Range scan from b (8): only a (9) lies ahead of it in signature order;
    // the full scan also finds c (7).
    EXPECT_EQ(rows[0], (std::vector<TMatchRow>{{1, "/p/b.jpg", "/p/a.jpg"}}));
    EXPECT_EQ(rows[1],
              (std::vector<TMatchRow>{{1, "/p/b.jpg", "/p/a.jpg"}, {1, "/p/b.jpg", "/p/c.jpg"}}));
}

TEST_F(CompareOneImageTest, DuplicateRowFailsWithTheStoreErrorAndLeavesTheTableUsable) {
    matcher_.AppendMatch(0, "/p/a.jpg", "/p/b.jpg");
    try {
        matcher_.AppendMatch(0, "/p/a.jpg", "/p/b.jpg");
        FAIL();
    } catch (const EStoreEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), 9729);
    }
    matches_.MatchTable.First();
    matches_.MatchTable.Next();
    EXPECT_EQ(Rows().size(), 1u);
}

class MatchSingleTest : public MatchFixture {};

TEST_F(MatchSingleTest, FindsTheDuplicatesOfTheSelectedPictureOnly) {
    AddRecord("/p/", "a.jpg", Uniform(40));
    AddRecord("/q/", "a2.jpg", Uniform(41));
    AddRecord("/q/", "a3.jpg", Uniform(39));
    AddRecord("/r/", "other.jpg", Uniform(200));
    AddRecord("/s/", "other2.jpg", Uniform(200));
    controls_.Margin = "2";
    matcher_.IdentifyButtonClick();
    SelectRecord("/q/", "a2.jpg");
    matcher_.MatchSingleButtonClick();
    EXPECT_EQ(Rows(), (std::vector<TMatchRow>{{1, "/q/a2.jpg", "/p/a.jpg"},
                                              {2, "/q/a2.jpg", "/q/a3.jpg"}}));
    EXPECT_TRUE(state_.FullScanMatch);
    EXPECT_EQ(signatures_.SignaturesTableFileName.Value(), "a2.jpg");
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
}

TEST_F(MatchSingleTest, EmptySignatureTableEndsWithConversionErrorAfterEmptying) {
    matcher_.AppendMatch(3, "/x", "/y");
    EXPECT_THROW(matcher_.MatchSingleButtonClick(), EConvertError);
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(controls_.CursorValue, TCursor::crDefault);
}

// Signatures like those of photographs: a brightness per picture, blocks
// varying around it, and some near-duplicates.
std::vector<std::string> RealisticSignatures(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> brightness(120, 45), block(0, 25), noise(0, 2);
    std::vector<TSignature> made;
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i) {
        TSignature signature;
        if (!made.empty() && random() % 5 == 0) {
            signature = made[random() % made.size()];
            for (int32_t& v : signature.Values)
                v = std::clamp(v + static_cast<int>(noise(random)), 0, 255);
        } else {
            const double base = brightness(random);
            for (int b = 0; b < 16; ++b) {
                const double level = base + block(random);
                for (int c = 0; c < 3; ++c) {
                    signature.Values[b * 3 + c] =
                        std::clamp(static_cast<int>(level + noise(random) * 4), 0, 255);
                }
            }
        }
        made.push_back(signature);
        texts.push_back(SignatureToString(signature));
    }
    return texts;
}

// Identify all searches over the signatures read once; its rows and progress
// must equal those of the table-driven search of every record.
TEST_F(IdentifyTest, RowsEqualThoseOfTheTableDrivenSearch) {
    const auto texts = RealisticSignatures(400, 7);
    for (size_t i = 0; i < texts.size(); ++i) {
        AddRecord(Format("/f%zu/", i % 7), Format("p%zu.jpg", i), texts[i]);
    }
    for (const auto& [margin, colors, ignore] :
         std::vector<std::tuple<std::string, bool, std::vector<std::string>>>{
             {"25", true, {}}, {"8", true, {"/f1/", "/F2/"}}, {"40", false, {"/f3/"}}}) {
        controls_.Margin = margin;
        controls_.Colors = colors;
        controls_.Ignore = ignore;
        matcher_.IdentifyButtonClick();
        const auto fast = Rows();
        const int32_t fastProgress = controls_.ProgressPositionValue;

        controls_.ProgressPositionValue = 0;
        SearchEveryRecordOnTheTable();
        EXPECT_EQ(Rows(), fast) << margin;
        EXPECT_EQ(controls_.ProgressPositionValue, fastProgress) << margin;
        EXPECT_FALSE(fast.empty());
    }
}

// Controls whose message processing changes the ignore list part-way, as a
// user editing it during the run would.
class TEditingControls : public TPlainFormControls {
  public:
    int ChangeAt = 0;
    std::vector<std::string> NewIgnore;
    void ProcessMessages() override {
        if (++ProcessMessagesCalls == ChangeAt) Ignore = NewIgnore;
    }
};

class IdentifyWhileIgnoreEditedTest : public MatchFixtureWith<TEditingControls> {};

TEST_F(IdentifyWhileIgnoreEditedTest, IgnoreListChangedWhileRunningGivesTheTableDrivenRows) {
    const auto texts = RealisticSignatures(120, 5);
    for (size_t i = 0; i < texts.size(); ++i)
        AddRecord(Format("/f%zu/", i % 3), Format("p%zu.jpg", i), texts[i]);
    controls_.ChangeAt = 40;
    controls_.NewIgnore = {"/f1/"};
    matcher_.IdentifyButtonClick();
    const auto fast = Rows();

    controls_.Ignore.clear();
    controls_.ProcessMessagesCalls = 0;
    SearchEveryRecordOnTheTable(true);
    EXPECT_EQ(Rows(), fast);
}

// Values outside 0..255 and bounds longer than 4 characters take the
// search's general path; the rows must still be those of the table.
TEST_F(IdentifyTest, OddValuesAndHugeMarginsGiveTheTableDrivenRows) {
    const auto texts = RealisticSignatures(24, 11);
    for (size_t i = 0; i < texts.size(); ++i) {
        TSignature signature = StringToSignature(texts[i]);
        if (i % 5 == 0) signature.Values[1] = 300;
        if (i % 7 == 0) signature.Values[0] = -3;
        AddRecord("/f/", Format("p%zu.jpg", i), SignatureToString(signature));
    }
    for (const std::string margin : {"1000", "2147483647", "-1", "9998"}) {
        controls_.Margin = margin;
        matcher_.IdentifyButtonClick();
        const auto fast = Rows();
        SearchEveryRecordOnTheTable();
        EXPECT_EQ(Rows(), fast) << margin;
    }
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

// Texts that parse to bytes but are not written as the program writes them
// (zero-padded fields) sort elsewhere and are compared as stored; mixed with
// ordinary ones, at ordinary and huge margins, in both comparison modes.
TEST_F(IdentifyTest, TextsNotInTheProgramsFormGiveTheTableDrivenRows) {
    const auto texts = RealisticSignatures(300, 13);
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string text = texts[i];
        if (i % 4 == 0) {
            const TSignature signature = StringToSignature(text);
            text.clear();
            for (const int32_t value : signature.Values) text += Format("%04d", value);
        }
        AddRecord(Format("/f%zu/", i % 3), Format("p%zu.jpg", i), text);
    }
    for (const auto& [margin, colors] : std::vector<std::pair<std::string, bool>>{
             {"25", true}, {"30", false}, {"20000", true}, {"0", false}}) {
        controls_.Margin = margin;
        controls_.Colors = colors;
        controls_.Ignore = {"/f2/"};
        matcher_.IdentifyButtonClick();
        const auto fast = Rows();
        const int32_t fastProgress = controls_.ProgressPositionValue;
        controls_.ProgressPositionValue = 0;
        SearchEveryRecordOnTheTable();
        EXPECT_EQ(Rows(), fast) << margin;
        EXPECT_EQ(controls_.ProgressPositionValue, fastProgress) << margin;
    }
}

// Controls whose comparison mode is switched part-way, as a user ticking the
// check box during the run would; the searches after it use the new mode.
class TSwitchingControls : public TPlainFormControls {
  public:
    int SwitchAt = 0;
    void ProcessMessages() override {
        if (++ProcessMessagesCalls == SwitchAt) Colors = !Colors;
    }
};

class IdentifyWhileModeSwitchedTest : public MatchFixtureWith<TSwitchingControls> {};

TEST_F(IdentifyWhileModeSwitchedTest, ComparisonModeSwitchedWhileRunningGivesTheTableDrivenRows) {
    const auto texts = RealisticSignatures(500, 17);
    for (size_t i = 0; i < texts.size(); ++i)
        AddRecord(Format("/f%zu/", i % 2), Format("p%zu.jpg", i), texts[i]);
    controls_.Margin = "30";
    controls_.Colors = true;
    controls_.SwitchAt = 250;
    matcher_.IdentifyButtonClick();
    const auto fast = Rows();

    controls_.Colors = true;
    controls_.ProcessMessagesCalls = 0;
    SearchEveryRecordOnTheTable(true);
    EXPECT_EQ(Rows(), fast);
    EXPECT_FALSE(fast.empty());
}

}  // namespace
}  // namespace corvane::test
