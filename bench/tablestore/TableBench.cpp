// Table store figures on a signature table of 100,000 records (names, folders
// and 192-character signature texts as a picture collection gives them):
// Append+Post, SeekKey on the primary index, a First/Next walk of the
// BySignature order, RecordCount, RepairTable, and the process's peak memory;
// what the syncs that guard the dates cost per stored picture (updates as a
// compute run makes them, with and without the grouped syncs).
// Usage: bench_tablestore [--legacy] [records] [folder]
//   --legacy: the table made with the earlier definitions (names of 100).
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

// CPU time of this thread: the figure that other load on the machine does
// not inflate.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
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

// Stores `count` changed pictures as a compute run does (seek, edit, new date
// and signature, post); returns microseconds per picture.
double UpdateMicros(TSignaturesTableObjects& sigs, const std::vector<TPicture>& pictures, int count,
                    double date) {
    TStoreTable& table = sigs.SignaturesTable;
    table.SetIndexName("");
    const auto start = Clock::now();
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
    return Seconds(start) * 1e6 / count;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--repair") return RepairOnly(argv[2]);
    const bool legacy = argc > 1 && std::string(argv[1]) == "--legacy";
    if (legacy) {
        --argc;
        ++argv;
    }
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::string folder =
        argc > 2 ? argv[2] : "/tmp/corvane-bench-ts-" + std::to_string(getpid()) + "/";
    if (folder.back() != '/') folder += '/';
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder + "Signatures.DAT");
    std::filesystem::remove(folder + "Signatures.IDX");
    std::filesystem::remove(folder + "Matches.DAT");
    std::filesystem::remove(folder + "Matches.IDX");
    const auto pictures = MakePictures(count);
    const long anonBefore = AnonRssMiB();

    if (legacy) {
        using TDefine = void (*)(TFieldDefs&, TIndexDefs&);
        const std::pair<const char*, TDefine> tables[] = {
            {"Signatures.DAT", DefineLegacySignaturesTable},
            {"Matches.DAT", DefineLegacyMatchTable}};
        for (const auto& [name, define] : tables) {
            TStoreTable made;
            made.SetDatabaseName(folder);
            made.SetTableName(name);
            define(made.FieldDefs, made.IndexDefs);
            made.CreateTable();
        }
    }
    TSignaturesTableObjects sigs;
    TMatchTableObjects matches;
    OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
    TStoreTable& table = sigs.SignaturesTable;

    auto start = Clock::now();
    double cpu = CpuSeconds();
    for (const auto& p : pictures) {
        table.Append();
        sigs.SignaturesTableFileName.SetAsString(p.name);
        sigs.SignaturesTableFilePath.SetAsString(p.folder);
        sigs.SignaturesTableFileDate.SetAsDateTime(43000.25);
        sigs.SignaturesTableSignature.SetAsString(p.signature);
        table.Post();
    }
    const double appendSeconds = Seconds(start);
    const double appendCpu = CpuSeconds() - cpu;
    const long anonAfterAppend = AnonRssMiB();

    std::mt19937 random(7);
    std::vector<double> seeks;
    int found = 0;
    cpu = CpuSeconds();
    for (int i = 0; i < 20000; ++i) {
        const auto& p = pictures[random() % pictures.size()];
        const auto t0 = Clock::now();
        table.BeginKey();
        sigs.SignaturesTableFileName.SetAsString(p.name);
        sigs.SignaturesTableFilePath.SetAsString(p.folder);
        found += table.SeekKey();
        seeks.push_back(Seconds(t0) * 1e6);
    }
    const double seekCpu = (CpuSeconds() - cpu) / 20000 * 1e6;
    std::sort(seeks.begin(), seeks.end());

    table.SetIndexName("BySignature");
    start = Clock::now();
    cpu = CpuSeconds();
    long walked = 0, checksum = 0;
    for (table.First(); !table.AtEnd(); table.Next()) {
        ++walked;
        checksum += static_cast<long>(sigs.SignaturesTableSignature.AsString().size());
    }
    const double walkSeconds = Seconds(start);
    const double walkCpu = CpuSeconds() - cpu;

    // Stored pictures as a compute run stores them: dates held back behind
    // grouped syncs, then the same without them.
    const int updates = std::min(count, 20000);
    const double guardedMicros = UpdateMicros(sigs, pictures, updates, 45000);
    table.Close();
    table.SetVouchingField("");
    table.Open();
    const double plainMicros = UpdateMicros(sigs, pictures, updates, 46000);
    table.Close();
    table.SetVouchingField("FileDate");
    table.Open();

    start = Clock::now();
    const int records = table.RecordCount();
    const double countMicros = Seconds(start) * 1e6;

    start = Clock::now();
    table.Close();
    const double closeSeconds = Seconds(start);
    start = Clock::now();
    cpu = CpuSeconds();
    table.RepairTable();
    const double repairSeconds = Seconds(start);
    const double repairCpu = CpuSeconds() - cpu;
    table.Open();

    std::printf("records                     %d (found %d/20000, walked %ld, %ld chars)\n", records,
                found, walked, checksum);
    std::printf("Append+Post                 %.2f us per record wall, %.2f us CPU (limit 20 us)\n",
                appendSeconds * 1e6 / count, appendCpu * 1e6 / count);
    std::printf(
        "SeekKey primary             %.2f us median wall, %.2f us p99, %.2f us CPU mean (limit 5 "
        "us median)\n",
        seeks[seeks.size() / 2], seeks[seeks.size() * 99 / 100], seekCpu);
    std::printf("First/Next BySignature      %.3f s wall, %.3f s CPU (limit 0.2 s)\n", walkSeconds,
                walkCpu);
    std::printf("RecordCount                 %.2f us (no records visited)\n", countMicros);
    std::printf(
        "changed picture stored      %.2f us with the dates' grouped syncs, %.2f us "
        "without: %.2f us per picture for the syncs\n",
        guardedMicros, plainMicros, guardedMicros - plainMicros);
    std::printf("Close (checkpoint)          %.3f s\n", closeSeconds);
    std::printf("RepairTable                 %.3f s wall, %.3f s CPU (limit 3 s)\n", repairSeconds,
                repairCpu);
    std::printf(
        "heap (RssAnon)              %ld MiB after the appends, %ld MiB before the table (test "
        "data)\n",
        anonAfterAppend, anonBefore);
    std::printf("peak RSS                    %ld MiB (includes file pages mapped for reading)\n",
                PeakRssMiB());
    std::printf("data file %.1f MiB, index file %.1f MiB\n",
                std::filesystem::file_size(folder + "Signatures.DAT") / 1048576.0,
                std::filesystem::file_size(folder + "Signatures.IDX") / 1048576.0);
    table.Close();
    matches.MatchTable.Close();
    std::printf("table: %s definitions\n",
                legacy ? "earlier (names of 100)" : "current (names of 250)");
    if (argc <= 2) std::filesystem::remove_all(folder);
    return 0;
}
