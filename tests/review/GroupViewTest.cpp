// The group tab's texts and choices: member captions against the reference,
// the keep-rule setting's text, where a move of selected files puts them, and
// the selection surviving a "not a duplicate" mark.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <map>

#include "review/GroupView.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

std::string Uniform(int value) {
    TSignature signature;
    signature.Values.fill(value);
    return SignatureToString(signature);
}

TEST(GroupViewTest, MemberCaptionsUseThePairViewsHints) {
    const std::map<std::string, int64_t> sizes = {{"/p/a/IMG.jpg", 1000},
                                                  {"/p/b/IMG.jpg", 2000},
                                                  {"/p/a/IMG1.jpg", 1000},
                                                  {"/p/a/x-From-BMP.jpg", 500}};
    const TFileSizeOf sizeOf = [&sizes](const std::string& name) { return sizes.at(name); };
    struct TCase {
        std::string Member;
        bool IsReference;
        std::vector<std::string> Hints;
        bool NameRed;
    };
    const TCase cases[] = {
        // The reference is compared with the first other member.
        {"/p/a/IMG.jpg", true, {"Same Name!", "Smaller"}, false},
        {"/p/b/IMG.jpg", false, {"Same Name!", "Bigger"}, false},
        {"/p/a/IMG1.jpg", false, {"Same Path!"}, true},
        {"/p/a/x-From-BMP.jpg", false, {"Same Path!", "Smaller", "FROM BMP"}, false},
    };
    for (const TCase& c : cases) {
        const TMemberCaption caption =
            MemberCaption("/p/a/IMG.jpg", c.Member, "/p/b/IMG.jpg", c.IsReference, 7, true, sizeOf);
        EXPECT_EQ(caption.Hints, c.Hints) << c.Member;
        EXPECT_EQ(caption.NameRed, c.NameRed) << c.Member;
        EXPECT_EQ(caption.Folder + caption.Name, c.Member);
        EXPECT_EQ(caption.Diff, c.IsReference ? "reference" : "MaxDiff 7");
    }
    // The extra hints only with the switch, as in the pair view.
    const TMemberCaption plain =
        MemberCaption("/p/a/IMG.jpg", "/p/a/x-From-BMP.jpg", "", false, 3, false, sizeOf);
    EXPECT_EQ(plain.Hints, (std::vector<std::string>{"Same Path!", "Smaller"}));
}

TEST(GroupViewTest, KeepRulesTextRoundTripsAndSkipsUnknownNames) {
    const std::vector<TKeepRule> rules = {TKeepRule::PreferredFolder, TKeepRule::MostPixels,
                                          TKeepRule::OldestDate};
    EXPECT_EQ(KeepRulesText(rules), "folder,pixels,oldest");
    EXPECT_EQ(KeepRulesOf(KeepRulesText(rules)), rules);
    EXPECT_EQ(KeepRulesOf("largest,bogus,,largest,notbmp"),
              (std::vector<TKeepRule>{TKeepRule::LargestFile, TKeepRule::NotFromBitmap}));
    EXPECT_TRUE(KeepRulesOf("").empty());
    for (TKeepRule rule : AllKeepRules()) EXPECT_FALSE(KeepRuleCaption(rule).empty());
}

TEST(GroupViewTest, MovesKeepTheFoldersBelowTheBase) {
    struct TCase {
        std::vector<std::string> Files;
        std::string Base;
        std::string Expected;
    };
    const TCase cases[] = {
        {{"/pics/2019/a.jpg", "/pics/backup/a.jpg"}, "/pics/", "/pics/"},
        {{"/pics/2019/a.jpg", "/pics/backup/a.jpg"}, "/pics", "/pics/"},
        {{"/pics/2019/a.jpg", "/other/a.jpg"}, "/pics/", "/"},
        {{"/pics/2019/x/a.jpg", "/pics/2019/y/b.jpg"}, "", "/pics/2019/"},
        {{"/pics/2019/a.jpg"}, "/elsewhere/", "/pics/2019/"},
        // A folder named like the start of another is not its parent.
        {{"/pics/ab/a.jpg", "/pics/abc/b.jpg"}, "/pics/ab/", "/pics/"},
    };
    for (const TCase& c : cases) EXPECT_EQ(MoveBaseFolder(c.Files, c.Base), c.Expected);
    EXPECT_EQ(MoveTarget("/pics/2019/a.jpg", "/pics/", "/dupes"), "/dupes/2019/a.jpg");
    EXPECT_EQ(MoveTarget("/pics/2019/a.jpg", "/pics/", "/dupes/"), "/dupes/2019/a.jpg");
    EXPECT_EQ(MoveTarget("/x/a.jpg", "/pics/", "/dupes/"), "/dupes/a.jpg");
}

TEST(GroupViewTest, ASelectionSurvivesANotDuplicateMarkWhereItStillApplies) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("corvane-groupview-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    TMatchGraph graph;
    for (const char* other : {"/b.jpg", "/c.jpg", "/d.jpg"}) graph.AddRow("/a.jpg", other, 1);
    graph.AddRow("/x.jpg", "/y.jpg", 2);
    for (const char* name : {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/x.jpg", "/y.jpg"})
        graph.SetSignature(name, Uniform(10));
    TGroupReview review;
    review.Load(std::move(graph), folder.string() + "/");
    review.Regroup(10, true);
    ASSERT_EQ(review.Groups().Count(), 2u);
    review.SelectByRules(TKeepChooser({}));  // keeps the reference of each group
    EXPECT_EQ(review.SelectedFiles(),
              (std::vector<std::string>{"/b.jpg", "/c.jpg", "/d.jpg", "/y.jpg"}));
    // D leaves A's group; B and C stay selected, and the other group too.
    review.MarkNotDuplicate(*review.Graph().Names().Find("/a.jpg"),
                            *review.Graph().Names().Find("/d.jpg"));
    EXPECT_EQ(review.SelectedFiles(), (std::vector<std::string>{"/b.jpg", "/c.jpg", "/y.jpg"}));
    // Reselecting every member still leaves one unselected per group.
    review.Reselect({"/a.jpg", "/b.jpg", "/c.jpg", "/x.jpg", "/y.jpg"});
    for (size_t g = 0; g < review.Groups().Count(); ++g)
        EXPECT_LT(review.Selection().SelectedCount(g), review.Groups().Group(g).size());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvane
