// Matching turned and mirrored copies by the arrangements of the stored
// signature's blocks.
#include <algorithm>
#include <cmath>

#include "MatchFixture.h"
#include "matching/SignatureCompare.h"
#include "picture/loader/Orientation.h"

namespace corvane::test {
namespace {

// A 640 x 480 picture that looks different from every side: gradients in
// red and green, a blue disc off the centre.
void MakeAsymmetricPicture(TBitmap32& picture) {
    picture.SetSize(640, 480);
    for (int32_t y = 0; y < 480; ++y)
        for (int32_t x = 0; x < 640; ++x) {
            const uint32_t r = static_cast<uint32_t>(x * 255 / 639);
            const uint32_t g = static_cast<uint32_t>(y * 200 / 479);
            const bool disc = std::hypot(x - 180.0, y - 140.0) < 90;
            const uint32_t b = disc ? 230 : 40;
            picture.SetPixel(x, y, 0xFF000000u | r << 16 | g << 8 | b);
        }
}

class RotationsTest : public MatchFixture {
  protected:
    // The eight turned and mirrored copies as records /p/o1 .. /p/o8.
    void AddTheEightCopies() {
        TBitmap32 picture;
        MakeAsymmetricPicture(picture);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            TBitmap32 copy;
            copy.Assign(&picture);
            OrientRaster(copy, orientation);
            signatures_[orientation] = ComputeSignature(copy);
            AddRecord("/p/", "o" + std::to_string(orientation),
                      SignatureToString(signatures_[orientation]));
        }
    }
    void Identify(bool rotations) {
        controls_.Rotations = rotations;
        controls_.Margin = "5";
        matcher_.IdentifyButtonClick();
    }
    TSignature signatures_[9];
};

TEST_F(RotationsTest, EightArrangementsMatchEachOtherOnlyWithTheOption) {
    AddTheEightCopies();
    Identify(false);
    EXPECT_TRUE(Rows().empty());

    Identify(true);
    const std::vector<TMatchRow> rows = Rows();
    EXPECT_EQ(rows.size(), 28u);  // every pair once
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [maxDiff, file1, file2] : rows) {
        EXPECT_LE(maxDiff, 5);
        pairs.emplace_back(std::min(file1, file2), std::max(file1, file2));
    }
    std::sort(pairs.begin(), pairs.end());
    EXPECT_EQ(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

TEST_F(RotationsTest, TheArrangementOfATurnedCopyDiffersOnlyAtTheEdges) {
    AddTheEightCopies();
    int32_t largestOverall = 0;
    for (int orientation = 2; orientation <= 8; ++orientation) {
        // The copy's signature against the original's blocks laid out the
        // way the copy was turned.
        TSignature arranged;
        ArrangeValues(signatures_[1].Values.data(), orientation, arranged.Values.data());
        int32_t largest = 0;
        for (int i = 0; i < TSignature::kValues; ++i)
            largest = std::max(largest,
                               std::abs(arranged.Values[i] - signatures_[orientation].Values[i]));
        EXPECT_LE(largest, 5) << orientation;
        largestOverall = std::max(largestOverall, largest);
        int32_t maxDiff = 0;
        EXPECT_FALSE(SignaturesMatch(signatures_[1], signatures_[orientation], 5, true, maxDiff))
            << orientation;
        EXPECT_TRUE(
            ArrangedSignaturesMatch(signatures_[1], signatures_[orientation], 5, true, maxDiff))
            << orientation;
    }
    RecordProperty("LargestEdgeDifference", largestOverall);
}

TEST_F(RotationsTest, MatchSingleAndTheOddTextSearchFindTheCopiesToo) {
    AddTheEightCopies();
    // A text in another form than the canonical one makes identify search
    // without the index.
    AddRecord("/q/", "odd", "  +0" + Uniform(0).substr(4));
    Identify(true);
    EXPECT_EQ(Rows().size(), 28u);

    controls_.Rotations = true;
    SelectRecord("/p/", "o1");
    matcher_.MatchSingleButtonClick();
    EXPECT_EQ(Rows().size(), 7u);
    controls_.Rotations = false;
    matcher_.MatchSingleButtonClick();
    EXPECT_TRUE(Rows().empty());
}

}  // namespace
}  // namespace corvane::test
