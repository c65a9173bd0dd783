#include <gtest/gtest.h>

#include "matching/SignatureCompare.h"

namespace corvane {
namespace {

TSignature Uniform(int32_t value) {
    TSignature s;
    s.Values.fill(value);
    return s;
}

struct Case {
    const char* name;
    TSignature a, b;
    int32_t margin;
    bool perChannel;
    bool matches;
    int32_t maxDiff;  // checked only for matches, and for the documented failure
};

TSignature With(TSignature s, int col, int row, int ch, int32_t value) {
    s.At(col, row, ch) = value;
    return s;
}

TEST(SignaturesMatch, BoundaryCasesInBothModes) {
    const TSignature base = Uniform(100);
    const TSignature spread = With(With(With(base, 2, 3, 1, 102), 2, 3, 2, 98), 2, 3, 3, 102);
    const TSignature failLast = With(With(With(base, 1, 1, 1, 103), 2, 1, 2, 93), 4, 4, 3, 150);
    const Case cases[] = {
        {"identical, margin 0", base, base, 0, true, true, 0},
        {"identical, summed", base, base, 0, false, true, 0},
        {"negative margin", base, base, -1, true, false, 0},
        {"negative margin, summed", base, base, -1, false, false, 0},
        {"equal to margin", base, With(base, 3, 2, 2, 110), 10, true, true, 10},
        {"above margin", base, With(base, 3, 2, 2, 111), 10, true, false, 0},
        {"three twos per channel", base, spread, 2, true, true, 2},
        {"three twos summed needs 6", base, spread, 5, false, false, 0},
        {"three twos summed", base, spread, 6, false, true, 6},
        {"255 matches all", Uniform(0), Uniform(255), 255, true, true, 255},
        {"764 summed fails", Uniform(0), Uniform(255), 764, false, false, 0},
        {"765 summed matches all", Uniform(0), Uniform(255), 765, false, true, 765},
        {"fails in last block", base, failLast, 10, true, false, 7},
    };
    for (const Case& c : cases) {
        for (bool swap : {false, true}) {
            int32_t maxDiff = -1;
            const bool result = swap ? SignaturesMatch(c.b, c.a, c.margin, c.perChannel, maxDiff)
                                     : SignaturesMatch(c.a, c.b, c.margin, c.perChannel, maxDiff);
            EXPECT_EQ(result, c.matches) << c.name;
            if (c.matches || c.maxDiff != 0) {
                EXPECT_EQ(maxDiff, c.maxDiff) << c.name;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
