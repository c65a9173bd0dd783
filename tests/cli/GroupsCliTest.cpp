// corvane-cli groups and not-duplicate, run as a separate process on a
// generated folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliRunner.h"
#include "cli/Listing.h"

namespace corvane::test {
namespace {

std::vector<std::string> Split(const std::string& text, char end) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, end);) parts.push_back(part);
    return parts;
}

// Three copies of one picture of different file sizes and one unrelated
// picture, computed and identified at margin 25.
class GroupsCliTest : public CliFolderTest {
  protected:
    GroupsCliTest() {
        const TPattern pattern = MakePattern(11, 64, 48);
        WriteJpeg(pictures_ + "small.jpg", pattern, 50);
        WriteJpeg(pictures_ + "large.jpg", pattern, 98);
        WriteJpeg(pictures_ + "medium.jpg", pattern, 75);
        WriteJpeg(pictures_ + "other.jpg", MakePattern(99, 64, 48), 90);
        EXPECT_EQ(Cli({"compute", "--folder", pictures_}).status, 0);
        EXPECT_EQ(Cli({"identify", "--margin", "25", "--colors"}).status, 0);
    }
};

TEST_F(GroupsCliTest, GroupsListEveryMemberWithItsMaxDiffAndSelection) {
    const TResult result = Cli({"groups", "--margin", "25", "--keep", "largest"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> lines = Split(result.out, '\n');
    ASSERT_EQ(lines.size(), 3u) << result.out;
    std::set<std::string> files;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> fields = Split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 5u) << lines[i];
        EXPECT_EQ(fields[0], "1");
        EXPECT_EQ(fields[1], i == 0 ? "reference" : "member");
        EXPECT_TRUE(i > 0 || fields[2] == "0");
        EXPECT_LE(std::stoi(fields[2]), 25);
        EXPECT_EQ(fields[3], fields[4] == pictures_ + "large.jpg" ? "N" : "Y");
        files.insert(fields[4]);
    }
    EXPECT_EQ(files, (std::set<std::string>{pictures_ + "small.jpg", pictures_ + "large.jpg",
                                            pictures_ + "medium.jpg"}));

    const TResult none = Cli({"groups", "--margin", "0", "--sum"});
    ASSERT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(GroupsCliTest, SelectedFilesComeNulSeparatedForXargs) {
    const TResult result = Cli({"groups", "--keep", "largest", "--selected", "-0"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.find('\n'), std::string::npos);
    std::vector<std::string> names = Split(result.out, '\0');
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{pictures_ + "medium.jpg", pictures_ + "small.jpg"}));
    EXPECT_EQ(result.out.back(), '\0');
    // Without rules nothing is selected.
    EXPECT_EQ(Cli({"groups", "--selected", "-0"}).out, "");
}

TEST_F(GroupsCliTest, JsonHoldsTheSameGroups) {
    const TResult result = Cli({"groups", "--keep", "largest", "--format", "json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json groups = nlohmann::json::parse(result.out);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]["group"], 1);
    ASSERT_EQ(groups[0]["members"].size(), 3u);
    EXPECT_EQ(groups[0]["members"][0]["reference"], true);
    EXPECT_EQ(groups[0]["members"][0]["maxdiff"], 0);
    for (const auto& member : groups[0]["members"])
        EXPECT_EQ(member["selected"], member["file"] != pictures_ + "large.jpg");
    const nlohmann::json selected = nlohmann::json::parse(
        Cli({"groups", "--keep", "largest", "--selected", "--format", "json"}).out);
    EXPECT_EQ(selected.size(), 2u);
}

// A newline in a name must not read as two names to a script (each could be
// another picture); TSV escapes it, -0 and JSON keep the exact bytes.
TEST_F(GroupsCliTest, OddNamesStayOneNameInEveryFormat) {
    const std::string odd = pictures_ + "new\nline \xff.jpg";
    std::filesystem::rename(pictures_ + "small.jpg", odd);
    ASSERT_EQ(Cli({"compute", "--folder", pictures_}).status, 0);
    ASSERT_EQ(Cli({"identify", "--margin", "25", "--colors"}).status, 0);

    const std::string tsv = Cli({"groups", "--keep", "largest", "--selected"}).out;
    EXPECT_NE(tsv.find(pictures_ + "new\\nline \xff.jpg\n"), std::string::npos) << tsv;
    EXPECT_EQ(Split(tsv, '\n').size(), 2u) << tsv;
    const std::string nul = Cli({"groups", "--keep", "largest", "--selected", "-0"}).out;
    EXPECT_NE(nul.find(odd + '\0'), std::string::npos);
    const nlohmann::json groups =
        nlohmann::json::parse(Cli({"groups", "--keep", "largest", "--format", "json"}).out);
    size_t encoded = 0;
    for (const auto& member : groups[0]["members"])
        if (member.contains("fileBase64")) {
            EXPECT_EQ(member["fileBase64"], EncodeBase64(odd));
            ++encoded;
        }
    EXPECT_EQ(encoded, 1u);
}

TEST_F(GroupsCliTest, NotDuplicateKeepsThePairOutOfEveryGroup) {
    const TResult marked = Cli({"not-duplicate", pictures_ + "large.jpg", pictures_ + "small.jpg"});
    ASSERT_EQ(marked.status, 0) << marked.err;
    EXPECT_TRUE(Exists(data_ + "NotDuplicates.Txt"));
    const TResult result = Cli({"groups"});
    std::map<std::string, std::string> groupOf;
    for (const std::string& line : Split(result.out, '\n')) {
        const std::vector<std::string> fields = Split(line, '\t');
        groupOf[fields[4]] = fields[0];
    }
    EXPECT_FALSE(groupOf.count(pictures_ + "large.jpg") && groupOf.count(pictures_ + "small.jpg") &&
                 groupOf[pictures_ + "large.jpg"] == groupOf[pictures_ + "small.jpg"]);
    EXPECT_EQ(groupOf.size(), 2u);
    // The match table is as it was.
    EXPECT_EQ(Split(Cli({"matches"}).out, '\n').size(), 3u);

    const TResult unknown = Cli({"not-duplicate", pictures_ + "large.jpg", pictures_ + "no.jpg"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("No signature record for"), std::string::npos);
}

TEST_F(GroupsCliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"groups", "--format", "xml"}, {"groups", "--format", "json", "-0"},
        {"groups", "--keep", "bogus"}, {"groups", "--margin"},
        {"groups", "stray"},           {"not-duplicate", "one"}};
    for (const auto& words : cases) {
        const TResult result = Cli(words);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(words);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(Cli({"groups", "--margin", "x"}).status, 1);
}

}  // namespace
}  // namespace corvane::test
