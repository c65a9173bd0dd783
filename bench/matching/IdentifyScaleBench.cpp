// Identify all at scale: signature tables of 100,000 and 1,000,000 records of
// a realistic distribution (see SignatureGenerator.h), identify all at
// margins 5, 25 and 50 through the engine (rows appended to the match table
// included), with time (wall clock and process CPU), rows found and memory
// beyond the table store. The tables are kept in the work folder (by default
// under /tmp) and used again by later runs, which then skip the minutes of
// writing 1,000,000 records.
// Usage: bench_identify_scale [--quick] [--fresh] [--rotations] [--records N --margin M]
// [WORK_FOLDER] (--records runs one table of N records at margin M, 25
// unless given, e.g. for a profiler; --fresh writes the kept tables anew;
// --rotations runs every identify a second time matching turned and
// mirrored copies too, target <= 8 x the time)
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchMeasures.h"
#include "matching/SignatureGenerator.h"
#include "matching/SignatureSnapshot.h"
#include "scan/Engine.h"
#include "util/Exception.h"

using namespace corvane;
using namespace corvane::bench;

namespace {

void WarmStore(TSignaturesTableObjects& signatures) {
    TStoreTable& table = signatures.SignaturesTable;
    const std::string indexName = table.IndexName();
    size_t characters = 0;
    // The outer walk's order, then the snapshot's.
    for (const std::string& order : {indexName, std::string("BySignature")}) {
        table.SetIndexName(order);
        for (table.First(); !table.AtEnd(); table.Next())
            characters += signatures.SignaturesTableFileName.Value().size() +
                          signatures.SignaturesTableFilePath.Value().size() +
                          signatures.SignaturesTableSignature.Value().size();
    }
    table.SetIndexName(indexName);
    if (characters == 0) std::printf("  (empty table)\n");
}

// The structures identify all builds over the table (snapshot, search index,
// row prefetch), alone: their own count and the resident memory they add.
void MeasureSnapshot(TCorvaneEngine& engine, size_t count) {
    const long before = Resident();
    ResetPeak();
    const auto start = std::chrono::steady_clock::now();
    TSignatureSnapshot snapshot;
    snapshot.Load(engine.Signatures, TIgnoreList());
    const double seconds = Seconds(start);
    std::printf(
        "  snapshot loaded in %.2f s: %.0f bytes per record held, peak resident %+.0f "
        "bytes per record\n",
        seconds, static_cast<double>(snapshot.MemoryUsed()) / count,
        static_cast<double>(PeakResident() - before) / count);
}

// CPU time of the process: the figure that other load on the machine does
// not inflate.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void WriteTable(TCorvaneEngine& engine, size_t count) {
    const std::vector<TSignature> signatures = GenerateSignatures(count, 42);
    TStoreTable& table = engine.Signatures.SignaturesTable;
    for (size_t i = 0; i < count; ++i) {
        table.Append();
        engine.Signatures.SignaturesTableFileName.SetValue(Format("IMG_%06zu.JPG", i));
        engine.Signatures.SignaturesTableFilePath.SetValue(
            Format("/home/user/Pictures/%zu/album %zu/", 2000 + i % 25, i % 397));
        engine.Signatures.SignaturesTableFileDate.SetValue(40000.0 + static_cast<double>(i));
        engine.Signatures.SignaturesTableSignature.SetValue(SignatureToString(signatures[i]));
        table.Post();
    }
}

// What a kept table was written from: a table is used again only when its
// note says the same (and the table holds that many records).
std::string TableNote(size_t count) {
    return "records " + std::to_string(count) + ", signatures seed 42, names IMG_%06zu.JPG\n";
}

std::string ReadNote(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The table stays in `folder` for later runs, and one left there by an
// earlier run of the same note is used instead of writing it again.
void Run(const std::string& folder, size_t count, const std::vector<int>& margins, bool rotations) {
    const std::string note = folder + "/table-note.txt";
    const bool reuse = ReadNote(note) == TableNote(count);
    if (!reuse) std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.StartUp(folder);
    engine.State.BatchMode = true;
    auto start = std::chrono::steady_clock::now();
    if (reuse && engine.Signatures.SignaturesTable.RecordCount() == static_cast<int>(count)) {
        std::printf("%zu records: table kept from an earlier run (%s)\n", count, folder.c_str());
    } else {
        WriteTable(engine, count);
        std::printf("%zu records: table written in %.1f s\n", count, Seconds(start));
        std::ofstream(note) << TableNote(count);
    }
    const long written = Resident();
    // The table store keeps index pages in its own cache (up to 60 MiB): one
    // walk in the search's order fills it, so that the figures below count
    // what identify all holds beyond the store.
    start = std::chrono::steady_clock::now();
    WarmStore(engine.Signatures);
    std::printf("  store warmed in %.2f s (%+.0f bytes per record)\n", Seconds(start),
                static_cast<double>(Resident() - written) / count);
    MeasureSnapshot(engine, count);
    for (int margin : margins) {
        controls.Margin = std::to_string(margin);
        const long before = Resident();
        ResetPeak();
        start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        std::string failure;
        try {
            engine.Matcher.IdentifyButtonClick();
        } catch (const Exception& error) {
            // e.g. more rows than the match table holds (margin 50 finds
            // dozens per record in the per-channel mode)
            failure = " -- stopped: " + error.Message();
        }
        const double seconds = Seconds(start);
        const double cpuSeconds = CpuSeconds() - cpu;
        const long rows = engine.Matches.MatchTable.RecordCount();
        // What the store keeps afterwards (the match rows, their index
        // pages) is its own memory; the rest of the peak is identify's.
        const long peak = PeakResident() - before;
        const long kept = Resident() - before;
        std::printf(
            "  margin %2d: %7.2f s wall, %7.2f s CPU, %9ld rows (%.2f per record), peak memory "
            "%+.0f bytes per record, %+.0f beyond what the store keeps%s\n",
            margin, seconds, cpuSeconds, rows, static_cast<double>(rows) / count,
            static_cast<double>(peak) / count, static_cast<double>(peak - kept) / count,
            failure.c_str());
        std::fflush(stdout);
        if (!rotations) continue;
        controls.Rotations = true;
        start = std::chrono::steady_clock::now();
        failure.clear();
        try {
            engine.Matcher.IdentifyButtonClick();
        } catch (const Exception& error) {
            failure = " -- stopped: " + error.Message();
        }
        const double turned = Seconds(start);
        controls.Rotations = false;
        std::printf("  margin %2d with rotations: %7.2f s (%.2f x), %9d rows%s\n", margin, turned,
                    turned / seconds, engine.Matches.MatchTable.RecordCount(), failure.c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false, fresh = false, rotations = false;
    size_t records = 0;
    int margin = 25;
    std::string work = (std::filesystem::temp_directory_path() / "corvane-identify-bench").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--fresh") == 0)
            fresh = true;
        else if (std::strcmp(argv[i], "--rotations") == 0)
            rotations = true;
        else if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc)
            records = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--margin") == 0 && i + 1 < argc)
            margin = std::stoi(argv[++i]);
        else
            work = argv[i];
    }
    if (fresh) std::filesystem::remove_all(work);
    const auto folder = [&](size_t count) { return work + "/" + std::to_string(count); };
    if (records > 0) {
        Run(folder(records), records, {margin}, rotations);
        return 0;
    }
    Run(folder(quick ? 20000 : 100000), quick ? 20000 : 100000, {5, 25, 50}, rotations);
    if (!quick) Run(folder(1000000), 1000000, {5, 25}, rotations);
}
