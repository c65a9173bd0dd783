// bench_listing [ROWS] [FOLDER]: fills a match table with ROWS rows (default
// 500,000), then runs `corvane-cli matches` in each format with standard
// output read through a pipe, and prints the wall time, the throughput and
// the program's peak resident memory: all of it (which counts the pages of
// the memory-mapped table files read so far) and the anonymous part (heap),
// sampled while it runs. Half the rows first: a heap that does not grow with
// the table shows that rows are streamed, not held.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tablestore/SignatureTables.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

void FillMatches(const std::string& folder, int rows) {
    std::filesystem::create_directories(folder);
    for (const char* name : {"Signatures.DAT", "Signatures.IDX", "Matches.DAT", "Matches.IDX"})
        std::filesystem::remove(folder + name);
    TSignaturesTableObjects signatures;
    TMatchTableObjects m;
    OpenProgramTables(signatures.SignaturesTable, m.MatchTable, folder);
    char name[96];
    for (int i = 0; i < rows; ++i) {
        m.MatchTable.Append();
        m.MatchTableMaxDiff.SetValue(i % 100);
        // Every 1000th name has a tab and a byte that is not UTF-8.
        const char* odd = i % 1000 == 0 ? "\t\xff" : "";
        std::snprintf(name, sizeof name, "/pictures/folder%03d/IMG_%06d%s.jpg", i % 500, i, odd);
        m.MatchTableFile1.SetValue(name);
        std::snprintf(name, sizeof name, "/pictures/other%03d/IMG_%06d.jpg", i % 300, i);
        m.MatchTableFile2.SetValue(name);
        m.MatchTable.Post();
    }
}

// Anonymous resident memory of a process (heap and stacks, not the mapped
// table files), in KiB; -1 once it has ended.
long AnonKiB(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "RssAnon: %ld kB", &kib) == 1) break;
    std::fclose(status);
    return kib;
}

struct TRun {
    double seconds = 0;
    long peakKiB = 0;
    long peakAnonKiB = 0;
    long long bytes = 0;
    int status = -1;
};

// Runs corvane-cli with the words, counting what it writes on standard output.
TRun RunCli(const std::vector<std::string>& words) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        std::vector<char*> argv = {const_cast<char*>(CORVANE_CLI)};
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        ::execv(CORVANE_CLI, argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    TRun run;
    std::vector<char> buffer(1 << 16);
    auto lastSample = Clock::now();
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer.data(), buffer.size())) > 0;) {
        run.bytes += n;
        if (Clock::now() - lastSample > std::chrono::milliseconds(5)) {
            run.peakAnonKiB = std::max(run.peakAnonKiB, AnonKiB(child));
            lastSample = Clock::now();
        }
    }
    ::close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void Report(const std::string& label, int rows, const TRun& run) {
    std::printf(
        "%-26s %7d rows %6.2f s %7.0f rows/s %5.1f MiB out; peak RSS %5.1f MiB (heap %4.1f "
        "MiB)%s\n",
        label.c_str(), rows, run.seconds, rows / run.seconds, run.bytes / 1048576.0,
        run.peakKiB / 1024.0, run.peakAnonKiB / 1024.0, run.status == 0 ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 500000;
    std::string folder =
        argc > 2 ? argv[2] : "/tmp/corvane-bench-listing-" + std::to_string(::getpid()) + "/";
    if (folder.back() != '/') folder += '/';
    for (const int count : {rows / 2, rows}) {
        const std::string data = folder + std::to_string(count) + "/";
        const auto start = Clock::now();
        FillMatches(data, count);
        std::printf("match table of %d rows made in %.1f s\n", count,
                    std::chrono::duration<double>(Clock::now() - start).count());
        for (const char* format : {"tsv", "csv", "json"}) {
            Report(std::string("matches --format ") + format, count,
                   RunCli({"--data", data, "-q", "matches", "--format", format}));
        }
        Report("matches -0", count, RunCli({"--data", data, "-q", "matches", "-0"}));
    }
    std::filesystem::remove_all(folder);
    return 0;
}
