// Grouping: hand-made cases of the reference choice, and generated match
// tables checked for the grouping's properties and against a plain
// re-implementation of the rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "../scan/TestPictures.h"
#include "matching/SignatureCompare.h"
#include "review/GroupReview.h"
#include "review/Groups.h"
#include "review/MatchGraph.h"

namespace corvane::test {
namespace {

using TPair = std::pair<TPictureId, TPictureId>;
using TExpectedGroups = std::vector<std::vector<TGroupMember>>;

TPair Ordered(TPictureId a, TPictureId b) {
    return a < b ? TPair{a, b} : TPair{b, a};
}

std::vector<std::vector<TGroupMember>> AsVectors(const TGroups& groups) {
    std::vector<std::vector<TGroupMember>> result;
    for (size_t g = 0; g < groups.Count(); ++g)
        result.emplace_back(groups.Group(g).begin(), groups.Group(g).end());
    return result;
}

TGroups Group(size_t count, const std::vector<TMatchEdge>& edges, const std::set<TPair>& apart) {
    if (apart.empty()) return FormGroups(count, edges);
    return FormGroups(count, edges,
                      [&](TPictureId a, TPictureId b) { return apart.count(Ordered(a, b)) != 0; });
}

// The rule restated plainly: count, pick, take, repeat.
TExpectedGroups ReferenceGrouping(size_t count, const std::vector<TMatchEdge>& edges,
                                  const std::set<TPair>& apart) {
    std::map<TPair, int32_t> closest;
    for (const TMatchEdge& e : edges) {
        if (e.A == e.B || apart.count(Ordered(e.A, e.B))) continue;
        auto [it, added] = closest.emplace(Ordered(e.A, e.B), e.MaxDiff);
        if (!added) it->second = std::min(it->second, e.MaxDiff);
    }
    std::vector<bool> grouped(count, false);
    TExpectedGroups groups;
    while (true) {
        std::vector<std::vector<TGroupMember>> open(count);
        for (const auto& [pair, diff] : closest) {
            if (grouped[pair.first] || grouped[pair.second]) continue;
            open[pair.first].push_back({pair.second, diff});
            open[pair.second].push_back({pair.first, diff});
        }
        size_t best = count;
        for (size_t v = 0; v < count; ++v)
            if (!open[v].empty() && (best == count || open[v].size() > open[best].size())) best = v;
        if (best == count) return groups;
        std::sort(open[best].begin(), open[best].end(), [](auto& x, auto& y) {
            return std::pair(x.MaxDiff, x.Picture) < std::pair(y.MaxDiff, y.Picture);
        });
        std::vector<TGroupMember> group = {{static_cast<TPictureId>(best), 0}};
        for (const TGroupMember& candidate : open[best]) {
            const bool separated = std::any_of(group.begin(), group.end(), [&](auto& member) {
                return apart.count(Ordered(member.Picture, candidate.Picture)) != 0;
            });
            if (!separated) group.push_back(candidate);
        }
        for (const TGroupMember& member : group) grouped[member.Picture] = true;
        groups.push_back(group);
    }
}

struct TGroupCase {
    const char* Name;
    size_t Count;
    std::vector<TMatchEdge> Edges;
    std::set<TPair> Apart;
    TExpectedGroups Expected;
};

TEST(GroupsTest, ReferenceIsThePictureWithMostMatchesAndMembersNeverChain) {
    const std::vector<TGroupCase> cases = {
        {"star: the centre leads, members closest first",
         4,
         {{0, 1, 5}, {0, 2, 3}, {0, 3, 7}, {1, 2, 2}},
         {},
         {{{0, 0}, {2, 3}, {1, 5}, {3, 7}}}},
        {"chain: the middle leads, the far end is left alone",
         4,
         {{0, 1, 4}, {1, 2, 2}, {2, 3, 1}},
         {},
         {{{1, 0}, {2, 2}, {0, 4}}}},
        {"no chains: a neighbour of a member stays out unless it matches the reference",
         6,
         {{0, 1, 1}, {1, 2, 1}, {2, 3, 1}, {3, 4, 1}, {3, 5, 1}},
         {},
         {{{3, 0}, {2, 1}, {4, 1}, {5, 1}}, {{0, 0}, {1, 1}}}},
        {"equal counts: the smaller id leads",
         3,
         {{2, 1, 0}, {1, 0, 0}, {0, 2, 0}},
         {},
         {{{0, 0}, {1, 0}, {2, 0}}}},
        {"repeated rows count once with their smallest MaxDiff; a self row is ignored",
         2,
         {{0, 1, 9}, {1, 0, 4}, {0, 0, 0}},
         {},
         {{{0, 0}, {1, 4}}}},
        {"a separated pair is no edge", 2, {{0, 1, 0}}, {{0, 1}}, {}},
        {"separated members: the later one stays out and may lead its own group",
         5,
         {{0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {2, 4, 1}},
         {{1, 2}},
         {{{0, 0}, {1, 1}, {3, 3}}, {{2, 0}, {4, 1}}}},
    };
    for (const TGroupCase& c : cases) {
        EXPECT_EQ(AsVectors(Group(c.Count, c.Edges, c.Apart)), c.Expected) << c.Name;
        EXPECT_EQ(ReferenceGrouping(c.Count, c.Edges, c.Apart), c.Expected) << c.Name;
    }
}

TEST(GroupsTest, IdBeyondTheCountIsRefused) {
    EXPECT_THROW(FormGroups(2, std::vector<TMatchEdge>{{0, 2, 0}}), std::out_of_range);
}

// Clusters of near copies with noise, all pairs within the identify margin
// as rows (either order), a few rows repeated.
struct TGeneratedTable {
    TMatchGraph Graph;
    std::vector<TSignature> Signatures;
};

std::string NameOf(size_t i) {
    return "/pictures/" + std::to_string(i % 7) + "/p" + std::to_string(i) + ".jpg";
}

TGeneratedTable GenerateTable(uint32_t seed, size_t count, int32_t identifyMargin) {
    std::mt19937 random(seed);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    TGeneratedTable table;
    while (table.Signatures.size() < count) {
        TSignature base;
        for (int32_t& v : base.Values) v = uniform(0, 255);
        const int copies = uniform(0, 6);
        for (int c = 0; c <= copies && table.Signatures.size() < count; ++c) {
            TSignature copy = base;
            const int noise = uniform(0, 20);
            for (int32_t& v : copy.Values) v = std::clamp(v + uniform(-noise, noise), 0, 255);
            table.Signatures.push_back(copy);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = i + 1; j < count; ++j) {
            int32_t diff = 0;
            if (!SignaturesMatch(table.Signatures[i], table.Signatures[j], identifyMargin, true,
                                 diff))
                continue;
            const bool swap = uniform(0, 1) == 1;
            table.Graph.AddRow(NameOf(swap ? j : i), NameOf(swap ? i : j), diff);
            if (uniform(0, 20) == 0) table.Graph.AddRow(NameOf(i), NameOf(j), diff);
        }
    }
    for (size_t i = 0; i < count; ++i)
        table.Graph.SetSignature(NameOf(i), SignatureToString(table.Signatures[i]));
    return table;
}

TEST(GroupsTest, GeneratedTablesKeepEveryPropertyAndAgreeWithThePlainGrouping) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const TGeneratedTable table = GenerateTable(seed, 120, 40);
        const TPictureNames& names = table.Graph.Names();
        auto signatureOf = [&](TPictureId id) { return *table.Graph.SignatureOf(id); };
        std::set<TPair> apart;
        std::mt19937 random(seed);
        for (int k = 0; k < 15 && names.Size() > 1; ++k) {
            const auto a = static_cast<TPictureId>(random() % names.Size());
            const auto b = static_cast<TPictureId>(random() % names.Size());
            if (a != b) apart.insert(Ordered(a, b));
        }
        for (const bool perChannel : {true, false}) {
            for (const int32_t margin : {10, 25, 40}) {
                SCOPED_TRACE(::testing::Message() << "seed " << seed << " margin " << margin
                                                  << (perChannel ? " colors" : " sum"));
                const std::vector<TMatchEdge> edges = table.Graph.Edges(margin, perChannel);
                const TGroups groups = Group(names.Size(), edges, apart);
                std::set<TPictureId> seen;
                for (size_t g = 0; g < groups.Count(); ++g) {
                    const auto members = groups.Group(g);
                    ASSERT_GE(members.size(), 2u);
                    EXPECT_EQ(members[0].MaxDiff, 0);
                    for (size_t m = 0; m < members.size(); ++m) {
                        EXPECT_TRUE(seen.insert(members[m].Picture).second) << "picture twice";
                        for (size_t k = 0; k < m; ++k)
                            EXPECT_FALSE(
                                apart.count(Ordered(members[k].Picture, members[m].Picture)));
                        if (m == 0) continue;
                        int32_t diff = -1;
                        EXPECT_TRUE(SignaturesMatch(signatureOf(members[0].Picture),
                                                    signatureOf(members[m].Picture), margin,
                                                    perChannel, diff));
                        EXPECT_EQ(members[m].MaxDiff, diff);
                    }
                }
                // Nothing left to group: no two ungrouped pictures match.
                for (const TMatchEdge& e : edges)
                    EXPECT_TRUE(seen.count(e.A) || seen.count(e.B) ||
                                apart.count(Ordered(e.A, e.B)));
                EXPECT_EQ(AsVectors(groups), ReferenceGrouping(names.Size(), edges, apart));
            }
        }
    }
}

TEST(MatchGraphTest, NamesAreNumberedInOrderOfFirstAppearance) {
    TMatchGraph graph;
    graph.AddRow("/a/x.jpg", "/b/y.jpg", 3);
    graph.AddRow("/b/y.jpg", "/a/X.jpg", 4);  // names are case-sensitive
    EXPECT_EQ(graph.Names().Size(), 3u);
    EXPECT_EQ(graph.Names().Name(0), "/a/x.jpg");
    EXPECT_EQ(graph.Names().Name(2), "/a/X.jpg");
    EXPECT_EQ(graph.Names().Find("/b/y.jpg"), std::optional<TPictureId>(1));
    EXPECT_FALSE(graph.Names().Find("/b/z.jpg"));
    TPictureNames many;
    for (int i = 0; i < 5000; ++i) EXPECT_EQ(many.Intern("n" + std::to_string(i)), TPictureId(i));
    for (int i = 0; i < 5000; ++i) EXPECT_EQ(many.Find("n" + std::to_string(i)), TPictureId(i));
}

TEST(MatchGraphTest, EdgesFollowTheMarginAndModeOfTheSignatures) {
    TSignature a;
    a.Values.fill(100);
    TSignature b = a;
    b.Values[0] = 102;
    b.Values[1] = 102;
    b.Values[2] = 102;
    TMatchGraph graph;
    graph.AddRow("/a.jpg", "/b.jpg", 99);  // a MaxDiff from another mode
    graph.AddRow("/a.jpg", "/gone.jpg", 7);
    graph.SetSignature("/a.jpg", SignatureToString(a));
    graph.SetSignature("/b.jpg", SignatureToString(b));
    graph.SetSignature("/unnamed.jpg", SignatureToString(b));  // in no row: not kept
    graph.SetSignature("/gone.jpg", "  1x");                   // does not parse
    auto edges = [&](int32_t margin, bool perChannel) {
        std::vector<std::tuple<TPictureId, TPictureId, int32_t>> result;
        for (const TMatchEdge& e : graph.Edges(margin, perChannel))
            result.emplace_back(e.A, e.B, e.MaxDiff);
        return result;
    };
    using TEdges = std::vector<std::tuple<TPictureId, TPictureId, int32_t>>;
    EXPECT_EQ(edges(2, true), (TEdges{{0, 1, 2}}));
    EXPECT_EQ(edges(1, true), TEdges{});
    EXPECT_EQ(edges(6, false), (TEdges{{0, 1, 6}}));
    EXPECT_EQ(edges(5, false), TEdges{});
    // Without a usable signature the row's own MaxDiff counts.
    EXPECT_EQ(edges(7, true), (TEdges{{0, 1, 2}, {0, 2, 7}}));
    EXPECT_FALSE(graph.SignatureOf(2));
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

TEST(GroupReviewTest, GroupsAreListedLargestOrClosestFirstAndByFolder) {
    TSignature base;
    base.Values.fill(100);
    auto near = [&](int delta) {
        TSignature copy = base;
        copy.Values[0] += delta;
        return SignatureToString(copy);
    };
    TMatchGraph graph;
    // Group of three in /x/ with MaxDiff up to 9; two groups of two in /y/
    // (MaxDiff 1) and /z/w/ (MaxDiff 4).
    const std::vector<std::tuple<const char*, const char*, int>> rows = {
        {"/x/a", "/x/b", 9}, {"/x/a", "/x/c", 5}, {"/y/a", "/y/b", 1}, {"/z/w/a", "/z/w/b", 4}};
    for (const auto& [a, b, diff] : rows) graph.AddRow(a, b, diff);
    for (const auto& [name, delta] : std::vector<std::pair<const char*, int>>{{"/x/a", 0},
                                                                              {"/x/b", 9},
                                                                              {"/x/c", 5},
                                                                              {"/y/a", 0},
                                                                              {"/y/b", 1},
                                                                              {"/z/w/a", 0},
                                                                              {"/z/w/b", 4}})
        graph.SetSignature(name, near(delta));
    TTempFolder folder;
    TGroupReview review;
    review.Load(std::move(graph), folder.Path());
    review.Regroup(25, true);
    ASSERT_EQ(review.Groups().Count(), 3u);
    auto references = [&](const std::vector<size_t>& listed) {
        std::vector<std::string> names;
        for (size_t g : listed)
            names.emplace_back(review.Name(review.Groups().Group(g)[0].Picture));
        return names;
    };
    using TNames = std::vector<std::string>;
    EXPECT_EQ(references(review.ListedGroups(TGroupReview::TOrder::Largest)),
              (TNames{"/x/a", "/y/a", "/z/w/a"}));
    EXPECT_EQ(references(review.ListedGroups(TGroupReview::TOrder::Closest)),
              (TNames{"/y/a", "/z/w/a", "/x/a"}));
    EXPECT_EQ(references(review.ListedGroups(TGroupReview::TOrder::Closest, "/z/")),
              TNames{"/z/w/a"});
    EXPECT_TRUE(review.ListedGroups(TGroupReview::TOrder::Closest, "/q/").empty());
    // A smaller margin leaves the far member out.
    review.Regroup(6, true);
    EXPECT_EQ(review.Groups().Group(review.ListedGroups(TGroupReview::TOrder::Largest)[0]).size(),
              2u);
}

}  // namespace
}  // namespace corvane::test
