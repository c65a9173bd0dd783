// Table store figures on a signature table of 100,000 records (names, folders
// and 192-character signature texts as a picture collection gives them):
// Append+Post, SeekKey on the primary index, a First/Next walk of the
// BySignature order, RecordCount, RepairTable, and the process's peak memory;
// what the syncs that guard the dates cost per stored picture (updates as a
// compute run makes them, with and without the grouped syncs). Each figure is
// the median of several rounds on a fresh table, by the wall clock and by the
// process's CPU time (which other load on the machine does not inflate); the
// sizes of the same table made with the earlier definitions (names of 100)
// follow.
// Usage: bench_tablestore [--rounds N] [--legacy] [records] [folder]
//   --legacy: the rounds use the earlier definitions.
//        bench_tablestore --repair folder
//   repairs the table a run with a folder left there, printing the repair's
//   time and memory alone (for 1,000,000 records).
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tablestore/SignatureTables.h"

using namespace corvane;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU time of the process (one thread): the figure that other load on the
// machine does not inflate.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct TPicture {
    std::string name, folder, signature;
};

std::string SignatureText(std::mt19937& random) {
    // Neighbouring blocks of a picture are alike: a base colour plus noise.
    std::string text;
    const int base[3] = {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                         static_cast<int>(random() % 256)};
    for (int block = 0; block < 16; ++block)
        for (int channel = 0; channel < 3; ++channel) {
            const int value =
                std::clamp(base[channel] + static_cast<int>(random() % 61) - 30, 0, 255);
            char field[8];
            std::snprintf(field, sizeof field, "%4d", value);
            text += field;
        }
    return text;
}

std::vector<TPicture> MakePictures(int count) {
    std::mt19937 random(2024);
    const char* roots[] = {"/home/anna/Pictures/", "/media/photos/Archive/",
                           "/home/anna/Downloads/"};
    const char* stems[] = {"IMG_", "DSC", "Scan ", "holiday-", "P10"};
    std::vector<TPicture> pictures;
    for (int i = 0; i < count; ++i) {
        TPicture p;
        p.folder = std::string(roots[random() % 3]) + std::to_string(2005 + random() % 19) + "/" +
                   "Event " + std::to_string(random() % 400) + "/";
        p.name = std::string(stems[random() % 5]) + std::to_string(i * 7 + random() % 7) +
                 (random() % 4 ? ".jpg" : ".JPG");
        p.signature = SignatureText(random);
        pictures.push_back(p);
    }
    return pictures;
}

// Anonymous (heap) memory now, without the file pages mapped for reading,
// which belong to the system's file cache.
long AnonRssMiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "RssAnon: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb / 1024;
}

long PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace

// Repairs the signature table in `folder`, sampling the heap at each step.
int RepairOnly(std::string folder) {
    if (folder.back() != '/') folder += '/';
    TSignaturesTableObjects sigs;
    TStoreTable& table = sigs.SignaturesTable;
    table.SetDatabaseName(folder);
    long anonPeak = AnonRssMiB();
    table.OnRepairProgress = [&](int) { anonPeak = std::max(anonPeak, AnonRssMiB()); };
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    table.RepairTable();
    const double seconds = Seconds(start);
    table.Open();
    std::printf("RepairTable of %d records  %.3f s wall, %.3f s CPU\n", table.RecordCount(),
                seconds, CpuSeconds() - cpu);
    std::printf(
        "heap (RssAnon) during the repair at most %ld MiB; peak RSS %ld MiB (includes "
        "the data file mapped for reading)\n",
        anonPeak, PeakRssMiB());
    return 0;
}

namespace {

// Wall-clock and CPU time of one step.
struct TTime {
    double wall = 0, cpu = 0;
};

class TStopwatch {
  public:
    TStopwatch() : start_(Clock::now()), cpu_(CpuSeconds()) {}
    TTime Elapsed() const { return {Seconds(start_), CpuSeconds() - cpu_}; }

