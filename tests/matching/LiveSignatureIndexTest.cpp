#include "matching/LiveSignatureIndex.h"

#include <functional>
#include <random>

#include "MatchFixture.h"
#include "matching/SignatureCompare.h"
#include "matching/SignatureGenerator.h"
#include "util/ArdoUtils.h"

namespace corvane::test {
namespace {

using TFound = std::vector<std::pair<int32_t, std::string>>;

class LiveSignatureIndexTest : public MatchFixture {
  protected:
    LiveSignatureIndexTest() { state_.MatchMargin = 25; }

    TStoreTable& Table() { return signatures_.SignaturesTable; }

    // Appends the record, or rewrites it when the name is taken, and tells
    // the index, as a compute run does.
    void Post(const std::string& path, const std::string& name, const std::string& text) {
        Table().BeginKey();
        signatures_.SignaturesTableFileName.SetValue(name);
        signatures_.SignaturesTableFilePath.SetValue(path);
        if (Table().SeekKey()) {
            Table().Edit();
        } else {
            Table().Append();
            signatures_.SignaturesTableFileName.SetValue(name);
            signatures_.SignaturesTableFilePath.SetValue(path);
        }
        signatures_.SignaturesTableFileDate.SetValue(2000.0);
        signatures_.SignaturesTableSignature.SetValue(text);
        Table().Post();
        index_.RecordPosted(signatures_);
    }

    // The range scan of the current record written the plain way over the
    // table: from the record on in BySignature order, rows in that order.
    TFound PlainRangeScan(int32_t margin, bool perChannel) {
        TCursorRestorer restorer(Table());
        const std::string path = signatures_.SignaturesTableFilePath.Value();
        const std::string name = path + signatures_.SignaturesTableFileName.Value();
        const TSignature picture = StringToSignature(signatures_.SignaturesTableSignature.Value());
        const TIgnoreList ignore(controls_.Ignore);
        const std::string bound = PadNumber(std::to_string(picture.Values[0] + margin + 1), 4);
        Table().SetIndexName("BySignature");
        TBookmark here = Table().TakeBookmark();
        Table().MoveToBookmark(here);
        TFound found;
        for (; !Table().AtEnd(); Table().Next()) {
            const std::string candidatePath = signatures_.SignaturesTableFilePath.Value();
            if (ignore.Contains(candidatePath) != ignore.Contains(path)) continue;
            const std::string text = signatures_.SignaturesTableSignature.Value();
            if (text > bound) break;
            const std::string candidate =
                candidatePath + signatures_.SignaturesTableFileName.Value();
            int32_t maxDiff = 0;
            if (SignaturesMatch(picture, StringToSignature(text), margin, perChannel, maxDiff) &&
                candidate != name)
                found.emplace_back(maxDiff, candidate);
        }
        return found;
    }

    TFound IndexRangeScan(int32_t margin, bool perChannel) {
        std::vector<TLiveSignatureIndex::TMatch> matches;
        const auto picture = index_.RangeMatches(Table(), margin, perChannel, matches);
        EXPECT_EQ(picture, signatures_.SignaturesTableFilePath.Value() +
                               signatures_.SignaturesTableFileName.Value());
        TFound found;
        for (const auto& match : matches) found.emplace_back(match.MaxDiff, match.FullName);
        return found;
    }

    // The match rows CompareRunRecord and CompareOneImage write for the
    // current record.
    std::pair<std::vector<TMatchRow>, std::vector<TMatchRow>> RunRowsAndTableRows() {
        state_.FullScanMatch = false;
        matches_.MatchTable.EmptyTable();
        matcher_.CompareRunRecord(index_);
        const std::vector<TMatchRow> run = Rows();
        matches_.MatchTable.EmptyTable();
        matcher_.CompareOneImage(false);
        return {run, Rows()};
    }

    TLiveSignatureIndex index_;
};

std::string Text(const TSignature& signature) {
    return SignatureToString(signature);
}

#ifdef CORVANE_SANITIZED
constexpr size_t kCompareEvery = 15;  // the sanitizers are slow: compare after fewer steps
#else
constexpr size_t kCompareEvery = 3;
#endif

TEST_F(LiveSignatureIndexTest, SameRowsInTheSameOrderAsTheTableScanThroughARunOfPosts) {
    controls_.Ignore = {"/ignored/"};
    const std::vector<TSignature> generated = GenerateSignatures(2600, 11);
    std::vector<std::pair<std::string, std::string>> records;  // path, name
    std::vector<std::string> texts;
    std::mt19937 random(5);
    const auto folder = [&](size_t i) {
        return i % 7 == 0 ? std::string("/ignored/") : "/p/" + std::to_string(i % 3) + "/";
    };
    // Exact duplicates (equal texts, ordered by identity) are common.
    const auto textFor = [&](size_t i) {
        return random() % 4 == 0 && !texts.empty() ? texts[random() % texts.size()]
                                                   : Text(generated[i]);
    };
    for (size_t i = 0; i < 1200; ++i) {
        records.emplace_back(folder(i), "base" + std::to_string(i) + ".jpg");
        texts.push_back(textFor(i));
        AddRecord(records.back().first, records.back().second, texts.back());
    }
    index_.Load(signatures_, controls_.Ignore);
    ASSERT_TRUE(index_.InStep(Table(), controls_.Ignore));

    // More posts than the index keeps outside its tree, so that it rebuilds.
    size_t rowsSeen = 0;
    for (size_t step = 0; step < 1400; ++step) {
        const size_t choice = random() % 10;
        size_t record = random() % records.size();
        if (choice < 5) {  // a new picture
            record = records.size();
            records.emplace_back(folder(step), "new" + std::to_string(step) + ".jpg");
            texts.push_back(textFor(1200 + step));
        } else if (choice < 8) {  // a changed picture
            texts[record] = textFor(1200 + step);
        }  // else the same signature again (a file touched but not changed)
        Post(records[record].first, records[record].second, texts[record]);
        ASSERT_TRUE(index_.InStep(Table(), controls_.Ignore)) << step;
        if (step % kCompareEvery != 0) continue;
        for (const auto& [margin, perChannel] :
             {std::pair{0, true}, {5, true}, {25, true}, {25, false}, {60, false}}) {
            const TFound expected = PlainRangeScan(margin, perChannel);
            ASSERT_EQ(IndexRangeScan(margin, perChannel), expected)
                << "step " << step << " margin " << margin << " perChannel " << perChannel;
            rowsSeen += expected.size();
        }
    }
    EXPECT_GT(rowsSeen, 900u / kCompareEvery);  // the data really has matches
}

TEST_F(LiveSignatureIndexTest, ChangesItWasNotToldOfPutItOutOfStepAndTheTableAnswers) {
    const std::function<void()> untoldChanges[] = {
        [&] { AddRecord("/q/", "untold.jpg", Uniform(101)); },
        [&] {
            SelectRecord("/p/", "r3.jpg");
            Table().Delete();
        },
        [&] {
            Table().Close();
            Table().Open();
        },
        [&] { controls_.Ignore = {"/p/"}; },
    };
    for (const auto& change : untoldChanges) {
        Table().EmptyTable();
        controls_.Ignore.clear();
        for (int i = 0; i < 8; ++i)
            AddRecord("/p/", "r" + std::to_string(i) + ".jpg", Uniform(100 + i));
        index_.Load(signatures_, controls_.Ignore);
        change();
        EXPECT_FALSE(index_.InStep(Table(), controls_.Ignore));
        Post("/p/", "told.jpg", Uniform(100));  // a later post does not bring it back
        EXPECT_FALSE(index_.InStep(Table(), controls_.Ignore));
        const auto [run, table] = RunRowsAndTableRows();
        EXPECT_EQ(run, table);
        EXPECT_FALSE(table.empty());
    }
}

TEST_F(LiveSignatureIndexTest, TextsNotInTheWrittenFormKeepTheSearchOnTheTable) {
    TSignature zeroPadded;
    zeroPadded.Values.fill(7);
    std::string padded = Text(zeroPadded);
    padded[2] = '0';  // "  07" parses, but sorts apart from the written form
    TSignature tooLarge = zeroPadded;
    tooLarge.Values[0] = 300;
    for (const std::string& odd : {padded, Text(tooLarge)}) {
        Table().EmptyTable();
        AddRecord("/p/", "odd.jpg", odd);
        AddRecord("/p/", "a.jpg", Uniform(7));
        index_.Load(signatures_, controls_.Ignore);
        EXPECT_FALSE(index_.InStep(Table(), controls_.Ignore));
        Post("/p/", "b.jpg", Uniform(5));
        EXPECT_FALSE(index_.InStep(Table(), controls_.Ignore));
        const auto [run, table] = RunRowsAndTableRows();
        EXPECT_EQ(run, table);
    }
}

TEST_F(LiveSignatureIndexTest, LoadedOnceTableScansHaveCostAsMuchAndThenGivesTheSameRows) {
    const std::vector<TSignature> generated = GenerateSignatures(400, 3);
    for (size_t i = 0; i < 300; ++i)
        AddRecord("/p/", "a" + std::to_string(i) + ".jpg", Text(generated[i]));
    size_t loadedAt = 0, rows = 0;
    for (size_t i = 300; i < 400; ++i) {
        Post("/p/", "b" + std::to_string(i) + ".jpg",
             Text(generated[i % 7 == 0 ? i - 300 : i]));  // some exact copies
        if (loadedAt == 0 && index_.InStep(Table(), controls_.Ignore)) loadedAt = i;
        const auto [run, table] = RunRowsAndTableRows();
        ASSERT_EQ(run, table) << i;
        rows += table.size();
    }
    EXPECT_GT(loadedAt, 300u);
    EXPECT_GT(rows, 20u);
}

}  // namespace
}  // namespace corvane::test
