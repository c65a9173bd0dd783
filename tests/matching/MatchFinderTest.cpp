#include "matching/MatchFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

#include "matching/SignatureCompare.h"
#include "matching/SignatureGenerator.h"
#include "util/ArdoUtils.h"

namespace corvane {
namespace {

// A collection in the table's BySignature order, as the range scan sees it.
struct Collection {
    std::vector<TSignature> signatures;
    std::vector<TMatchFinder::TValues> values;
    std::vector<std::string> texts;
    std::vector<bool> ignored;
};

Collection MakeCollection(size_t count, uint32_t seed, int ignoredPercent) {
    std::vector<TSignature> generated = GenerateSignatures(count, seed);
    std::vector<std::pair<std::string, TSignature>> sorted;
    for (const TSignature& s : generated) sorted.emplace_back(SignatureToString(s), s);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Collection c;
    std::mt19937 random(seed + 1);
    for (auto& [text, s] : sorted) {
        c.texts.push_back(text);
        c.signatures.push_back(s);
        c.values.emplace_back();
        EXPECT_TRUE(ToByteValues(s, c.values.back()));
        c.ignored.push_back(static_cast<int>(random() % 100) < ignoredPercent);
    }
    return c;
}

// The range scan written the plain way: from the picture's own record
// onwards, stopping at the first same-status record beyond the bound text.
std::vector<TFoundMatch> PlainRangeScan(const Collection& c, uint32_t p, int32_t margin,
                                        bool perChannel) {
    std::vector<TFoundMatch> rows;
    const std::string bound = PadNumber(std::to_string(c.signatures[p].Values[0] + margin + 1), 4);
    for (uint32_t q = p; q < c.texts.size(); ++q) {
        if (c.ignored[q] != c.ignored[p]) continue;
        const TSignature candidate = StringToSignature(c.texts[q]);
        if (c.texts[q] > bound) break;
        int32_t maxDiff = 0;
        if (!SignaturesMatch(c.signatures[p], candidate, margin, perChannel, maxDiff)) continue;
        if (q == p) continue;
        rows.push_back({q, maxDiff});
    }
    return rows;
}

std::vector<TFoundMatch> PlainFullScan(const Collection& c, uint32_t p, int32_t margin,
                                       bool perChannel) {
    std::vector<TFoundMatch> rows;
    for (uint32_t q = 0; q < c.texts.size(); ++q) {
        int32_t maxDiff = 0;
        if (q != p && c.ignored[q] == c.ignored[p] &&
            SignaturesMatch(c.signatures[p], c.signatures[q], margin, perChannel, maxDiff))
            rows.push_back({q, maxDiff});
    }
    return rows;
}

std::string Describe(const std::vector<TFoundMatch>& rows) {
    std::string text;
    for (const auto& r : rows)
        text += std::to_string(r.Position) + ":" + std::to_string(r.MaxDiff) + " ";
    return text;
}

#ifdef CORVANE_SANITIZED
constexpr uint32_t kPositionStride = 5;  // every fifth position: the sanitizers are slow
#else
constexpr uint32_t kPositionStride = 1;
#endif

TEST(MatchFinder, SameRowsAsThePlainScans) {
    const struct {
        size_t count;
        int ignoredPercent;
    } collections[] = {{3000, 0}, {2500, 30}};
    for (const auto& setup : collections) {
        const Collection c =
            MakeCollection(setup.count, static_cast<uint32_t>(setup.count), setup.ignoredPercent);
        const TMatchFinder finder(c.values, c.ignored);
        size_t rowsSeen = 0;
        for (int32_t margin : {-1, 0, 5, 25, 50, 300}) {
            for (bool perChannel : {true, false}) {
                std::vector<TFoundMatch> found;
                for (uint32_t p = 0; p < c.texts.size();
                     p += (margin >= 50 ? 7 : 1) * kPositionStride) {
                    finder.RangeMatches(p, margin, perChannel, found);
                    ASSERT_EQ(Describe(found), Describe(PlainRangeScan(c, p, margin, perChannel)))
                        << "position " << p << " margin " << margin << " perChannel " << perChannel;
                    rowsSeen += found.size();
                    if (p % 13 == 0) {
                        finder.AllMatches(p, margin, perChannel, found);
                        ASSERT_EQ(Describe(found),
                                  Describe(PlainFullScan(c, p, margin, perChannel)));
                    }
                }
            }
        }
        EXPECT_GT(rowsSeen, 1000u);  // the data really has matches
    }
}

TEST(MatchFinder, DuplicatesAndEdgeValues) {
    TMatchFinder::TValues black{}, white{}, almostWhite{};
    white.fill(255);
    almostWhite.fill(255);
    almostWhite[47] = 210;
    const TMatchFinder finder({black, black, almostWhite, white, white},
                              {false, false, false, true, true});
    std::vector<TFoundMatch> found;
    finder.RangeMatches(0, 0, true, found);
    EXPECT_EQ(Describe(found), "1:0 ");
    finder.RangeMatches(1, 0, true, found);
    EXPECT_EQ(Describe(found), "");
    finder.RangeMatches(3, 0, true, found);
    EXPECT_EQ(Describe(found), "4:0 ");
    finder.RangeMatches(2, 45, true, found);  // the white ones are ignored, this one is not
    EXPECT_EQ(Describe(found), "");
    finder.AllMatches(4, 255, false, found);
    EXPECT_EQ(Describe(found), "3:0 ");
    TSignature odd;
    odd.Values[7] = 300;
    TMatchFinder::TValues bytes;
    EXPECT_FALSE(ToByteValues(odd, bytes));
}

}  // namespace
}  // namespace corvane
