// Grouping at scale: 1,000,000 signature records with about 500,000 match
// rows (clusters of near copies among single pictures), grouped from rows and
// signatures held in memory (what reading the tables hands over) and through
// the table files; time and memory per record.
// Usage: bench_groups [--quick] [--records N] [--table-records N] [--no-tables]
//                     [WORK_FOLDER]
// (the tables hold 100,000 records unless --table-records says otherwise: a
// million take minutes to write)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../matching/BenchMeasures.h"
#include "matching/SignatureCompare.h"
#include "review/GroupReview.h"
#include "tablestore/SignatureTables.h"
#include "util/Exception.h"

using namespace corvane;
using namespace corvane::bench;

namespace {

struct TRow {
    int32_t MaxDiff;
    uint32_t A;
    uint32_t B;
};

struct TCollection {
    std::vector<std::string> Folders;
    std::vector<std::string> Names;
    std::vector<std::string> Texts;
    std::vector<TRow> Rows;
};

// Mostly single pictures; clusters of 2, 3, 4 and 6 near copies, every pair
// within the margin a row, in the match table's order (closest first).
TCollection Generate(size_t count, int32_t margin) {
    std::mt19937 random(7);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    TCollection collection;
    std::vector<TSignature> cluster;
    while (collection.Names.size() < count) {
        const int draw = uniform(0, 99);
        const size_t size = draw < 76 ? 1 : draw < 88 ? 2 : draw < 95 ? 3 : draw < 99 ? 4 : 6;
        TSignature base;
        for (int32_t& v : base.Values) v = uniform(0, 255);
        cluster.clear();
        const size_t first = collection.Names.size();
        for (size_t c = 0; c < size && collection.Names.size() < count; ++c) {
            TSignature copy = base;
            const int noise = c == 0 ? 0 : uniform(2, 15);
            for (int32_t& v : copy.Values) v = std::clamp(v + uniform(-noise, noise), 0, 255);
            const size_t i = collection.Names.size();
            collection.Folders.push_back(
                Format("/home/user/Pictures/%zu/album %zu/", 2000 + i % 25, i % 397));
            collection.Names.push_back(Format("IMG_%07zu.JPG", i));
            collection.Texts.push_back(SignatureToString(copy));
            for (size_t k = 0; k < cluster.size(); ++k) {
                int32_t diff = 0;
                if (SignaturesMatch(cluster[k], copy, margin, true, diff))
                    collection.Rows.push_back(
                        {diff, static_cast<uint32_t>(first + k), static_cast<uint32_t>(i)});
            }
            cluster.push_back(copy);
        }
    }
    std::stable_sort(collection.Rows.begin(), collection.Rows.end(),
                     [](const TRow& x, const TRow& y) { return x.MaxDiff < y.MaxDiff; });
    return collection;
}

// Processor time of this process: the machine may be busy with other work,
// which stretches the wall-clock figure but not this one.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void Report(const char* what, double seconds, double cpu, long peak, size_t records,
            const TGroups& groups) {
    std::printf(
        "  %s: %.2f s (processor %.2f s), peak memory %+.0f bytes per record; %zu groups, %zu "
        "members\n",
        what, seconds, cpu, static_cast<double>(peak) / records, groups.Count(),
        groups.MemberCount());
    std::fflush(stdout);
}

// Rows and signature texts handed over as reading the tables would: the rows
// first, then every signature record.
void GroupInMemory(const TCollection& collection, int32_t margin) {
    const size_t records = collection.Names.size();
    const long before = Resident();
    ResetPeak();
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    TMatchGraph graph;
    graph.Reserve(collection.Rows.size());
    std::string file1;
    std::string file2;
    for (const TRow& row : collection.Rows) {
        file1 = collection.Folders[row.A] + collection.Names[row.A];
        file2 = collection.Folders[row.B] + collection.Names[row.B];
        graph.AddRow(file1, file2, row.MaxDiff);
    }
    for (size_t i = 0; i < records; ++i) {
        file1 = collection.Folders[i] + collection.Names[i];
        graph.SetSignature(file1, collection.Texts[i]);
    }
    const double loaded = Seconds(start);
    std::vector<TMatchEdge> edges = graph.Edges(margin, true);
    const TGroups groups = FormGroups(graph.Names().Size(), std::move(edges));
    const double seconds = Seconds(start);
    std::printf("  graph: %zu pictures in rows, %.0f bytes per record held, built in %.2f s\n",
                graph.Names().Size(), static_cast<double>(graph.MemoryUsed()) / records, loaded);
    Report("grouped in memory (graph, edges, groups)", seconds, CpuSeconds() - cpu,
           PeakResident() - before, records, groups);
}

