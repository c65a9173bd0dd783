// Keep-best rules on tables of cases (ties and unknown facts included), the
// selection's never-all rule, and the facts read from files.
#include <gtest/gtest.h>

#include "../scan/TestPictures.h"
#include "review/KeepRules.h"
#include "review/PictureSize.h"
#include "util/Exception.h"

namespace corvane::test {
namespace {

using R = TKeepRule;

TMemberFacts Facts(std::string name, std::optional<int64_t> pixels, std::optional<int64_t> size,
                   std::optional<int64_t> date) {
    return TMemberFacts{std::move(name), pixels, size, date};
}

TEST(KeepRulesTest, RuleNamesParseInOrderAndUnknownNamesAreRefused) {
    EXPECT_EQ(ParseKeepRules("largest"), std::vector<R>{R::LargestFile});
    EXPECT_EQ(ParseKeepRules("pixels,oldest,newest,folder,shortest,notbmp,largest"),
              (std::vector<R>{R::MostPixels, R::OldestDate, R::NewestDate, R::PreferredFolder,
                              R::ShortestPath, R::NotFromBitmap, R::LargestFile}));
    EXPECT_TRUE(ParseKeepRules("").empty());
    for (const char* bad : {"biggest", "largest,", ",largest", "largest,,oldest", "Largest"}) {
        try {
            ParseKeepRules(bad);
            ADD_FAILURE() << bad;
        } catch (const Exception& error) {
            EXPECT_NE(error.Message().find("Unknown keep rule"), std::string::npos) << bad;
        }
    }
    for (R rule : ParseKeepRules("pixels,largest,oldest,newest,folder,shortest,notbmp"))
        EXPECT_EQ(ParseKeepRules(KeepRuleName(rule)), std::vector<R>{rule});
}

struct TKeepCase {
    const char* Name;
    std::vector<R> Rules;
    std::vector<std::string> Preferred;
    std::vector<TMemberFacts> Members;
    size_t Keep;
};

TEST(KeepRulesTest, RulesPickOneMemberAsInASort) {
    const std::vector<TKeepCase> cases = {
        {"largest file",
         {R::LargestFile},
         {},
         {Facts("/a/1.jpg", 100, 10, 5), Facts("/a/2.jpg", 50, 30, 5), Facts("/a/3.jpg", 9, 20, 5)},
         1},
        {"most pixels",
         {R::MostPixels},
         {},
         {Facts("/a/1.jpg", 100, 10, 5), Facts("/a/2.jpg", 500, 30, 5)},
         1},
        {"oldest, then newest",
         {R::OldestDate},
         {},
         {Facts("/a/1.jpg", 1, 1, 300), Facts("/a/2.jpg", 1, 1, 100), Facts("/a/3.jpg", 1, 1, 200)},
         1},
        {"newest",
         {R::NewestDate},
         {},
         {Facts("/a/1.jpg", 1, 1, 300), Facts("/a/2.jpg", 1, 1, 100), Facts("/a/3.jpg", 1, 1, 200)},
         0},
        {"a tie on the first rule goes to the second",
         {R::LargestFile, R::OldestDate},
         {},
         {Facts("/a/1.jpg", 1, 30, 300), Facts("/a/2.jpg", 1, 10, 1),
          Facts("/a/3.jpg", 1, 30, 200)},
         2},
        {"a tie on every rule keeps the earliest member (the reference)",
         {R::LargestFile, R::MostPixels},
         {},
         {Facts("/a/1.jpg", 7, 30, 1), Facts("/b/2.jpg", 7, 30, 2)},
         0},
        {"no rule keeps the reference",
         {},
         {},
         {Facts("/a/1.jpg", 1, 1, 1), Facts("/a/2.jpg", 9, 9, 9)},
         0},
        {"unknown facts rank last: a missing file is not kept",
         {R::LargestFile},
         {},
         {Facts("/gone.jpg", std::nullopt, std::nullopt, std::nullopt), Facts("/a/2.jpg", 1, 0, 1)},
         1},
        {"unknown dates rank last for oldest too",
         {R::OldestDate},
         {},
         {Facts("/gone.jpg", std::nullopt, std::nullopt, std::nullopt),
          Facts("/a/2.jpg", 1, 1, 999)},
         1},
        {"preferred folders: the earlier listed one wins, sub-folders count, case is ignored",
         {R::PreferredFolder},
         {"/keep/best/", "/Keep"},
         {Facts("/other/1.jpg", 1, 1, 1), Facts("/KEEP/x/2.jpg", 1, 1, 1),
          Facts("/keep/BEST/deep/3.jpg", 1, 1, 1)},
         2},
        {"a folder only sharing the prefix of a preferred one does not count",
         {R::PreferredFolder, R::LargestFile},
         {"/keep"},
         {Facts("/keeper/1.jpg", 1, 9, 1), Facts("/keep/2.jpg", 1, 1, 1)},
         1},
        {"shortest: fewer folder levels, then the shorter name",
         {R::ShortestPath},
         {},
         {Facts("/a/b/c.jpg", 1, 1, 1), Facts("/abcdef/long-name.jpg", 1, 1, 1),
          Facts("/abcdef/short.jpg", 1, 1, 1)},
         2},
        {"not converted from a bitmap, as the hint spells it in any case",
         {R::NotFromBitmap},
         {},
         {Facts("/a/From-BMP-0001.JPG", 1, 1, 1), Facts("/from-bmp/x.jpg", 1, 1, 1),
          Facts("/a/x.jpg", 1, 1, 1)},
         2},
    };
    for (const TKeepCase& c : cases) {
        const TKeepChooser chooser(c.Rules, c.Preferred);
        EXPECT_EQ(chooser.ChooseKeep(c.Members), c.Keep) << c.Name;
        // A strict winner is kept wherever it stands.
        bool strict = true;
        for (size_t i = 0; i < c.Members.size(); ++i)
            if (i != c.Keep && chooser.Compare(c.Members[c.Keep], c.Members[i]) >= 0)
                strict = false;
        if (strict) {
            const std::vector<TMemberFacts> reversed(c.Members.rbegin(), c.Members.rend());
            EXPECT_EQ(reversed[chooser.ChooseKeep(reversed)].FullName, c.Members[c.Keep].FullName)
                << c.Name;
        }
    }
}

TEST(KeepRulesTest, PixelsAreNeededOnlyByThePixelsRule) {
    EXPECT_FALSE(TKeepChooser(ParseKeepRules("largest,oldest")).NeedsPixels());
    EXPECT_TRUE(TKeepChooser(ParseKeepRules("largest,pixels")).NeedsPixels());
}

TGroups TwoGroups() {
    TGroups groups;
    const std::vector<TGroupMember> three = {{0, 0}, {1, 2}, {2, 5}};
    const std::vector<TGroupMember> two = {{3, 0}, {4, 1}};
    groups.Add(three);
    groups.Add(two);
    return groups;
}

TEST(GroupSelectionTest, RulesSelectAllButOneAndAGroupIsNeverAllSelected) {
    const TGroups groups = TwoGroups();
    TGroupSelection selection;
    const std::vector<int64_t> sizes = {10, 30, 20, 5, 5};
    SelectByRules(
        groups, TKeepChooser({R::LargestFile}),
        [&](TPictureId id) { return Facts("/p" + std::to_string(id), 1, sizes[id], 1); },
        selection);
    EXPECT_TRUE(selection.Selected(0, 0));
    EXPECT_FALSE(selection.Selected(0, 1));
    EXPECT_TRUE(selection.Selected(0, 2));
    EXPECT_FALSE(selection.Selected(1, 0));  // tie: the reference stays
    EXPECT_TRUE(selection.Selected(1, 1));
    // By hand: the last unselected member cannot be selected ...
    EXPECT_FALSE(selection.SetSelected(0, 1, true));
    EXPECT_FALSE(selection.Selected(0, 1));
    EXPECT_FALSE(selection.SetSelected(1, 0, true));
    // ... until another member is cleared.
    EXPECT_TRUE(selection.SetSelected(0, 0, false));
    EXPECT_TRUE(selection.SetSelected(0, 1, true));
    EXPECT_EQ(selection.SelectedCount(0), 2u);
    // Selecting a selected member again changes nothing and is allowed.
    EXPECT_TRUE(selection.SetSelected(0, 1, true));
    EXPECT_EQ(selection.SelectedCount(1), 1u);
    selection.Reset(groups);
    EXPECT_EQ(selection.SelectedCount(0) + selection.SelectedCount(1), 0u);
    EXPECT_THROW(selection.KeepOnly(1, 2), std::out_of_range);
}

TEST(MemberFactsTest, SizeDateAndPixelsComeFromTheFile) {
    TTempFolder folder;
    const std::string jpeg = folder.Path() + "a.jpg";
    const std::string bmp = folder.Path() + "b.bmp";
    const std::string gif = folder.Path() + "c.gif";
    WriteJpeg(jpeg, MakePattern(1, 64, 48));
    WriteBmp(bmp, MakePattern(2, 30, 20));
    WriteGif(gif, MakePattern(3, 16, 8));
    SetMTime(jpeg, 1000000);
    const TMemberFacts facts = ReadMemberFacts(jpeg, true);
    EXPECT_EQ(facts.FullName, jpeg);
    EXPECT_EQ(facts.FileSize, static_cast<int64_t>(ReadBytes(jpeg).size()));
    EXPECT_EQ(facts.ModifiedSeconds, 1000000);
    EXPECT_EQ(facts.Pixels, 64 * 48);
    EXPECT_FALSE(ReadMemberFacts(jpeg, false).Pixels);
    EXPECT_EQ(ReadMemberFacts(bmp, true).Pixels, 30 * 20);
    EXPECT_EQ(ReadMemberFacts(gif, true).Pixels, 16 * 8);
    const TMemberFacts missing = ReadMemberFacts(folder.Path() + "gone.jpg", true);
    EXPECT_FALSE(missing.FileSize || missing.ModifiedSeconds || missing.Pixels);
    EXPECT_FALSE(ReadMemberFacts(folder.Path(), true).FileSize);  // a folder
}

TEST(PictureSizeTest, HeadersThatAreCutOrInvalidGiveNoSize) {
    const std::string jpeg = EncodeJpegBytes(MakePattern(1, 10, 10));
    auto pixels = [](const std::string& bytes) {
        return PicturePixels(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(pixels(jpeg), 100);
    EXPECT_FALSE(pixels(jpeg.substr(0, 20)));
    EXPECT_FALSE(pixels(""));
    EXPECT_FALSE(pixels("GIF89a\x01"));
    EXPECT_FALSE(pixels(std::string("GIF89a\0\0\5\0", 10)));  // zero width
    EXPECT_EQ(pixels(std::string("GIF87a\3\0\5\0", 10)), 15);
    EXPECT_FALSE(pixels("not a picture at all"));
    std::string bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[14] = 40;
    bmp[18] = 7;
    for (int i = 22; i < 26; ++i) bmp[i] = '\xff';  // height -1: top-down rows
    EXPECT_EQ(pixels(bmp), 7);
    bmp[14] = 12;  // the old header: 16-bit sizes
    bmp[20] = 3;
    bmp[21] = 0;
    EXPECT_EQ(pixels(bmp), 21);
    EXPECT_FALSE(pixels(bmp.substr(0, 25)));
}

}  // namespace
}  // namespace corvane::test
