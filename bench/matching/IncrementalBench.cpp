// Incremental matching at scale: a compute run that posts N new signatures
// (the realistic distribution of SignatureGenerator.h) into an empty table
// with incremental matching at margin 25, as the engine does it (post, then
// the match search of the new record); then, at N records, the cost of one
// more record's search on the table against the in-memory index.
// Usage: bench_incremental [--records N] [WORK_FOLDER]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchMeasures.h"
#include "matching/LiveSignatureIndex.h"
#include "matching/SignatureGenerator.h"
#include "scan/Engine.h"

using namespace corvane;
using namespace corvane::bench;

namespace {

class TRun {
  public:
    TRun(const std::string& folder, size_t count)
        : engine_(controls_), signatures_(GenerateSignatures(count + kSample, 42)) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        engine_.StartUp(folder);
        engine_.State.BatchMode = true;
        engine_.State.MatchMargin = 25;
        engine_.State.FullScanMatch = false;
    }

    // Appends picture I and tells the index, as the signature update does.
    void Post(size_t i) {
        TSignaturesTableObjects& s = engine_.Signatures;
        s.SignaturesTable.Append();
        s.SignaturesTableFileName.SetValue(Format("IMG_%07zu.JPG", i));
        s.SignaturesTableFilePath.SetValue(
            Format("/home/user/Pictures/%zu/album %zu/", 2000 + i % 25, i % 397));
        s.SignaturesTableFileDate.SetValue(40000.0 + static_cast<double>(i));
        s.SignaturesTableSignature.SetValue(SignatureToString(signatures_[i]));
        s.SignaturesTable.Post();
        index_.RecordPosted(s);
    }

    void Grow(size_t count) {
        double posting = 0, matching = 0;
        for (size_t i = 0; i < count; ++i) {
            auto start = std::chrono::steady_clock::now();
            Post(i);
            posting += Seconds(start);
            start = std::chrono::steady_clock::now();
            engine_.Matcher.CompareRunRecord(index_);
            matching += Seconds(start);
        }
        std::printf(
            "%zu pictures posted with incremental matching: %.1f s, per picture %.1f us to post "
            "(with the index kept in step) and %.1f us to search and append the rows; %d rows; "
            "index %.0f bytes per record, peak resident %.0f MiB\n",
            count, posting + matching, posting * 1e6 / count, matching * 1e6 / count,
            engine_.Matches.MatchTable.RecordCount(),
            static_cast<double>(index_.MemoryUsed()) / count,
            static_cast<double>(PeakResident()) / (1 << 20));
    }

    // One more picture at a time: its search on the table, then through the index.
    void CompareOneMore(size_t count) {
        double table = 0, indexed = 0;
        TStoreTable& matches = engine_.Matches.MatchTable;
        for (size_t i = count; i < count + kSample; ++i) {
            Post(i);
            matches.EmptyTable();
            auto start = std::chrono::steady_clock::now();
            engine_.Matcher.CompareOneImage(false);
            table += Seconds(start);
            matches.EmptyTable();  // the same rows again
            start = std::chrono::steady_clock::now();
            engine_.Matcher.CompareRunRecord(index_);
            indexed += Seconds(start);
        }
        std::printf(
            "  search of one more picture at %zu records: on the table %.2f ms, through the "
            "index %.1f us (%.0f x)\n",
            count, table * 1e3 / kSample, indexed * 1e6 / kSample, table / indexed);
    }

  private:
    static constexpr size_t kSample = 200;
    TPlainFormControls controls_;
    TCorvaneEngine engine_;
    std::vector<TSignature> signatures_;
    TLiveSignatureIndex index_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<size_t> counts = {100'000, 1'000'000};
    std::string work =
        (std::filesystem::temp_directory_path() / "corvane-incremental-bench").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc)
            counts = {std::stoul(argv[++i])};
        else
            work = argv[i];
    }
    for (const size_t count : counts) {
        TRun run(work, count);
        run.Grow(count);
        run.CompareOneMore(count);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(work);
    return 0;
}
