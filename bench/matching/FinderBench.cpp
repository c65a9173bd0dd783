// Identify-all search over generated collections: time, memory and rows found
// for 100,000 and 1,000,000 signatures at margins 5, 25 and 50.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "matching/MatchFinder.h"
#include "matching/SignatureGenerator.h"

using namespace corvane;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Run(size_t count, std::vector<int32_t> margins = {5, 25, 50}) {
    std::vector<TSignature> signatures = GenerateSignatures(count, 42);
    std::sort(signatures.begin(), signatures.end(), [](const TSignature& a, const TSignature& b) {
        return a.Values < b.Values;  // the BySignature order
    });
    std::vector<TMatchFinder::TValues> values(count);
    for (size_t i = 0; i < count; ++i) ToByteValues(signatures[i], values[i]);
    signatures = {};
    auto start = std::chrono::steady_clock::now();
    const TMatchFinder finder(std::move(values), std::vector<bool>(count, false));
    const double build = Seconds(start);
    std::printf("%zu records: index built in %.2f s, %.0f bytes per record\n", count, build,
                static_cast<double>(finder.MemoryUsed()) / count);
    for (int32_t margin : margins) {
        for (bool perChannel : {true, false}) {
            start = std::chrono::steady_clock::now();
            std::vector<TFoundMatch> found;
            size_t rows = 0;
            for (uint32_t p = 0; p < count; ++p) {
                finder.RangeMatches(p, margin, perChannel, found);
                rows += found.size();
            }
            std::printf("  margin %2d %-9s %8.2f s  %9zu rows (%.2f per record)\n", margin,
                        perChannel ? "colors" : "sum", Seconds(start) + build, rows,
                        static_cast<double>(rows) / count);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --records N [--margin M]: one collection, one margin (25 unless given).
    if (argc > 2 && std::string(argv[1]) == "--records") {
        Run(std::stoul(argv[2]), {argc > 4 ? std::stoi(argv[4]) : 25});
        return 0;
    }
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    Run(100000);
    if (!quick) Run(1000000);
}