  private:
    Clock::time_point start_;
    double cpu_;
};

// Stores `count` changed pictures as a compute run does (seek, edit, new date
// and signature, post).
TTime Update(TSignaturesTableObjects& sigs, const std::vector<TPicture>& pictures, int count,
             double date) {
    TStoreTable& table = sigs.SignaturesTable;
    table.SetIndexName("");
    const TStopwatch watch;
    for (int i = 0; i < count; ++i) {
        const TPicture& p = pictures[static_cast<size_t>(i) * 7 % pictures.size()];
        table.BeginKey();
        sigs.SignaturesTableFileName.SetAsString(p.name);
        sigs.SignaturesTableFilePath.SetAsString(p.folder);
        if (!table.SeekKey()) continue;
        table.Edit();
        sigs.SignaturesTableFileDate.SetAsDateTime(date + i / 86400.0);
        sigs.SignaturesTableSignature.SetAsString(p.signature);
        table.Post();
    }
    return watch.Elapsed();
}

// The figures of one round, per record or per step as printed.
struct TRound {
    TTime append, seekMean, walk, guarded, plain, repair;
    double seekMedian = 0, seekP99 = 0, close = 0, countMicros = 0;
    int records = 0, found = 0;
    long walked = 0, checksum = 0;
    long anonAfterAppend = 0;
    double dataMiB = 0, indexMiB = 0;
};

void MakeTable(const std::string& folder, bool legacy) {
    for (const char* name : {"Signatures.DAT", "Signatures.IDX", "Matches.DAT", "Matches.IDX"})
        std::filesystem::remove(folder + name);
    if (!legacy) return;
    using TDefine = void (*)(TFieldDefs&, TIndexDefs&);
    const std::pair<const char*, TDefine> tables[] = {
        {"Signatures.DAT", DefineLegacySignaturesTable}, {"Matches.DAT", DefineLegacyMatchTable}};
    for (const auto& [name, define] : tables) {
        TStoreTable made;
        made.SetDatabaseName(folder);
        made.SetTableName(name);
        define(made.FieldDefs, made.IndexDefs);
        made.CreateTable();
    }
}

TTime AppendAll(TSignaturesTableObjects& sigs, const std::vector<TPicture>& pictures) {
    TStoreTable& table = sigs.SignaturesTable;
    const TStopwatch watch;
    for (const auto& p : pictures) {
        table.Append();
        sigs.SignaturesTableFileName.SetAsString(p.name);
        sigs.SignaturesTableFilePath.SetAsString(p.folder);
        sigs.SignaturesTableFileDate.SetAsDateTime(43000.25);
        sigs.SignaturesTableSignature.SetAsString(p.signature);
        table.Post();
    }
    return watch.Elapsed();
}

TRound RunRound(const std::string& folder, bool legacy, const std::vector<TPicture>& pictures) {
    TRound round;
    const int count = static_cast<int>(pictures.size());
    MakeTable(folder, legacy);
    TSignaturesTableObjects sigs;
    TMatchTableObjects matches;
    OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
    TStoreTable& table = sigs.SignaturesTable;

    round.append = AppendAll(sigs, pictures);
    round.anonAfterAppend = AnonRssMiB();

    std::mt19937 random(7);
    std::vector<double> seeks;
    constexpr int kSeeks = 20000;
    TStopwatch watch;
    for (int i = 0; i < kSeeks; ++i) {
        const auto& p = pictures[random() % pictures.size()];
        const auto t0 = Clock::now();
        table.BeginKey();
        sigs.SignaturesTableFileName.SetAsString(p.name);
        sigs.SignaturesTableFilePath.SetAsString(p.folder);
        round.found += table.SeekKey();
        seeks.push_back(Seconds(t0) * 1e6);
    }
    round.seekMean = watch.Elapsed();
    std::sort(seeks.begin(), seeks.end());
    round.seekMedian = seeks[seeks.size() / 2];
    round.seekP99 = seeks[seeks.size() * 99 / 100];

    table.SetIndexName("BySignature");
    watch = TStopwatch();
    for (table.First(); !table.AtEnd(); table.Next()) {
        ++round.walked;
        round.checksum += static_cast<long>(sigs.SignaturesTableSignature.AsString().size());
    }
    round.walk = watch.Elapsed();

    // Stored pictures as a compute run stores them: dates held back behind
    // grouped syncs, then the same without them.
    const int updates = std::min(count, 20000);
    round.guarded = Update(sigs, pictures, updates, 45000);
    table.Close();
    table.SetVouchingField("");
    table.Open();
    round.plain = Update(sigs, pictures, updates, 46000);
    table.Close();
    table.SetVouchingField("FileDate");
    table.Open();

    auto start = Clock::now();
    round.records = table.RecordCount();
    round.countMicros = Seconds(start) * 1e6;

    start = Clock::now();
    table.Close();
    round.close = Seconds(start);
    watch = TStopwatch();
    table.RepairTable();
    round.repair = watch.Elapsed();
    table.Open();
    round.dataMiB = std::filesystem::file_size(folder + "Signatures.DAT") / 1048576.0;
    round.indexMiB = std::filesystem::file_size(folder + "Signatures.IDX") / 1048576.0;
    table.Close();
    matches.MatchTable.Close();

    const double per = 1e6 / count, perUpdate = 1e6 / updates;
    auto scale = [](TTime t, double factor) { return TTime{t.wall * factor, t.cpu * factor}; };
    round.append = scale(round.append, per);
    round.seekMean = scale(round.seekMean, 1e6 / kSeeks);
    round.guarded = scale(round.guarded, perUpdate);
    round.plain = scale(round.plain, perUpdate);
    return round;
}

// The median of one figure over the rounds.
template <class F>
double Median(const std::vector<TRound>& rounds, F figure) {
    std::vector<double> values;
    for (const TRound& round : rounds) values.push_back(figure(round));
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Sizes of a table of `pictures` with the earlier or the current definitions.
std::pair<double, double> TableSizeMiB(const std::string& folder, bool legacy,
                                       const std::vector<TPicture>& pictures) {
    MakeTable(folder, legacy);
    {
        TSignaturesTableObjects sigs;
        TMatchTableObjects matches;
        OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
        AppendAll(sigs, pictures);
    }
    return {std::filesystem::file_size(folder + "Signatures.DAT") / 1048576.0,
            std::filesystem::file_size(folder + "Signatures.IDX") / 1048576.0};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--repair") return RepairOnly(argv[2]);
    int rounds = 3;
    bool legacy = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--legacy")
            legacy = true;
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            args.push_back(arg);
    }
    const int count = !args.empty() ? std::atoi(args[0].c_str()) : 100000;
    const bool keep = args.size() > 1;
    std::string folder = keep ? args[1] : "/tmp/corvane-bench-ts-" + std::to_string(getpid()) + "/";
    if (folder.back() != '/') folder += '/';
    std::filesystem::create_directories(folder);
    const auto pictures = MakePictures(count);
    const long anonBefore = AnonRssMiB();

    std::vector<TRound> results;
    for (int i = 0; i < rounds; ++i) results.push_back(RunRound(folder, legacy, pictures));
    const auto med = [&](auto figure) { return Median(results, figure); };

    std::printf(
        "table: %s definitions; %d records; median of %d rounds (wall clock, process CPU)\n",
        legacy ? "earlier (names of 100)" : "current (names of 250)", count, rounds);
    const TRound& last = results.back();
    std::printf("records                     %d (found %d/20000, walked %ld, %ld chars)\n",
                last.records, last.found, last.walked, last.checksum);
    std::printf("Append+Post                 %.2f us per record wall, %.2f us CPU (limit 20 us)\n",
                med([](const TRound& r) { return r.append.wall; }),
                med([](const TRound& r) { return r.append.cpu; }));
    std::printf(
        "SeekKey primary             %.2f us median wall, %.2f us p99, %.2f us mean wall, %.2f us "
        "mean CPU (limit 5 us median)\n",
        med([](const TRound& r) { return r.seekMedian; }),
        med([](const TRound& r) { return r.seekP99; }),
        med([](const TRound& r) { return r.seekMean.wall; }),
        med([](const TRound& r) { return r.seekMean.cpu; }));
    std::printf("First/Next BySignature      %.3f s wall, %.3f s CPU (limit 0.2 s)\n",
                med([](const TRound& r) { return r.walk.wall; }),
                med([](const TRound& r) { return r.walk.cpu; }));
    std::printf("RecordCount                 %.2f us (no records visited)\n",
                med([](const TRound& r) { return r.countMicros; }));
    const double guardedWall = med([](const TRound& r) { return r.guarded.wall; });
    const double plainWall = med([](const TRound& r) { return r.plain.wall; });
    const double guardedCpu = med([](const TRound& r) { return r.guarded.cpu; });
    const double plainCpu = med([](const TRound& r) { return r.plain.cpu; });
    std::printf(
        "changed picture stored      %.2f us wall (%.2f CPU) with the dates' grouped syncs, %.2f "
        "us "
        "(%.2f CPU) without: the syncs cost %.2f us wall, %.2f us CPU per picture\n",
        guardedWall, guardedCpu, plainWall, plainCpu, guardedWall - plainWall,
        guardedCpu - plainCpu);
    std::printf("Close (checkpoint)          %.3f s\n",
                med([](const TRound& r) { return r.close; }));
    std::printf("RepairTable                 %.3f s wall, %.3f s CPU (limit 3 s)\n",
                med([](const TRound& r) { return r.repair.wall; }),
                med([](const TRound& r) { return r.repair.cpu; }));
    std::printf(
        "heap (RssAnon)              %ld MiB after the appends, %ld MiB before the table (test "
        "data)\n",
        last.anonAfterAppend, anonBefore);
    std::printf("peak RSS                    %ld MiB (includes file pages mapped for reading)\n",
                PeakRssMiB());
    std::printf("data file %.1f MiB, index file %.1f MiB (after the repair)\n", last.dataMiB,
                last.indexMiB);
    const auto older = TableSizeMiB(folder, true, pictures);
    const auto current = TableSizeMiB(folder, false, pictures);
    std::printf(
        "table of %d records as appended: names of 100 (earlier) %.1f + %.1f MiB, names of 250 "
        "(current) %.1f + %.1f MiB (data + index)\n",
        count, older.first, older.second, current.first, current.second);
    if (!keep) std::filesystem::remove_all(folder);
    return 0;
}
