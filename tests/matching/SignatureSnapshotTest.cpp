#include "matching/SignatureSnapshot.h"

#include "MatchFixture.h"
#include "util/Exception.h"

namespace corvane::test {
namespace {

class SignatureSnapshotTest : public MatchFixture {
  protected:
    // A text in the program's own form, one with a zero-padded field, one
    // with a value beyond a byte and one that does not convert.
    void AddMixedRecords() {
        AddRecord("/a/", "canonical.jpg", Uniform(7));
        std::string padded = Uniform(9);
        padded.replace(0, 4, "0009");
        AddRecord("/a/", "padded.jpg", padded);
        AddRecord("/a/b", "wide.jpg", Uniform(300));
        AddRecord("/a/", "bad.jpg", "   5   x");
    }
    size_t PositionOf(const std::string& path, const std::string& name) {
        for (size_t i = 0; i < snapshot_.Size(); ++i)
            if (snapshot_.FullName(i) == path + name) return i;
        ADD_FAILURE() << path + name;
        return 0;
    }
    TSignatureSnapshot snapshot_;
};

TEST_F(SignatureSnapshotTest, GivesBackEveryStoredTextAndParsedValue) {
    AddMixedRecords();
    snapshot_.Load(signatures_, TIgnoreList({"/a/b"}));
    ASSERT_EQ(snapshot_.Size(), 4u);
    EXPECT_EQ(snapshot_.Finder(), nullptr);  // not every text is in the program's form
    TStoreTable& table = signatures_.SignaturesTable;
    for (table.First(); !table.AtEnd(); table.Next()) {
        const std::string path = signatures_.SignaturesTableFilePath.Value();
        const std::string name = signatures_.SignaturesTableFileName.Value();
        const std::string text = signatures_.SignaturesTableSignature.Value();
        const size_t position = PositionOf(path, name);
        EXPECT_EQ(snapshot_.Text(position), text) << name;
        EXPECT_EQ(snapshot_.Find(name, path, text), position) << name;
        EXPECT_EQ(snapshot_.Hot(position).Ignored, path == "/a/b") << name;
        if (name == "bad.jpg") {
            EXPECT_FALSE(snapshot_.Hot(position).Parsed);
            EXPECT_EQ(snapshot_.ParseError(position), "'   x' is not a valid integer value");
        } else {
            EXPECT_EQ(snapshot_.Values(position).Values, StringToSignature(text).Values) << name;
        }
    }
}

TEST_F(SignatureSnapshotTest, FindMissesChangedTextsAndOtherSplitsOfTheName) {
    AddRecord("/a/", "bc.jpg", Uniform(7));
    AddRecord("/a/", "x.jpg", Uniform(8));
    snapshot_.Load(signatures_, TIgnoreList());
    ASSERT_NE(snapshot_.Finder(), nullptr);
    EXPECT_TRUE(snapshot_.Find("bc.jpg", "/a/", Uniform(7)));
    EXPECT_FALSE(snapshot_.Find("bc.jpg", "/a/", Uniform(8)));
    EXPECT_FALSE(snapshot_.Find("bc.jpg", "/a/", Uniform(7) + " "));
    EXPECT_FALSE(snapshot_.Find("c.jpg", "/a/b", Uniform(7)));
    EXPECT_FALSE(snapshot_.Find("BC.JPG", "/A/", Uniform(7)));
    EXPECT_FALSE(snapshot_.Find("y.jpg", "/a/", Uniform(8)));
}

TEST_F(SignatureSnapshotTest, FirstAboveFollowsTheTextsForEveryBound) {
    for (const int value : {0, 9, 10, 99, 100, 200, 255}) {
        AddRecord("/a/", Format("%d.jpg", value), Uniform(value));
        AddRecord("/b/", Format("%d.jpg", value), Uniform(value));
    }
    snapshot_.Load(signatures_, TIgnoreList());
    ASSERT_NE(snapshot_.Finder(), nullptr);
    for (const std::string bound :
         {"   0", "   9", "  10", "  -9", " 100", " 256", "9999", "10000", "", " "}) {
        for (size_t from = 0; from <= snapshot_.Size(); ++from) {
            size_t expected = from;
            while (expected < snapshot_.Size() && snapshot_.Text(expected) <= bound) ++expected;
            EXPECT_EQ(snapshot_.FirstAbove(from, bound), expected) << bound << " " << from;
        }
    }
}

}  // namespace
}  // namespace corvane::test
