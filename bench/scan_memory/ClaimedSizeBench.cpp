// Peak resident memory of a compute run over 8 tiny JPEG files whose headers
// claim 16,000 x 16,000 pixels, with 1 and with 4 workers (target: the
// workers together hold at most about 1 GiB of rasters, so 4 workers peak
// about where 1 does). Each run is a child process, measured by the system.
// --unbounded adds 4 workers deciding on their own (no shared budget): what
// a run cost before.
// Usage: bench_claimed_size [--unbounded]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "matching/FormControls.h"
#include "picture/jpeg/JpegCodec.h"
#include "scan/Engine.h"
#include "scan/SignaturePrefetch.h"

namespace corvane {
namespace {

constexpr uint16_t kClaimed = 16000;
constexpr int kFiles = 8;

// A 16 x 16 JPEG whose frame header is rewritten to claim kClaimed x kClaimed:
// the decoder sizes everything from the header and finds the data cut short.
std::string ClaimingJpeg(uint8_t shade) {
    std::vector<uint8_t> pixels(16 * 16 * 3, shade);
    std::string bytes;
    EncodeJpeg(
        16, 16, TJpegInputLayout::BGR, [&](uint32_t y) { return &pixels[y * 16 * 3]; },
        TJpegEncodeOptions{},
        [&](const uint8_t* data, size_t count) {
            bytes.append(reinterpret_cast<const char*>(data), count);
            return count;
        });
    for (size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && static_cast<uint8_t>(bytes[i + 1]) == 0xC0) {
            bytes[i + 5] = static_cast<char>(kClaimed >> 8);
            bytes[i + 6] = static_cast<char>(kClaimed & 0xFF);
            bytes[i + 7] = static_cast<char>(kClaimed >> 8);
            bytes[i + 8] = static_cast<char>(kClaimed & 0xFF);
            break;
        }
    }
    return bytes;
}

// Runs Work in a child process; its peak resident memory in MiB and seconds.
template <class TWork>
std::pair<double, double> MeasureInChild(TWork&& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, seconds};
    return {static_cast<double>(usage.ru_maxrss) / 1024.0, seconds};
}

void ComputeRun(const std::string& data, const std::string& pictures, int workers) {
    const std::string program = data + "program-" + std::to_string(workers) + "/";
    std::filesystem::create_directories(program);
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.StartUp(program);
    engine.Workers = workers;
    controls.Search = pictures;
    controls.SubDirs = false;
    engine.ComputeButtonClick();
    if (engine.Signatures.SignaturesTable.RecordCount() != kFiles) ::_exit(2);
}

void UnboundedWorkers(const std::vector<std::string>& files, int workers) {
    TSignaturePrefetcher prefetcher(workers, std::numeric_limits<uint64_t>::max());
    for (const std::string& file : files) prefetcher.Enqueue(file, false);
    for (const std::string& file : files) {
        TPrefetchedSignature result;
        prefetcher.Take(
            file, false, [] {}, result);
    }
}

int Main(int argc, char** argv) {
    const bool unbounded = argc > 1 && std::strcmp(argv[1], "--unbounded") == 0;
    const std::string data =
        (std::filesystem::temp_directory_path() / "corvane-claimed-size/").string();
    std::filesystem::remove_all(data);
    const std::string pictures = data + "pictures/";
    std::filesystem::create_directories(pictures);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        files.push_back(pictures + "claims-" + std::to_string(i) + ".jpg");
        std::ofstream(files.back(), std::ios::binary) << ClaimingJpeg(static_cast<uint8_t>(30 * i));
    }
    std::printf("%d JPEG files of %zu bytes claiming %u x %u pixels (a raster of %.0f MiB each)\n",
                kFiles, ClaimingJpeg(0).size(), kClaimed, kClaimed,
                double{kClaimed} * kClaimed * 4 / (1 << 20));
    for (const int workers : {1, 4}) {
        const auto [peak, seconds] = MeasureInChild([&] { ComputeRun(data, pictures, workers); });
        std::printf("compute run, %d worker%s: peak %.0f MiB, %.1f s\n", workers,
                    workers == 1 ? "" : "s", peak, seconds);
    }
    if (unbounded) {
        const auto [peak, seconds] = MeasureInChild([&] { UnboundedWorkers(files, 4); });
        std::printf("4 workers without the shared budget: peak %.0f MiB, %.1f s\n", peak, seconds);
    }
    std::filesystem::remove_all(data);
    return 0;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    return corvane::Main(argc, argv);
}
