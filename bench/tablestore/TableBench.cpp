// Table store figures on a signature table of 100,000 records (names, folders
// and 192-character signature texts as a picture collection gives them):
// Append+Post, SeekKey on the primary index, a First/Next walk of the
// BySignature order, RecordCount, RepairTable, and the process's peak memory.
// Usage: bench_tablestore [records] [folder]
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

int main(int argc, char** argv) {
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
    if (argc <= 2) std::filesystem::remove_all(folder);
    return 0;
}
