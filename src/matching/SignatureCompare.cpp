#include "matching/SignatureCompare.h"

#include <cstdlib>

namespace corvane {

bool SignaturesMatch(const TSignature& a, const TSignature& b, int32_t margin, bool perChannel,
                     int32_t& maxDiff) {
    maxDiff = 0;
    const int32_t* pa = a.Values.data();
    const int32_t* pb = b.Values.data();
    for (int block = 0; block < 16; ++block, pa += 3, pb += 3) {
        const int32_t d0 = std::abs(pa[0] - pb[0]);
        const int32_t d1 = std::abs(pa[1] - pb[1]);
        const int32_t d2 = std::abs(pa[2] - pb[2]);
        if (perChannel) {
            for (const int32_t d : {d0, d1, d2}) {
                if (d > margin) return false;
                if (d > maxDiff) maxDiff = d;
            }
        } else {
            const int32_t sum = d0 + d1 + d2;
            if (sum > margin) return false;
            if (sum > maxDiff) maxDiff = sum;
        }
    }
    return true;
}

}  // namespace corvane