void GroupThroughTables(const TCollection& collection, const std::string& folder, int32_t margin) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    TSignaturesTableObjects signatures;
    TMatchTableObjects matches;
    OpenProgramTables(signatures.SignaturesTable, matches.MatchTable, folder + "/");
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < collection.Names.size(); ++i) {
        signatures.SignaturesTable.Append();
        signatures.SignaturesTableFileName.SetValue(collection.Names[i]);
        signatures.SignaturesTableFilePath.SetValue(collection.Folders[i]);
        signatures.SignaturesTableFileDate.SetValue(40000.0);
        signatures.SignaturesTableSignature.SetValue(collection.Texts[i]);
        signatures.SignaturesTable.Post();
    }
    for (const TRow& row : collection.Rows) {
        matches.MatchTable.Append();
        matches.MatchTableMaxDiff.SetValue(row.MaxDiff);
        matches.MatchTableFile1.SetValue(collection.Folders[row.A] + collection.Names[row.A]);
        matches.MatchTableFile2.SetValue(collection.Folders[row.B] + collection.Names[row.B]);
        matches.MatchTable.Post();
    }
    std::printf("  tables written in %.1f s\n", Seconds(start));
    // The store keeps pages in its own cache; one walk fills it, so that the
    // memory figure counts what grouping holds beyond the store.
    for (TStoreTable* table : {&signatures.SignaturesTable, &matches.MatchTable})
        for (table->First(); !table->AtEnd(); table->Next()) {
        }
    const size_t records = collection.Names.size();
    const long before = Resident();
    const long mappedBefore = StatusBytes("RssFile");
    ResetPeak();
    start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    TGroupReview review;
    review.Load(matches, signatures, folder + "/");
    const double loaded = Seconds(start);
    review.Regroup(margin, true);
    const double seconds = Seconds(start);
    std::printf("  tables read in %.2f s\n", loaded);
    // The store maps its files: their pages count as resident but are the
    // files', shared with the system's page cache.
    const long mapped = StatusBytes("RssFile") - mappedBefore;
    Report("grouped through the tables (read, edges, groups; memory beyond the mapped files)",
           seconds, CpuSeconds() - cpu, PeakResident() - before - mapped, records, review.Groups());
}

}  // namespace

int main(int argc, char** argv) {
    size_t records = 1000000;
    size_t tableRecords = 100000;
    bool tables = true;
    std::string work = (std::filesystem::temp_directory_path() / "corvane-groups-bench").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            records = tableRecords = 100000;
        else if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc)
            records = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--table-records") == 0 && i + 1 < argc)
            tableRecords = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--no-tables") == 0)
            tables = false;
        else
            work = argv[i];
    }
    const int32_t margin = 25;
    const TCollection collection = Generate(records, margin);
    std::printf(
        "%zu records, %zu match rows at margin %d (targets: <= 3 s, <= 100 bytes per "
        "record)\n",
        records, collection.Rows.size(), margin);
    GroupInMemory(collection, margin);
    if (tables) {
        // Writing a million records through the store takes minutes; the
        // tables get a tenth unless --table-records says otherwise.
        if (tableRecords == 0) tableRecords = records;
        const TCollection inTables =
            tableRecords == records ? collection : Generate(tableRecords, margin);
        std::printf("%zu records, %zu match rows in the tables\n", tableRecords,
                    inTables.Rows.size());
        GroupThroughTables(inTables, work, margin);
    }
    std::filesystem::remove_all(work);
    return 0;
}
