// Figures of the engine, printed as plain text:
//  1. a compute run over a folder of JPEG files against libjpeg-turbo alone
//     decoding the same files (one core; target: at most 1.15 x);
//  2. a second compute run over 20,000 unchanged files (target: at least
//     20,000 files per second);
//  3. identify all over 20,000 signature records of a photo-like
//     distribution at margin 25 (target: at most 3 s), optionally checked
//     row for row against the table-driven search (--verify, slow);
//  4. the resident memory of compute runs over 2,000 and 20,000 files;
//  5. what the syncs that guard the stored dates cost a compute run per
//     picture: the same first run with and without them (median of three
//     rounds, wall clock and processor time), over the 1600 x 1200 JPEGs and
//     over 2,000 small ones (where a picture costs least, the syncs most).
// Usage: bench_engine [--quick] [--verify] [--only=compute|unchanged|identify|syncs]
//        [WORK_FOLDER]
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

// After <cstdio>: the library header needs size_t and FILE.
#include <jpeglib.h>

#include "matching/SignatureGenerator.h"
#include "picture/jpeg/JpegCodec.h"
#include "scan/Engine.h"

namespace corvane {
namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

// Processor time of this process (the machine may be shared).
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Resident and peak resident memory in KiB.
std::pair<long, long> Memory() {
    std::ifstream status("/proc/self/status");
    long rss = 0, peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
        if (line.rfind("VmHWM:", 0) == 0) peak = std::stol(line.substr(6));
    }
    return {rss, peak};
}

// A photo-like picture: smooth light, a horizon, noise.
std::vector<uint8_t> PhotoPixels(uint32_t seed, int width, int height) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    const int sky[3] = {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                        static_cast<int>(random() % 256)};
    const int ground[3] = {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                           static_cast<int>(random() % 256)};
    const int horizon = height / 3 + static_cast<int>(random() % (height / 3));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int* base = y < horizon ? sky : ground;
            const int shade = (x * 40) / width - (y * 30) / height + static_cast<int>(random() % 9);
            for (int c = 0; c < 3; ++c) {
                bgr[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(base[c] + shade, 0, 255));
            }
        }
    }
    return bgr;
}

void WriteJpegFile(const std::string& name, const std::vector<uint8_t>& bgr, int width, int height,
                   int quality) {
    std::string out;
    TJpegEncodeOptions options;
    options.quality = quality;
    EncodeJpeg(
        static_cast<uint32_t>(width), static_cast<uint32_t>(height), TJpegInputLayout::BGR,
        [&](uint32_t y) { return &bgr[static_cast<size_t>(y) * width * 3]; }, options,
        [&](const uint8_t* bytes, size_t count) {
            out.append(reinterpret_cast<const char*>(bytes), count);
            return count;
        });
    std::ofstream(name, std::ios::binary)
        .write(out.data(), static_cast<std::streamsize>(out.size()));
}

// libjpeg-turbo alone: read the file, decode every row with the library's
// defaults (accurate integer transform, fancy upsampling) into one buffer.
void DecodeWithLibjpeg(const std::string& name, std::vector<uint8_t>& pixels) {
    const std::string bytes = ReadFile(name);
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * info.output_components;
    pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &pixels[stride * info.output_scanline];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

class TBenchControls : public TPlainFormControls {};

// A fresh program folder with an engine started in it.
struct TBenchEngine {
    explicit TBenchEngine(const std::string& folder) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        engine.StartUp(folder);
        engine.State.BatchMode = true;
    }
    // The signature table without the field its writes vouch for: records
    // written through, without the syncs that hold the dates back.
    void WithoutDateSyncs() {
        TStoreTable& table = engine.Signatures.SignaturesTable;
        table.Close();
        table.SetVouchingField("");
        table.Open();
    }
    TBenchControls controls;
    TCorvaneEngine engine{controls};
};

void BenchComputeAgainstLibjpeg(const std::string& work, int count) {
    const std::string pictures = work + "/jpegs";
    std::filesystem::create_directories(pictures);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        const std::string name = pictures + Format("/photo%d.jpg", i);
        if (!std::filesystem::exists(name)) {
            WriteJpegFile(name, PhotoPixels(static_cast<uint32_t>(i), 1600, 1200), 1600, 1200, 90);
        }
        names.push_back(name);
    }
    std::vector<uint8_t> pixels;
    double libjpeg = 1e30, compute = 1e30, libjpegCpu = 1e30, computeCpu = 1e30;
    for (int round = 0; round < 3; ++round) {
        const auto start = TClock::now();
        double cpuStart = CpuSeconds();
        for (const std::string& name : names) DecodeWithLibjpeg(name, pixels);
        libjpeg = std::min(libjpeg, Seconds(start));
        libjpegCpu = std::min(libjpegCpu, CpuSeconds() - cpuStart);

        TBenchEngine bench(work + "/program-jpeg");
        bench.controls.Search = pictures;
        bench.engine.Workers = 1;
        const auto computeStart = TClock::now();
        cpuStart = CpuSeconds();
        bench.engine.ComputeButtonClick();
        compute = std::min(compute, Seconds(computeStart));
        computeCpu = std::min(computeCpu, CpuSeconds() - cpuStart);
    }
    std::printf(
        "compute run over %d JPEGs of 1600 x 1200: %.3f s (processor %.3f s);"
        " libjpeg-turbo alone: %.3f s (processor %.3f s); ratio %.3f, processor ratio"
        " %.3f (target <= 1.15)\n",
        count, compute, computeCpu, libjpeg, libjpegCpu, compute / libjpeg,
        computeCpu / libjpegCpu);

    // The same run with signatures computed ahead on two worker threads.
    double twoWorkers = 1e30;
    for (int round = 0; round < 3; ++round) {
        TBenchEngine bench(work + "/program-jpeg-2");
        bench.controls.Search = pictures;
        bench.engine.Workers = 2;
        const auto start = TClock::now();
        bench.engine.ComputeButtonClick();
        twoWorkers = std::min(twoWorkers, Seconds(start));
    }
    std::printf(
        "compute run on two workers: %.3f s, %.2f x the throughput of one (target >= 1.8)\n",
        twoWorkers, compute / twoWorkers);
}

void BenchUnchangedRun(const std::string& work, int count) {
    const std::string pictures = work + "/small";
    const int perFolder = 1000;
    int made = 0;
    for (int i = 0; i < count; ++i) {
        const std::string folder = pictures + Format("/f%d", i / perFolder);
        const std::string name = folder + Format("/s%d.jpg", i);
        if (i % perFolder == 0) std::filesystem::create_directories(folder);
        if (!std::filesystem::exists(name)) {
            WriteJpegFile(name, PhotoPixels(static_cast<uint32_t>(i), 16, 12), 16, 12, 80);
            ++made;
        }
    }
    const auto memoryBefore = Memory();
    TBenchEngine bench(work + "/program-small");
    bench.controls.Search = pictures;
    auto start = TClock::now();
    bench.engine.ComputeButtonClick();
    const double first = Seconds(start);
    const auto memoryAfter = Memory();
    start = TClock::now();
    const double cpuStart = CpuSeconds();
    bench.engine.ComputeButtonClick();
    const double second = Seconds(start);
    const double secondCpu = CpuSeconds() - cpuStart;
    std::printf("first compute run over %d small JPEGs: %.2f s (%d files made)\n", count, first,
                made);
    std::printf(
        "second compute run over %d unchanged files: %.3f s = %.0f files/s"
        " (processor %.3f s) (target >= 20000)\n",
        count, second, count / second, secondCpu);
    std::printf("memory of the first run: resident %ld KiB before, %ld KiB after (peak %ld KiB)\n",
                memoryBefore.first, memoryAfter.first, memoryAfter.second);

    // Memory over a tenth of the files, in a fresh engine, for comparison.
    TBenchEngine tenth(work + "/program-tenth");
    tenth.controls.Search = pictures + "/f0";
    const auto tenthBefore = Memory();
    tenth.engine.ComputeButtonClick();
    const auto tenthAfter = Memory();
    std::printf("memory of a run over %d files: resident %ld KiB before, %ld KiB after\n",
                perFolder, tenthBefore.first, tenthAfter.first);
}

// The folder of `count` small JPEGs (made once), as the unchanged run uses.
std::string SmallPictures(const std::string& work, int count) {
    const std::string pictures = work + Format("/small-%d", count);
    for (int i = 0; i < count; ++i) {
        const std::string folder = pictures + Format("/f%d", i / 1000);
        const std::string name = folder + Format("/s%d.jpg", i);
        if (i % 1000 == 0) std::filesystem::create_directories(folder);
        if (!std::filesystem::exists(name))
            WriteJpegFile(name, PhotoPixels(static_cast<uint32_t>(i), 16, 12), 16, 12, 80);
    }
    return pictures;
}

struct TRunTime {
    double wall, cpu;
};

// Median of three first compute runs over `pictures`, per picture.
TRunTime ComputePerPicture(const std::string& work, const std::string& pictures, int count,
                           bool dateSyncs) {
    std::vector<double> walls, cpus;
    for (int round = 0; round < 3; ++round) {
        TBenchEngine bench(work + "/program-syncs");
        if (!dateSyncs) bench.WithoutDateSyncs();
        bench.controls.Search = pictures;
        bench.engine.Workers = 1;
        const auto start = TClock::now();
        const double cpuStart = CpuSeconds();
        bench.engine.ComputeButtonClick();
        walls.push_back(Seconds(start) / count);
        cpus.push_back((CpuSeconds() - cpuStart) / count);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[1], cpus[1]};
}

void BenchDateSyncs(const std::string& work, int small) {
    for (const std::string& pictures : {work + "/jpegs", SmallPictures(work, small)}) {
        int count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(pictures))
            count += entry.is_regular_file();
        const TRunTime with = ComputePerPicture(work, pictures, count, true);
        const TRunTime without = ComputePerPicture(work, pictures, count, false);
        std::printf(
            "compute run over %d pictures (%s): %.3f ms per picture with the dates' syncs, "
            "%.3f ms without (%+.1f %%); processor %.3f / %.3f ms (%+.1f %%)\n",
            count, pictures.c_str(), with.wall * 1e3, without.wall * 1e3,
            (with.wall / without.wall - 1) * 100, with.cpu * 1e3, without.cpu * 1e3,
            (with.cpu / without.cpu - 1) * 100);
    }
}

std::vector<std::string> RealisticSignatures(size_t count, uint32_t seed) {
    std::vector<std::string> texts;
    for (const TSignature& s : GenerateSignatures(count, seed))
        texts.push_back(SignatureToString(s));
    return texts;
}

std::vector<std::tuple<int32_t, std::string, std::string>> MatchRows(TCorvaneEngine& engine) {
    std::vector<std::tuple<int32_t, std::string, std::string>> rows;
    TStoreTable& table = engine.Matches.MatchTable;
    for (table.First(); !table.AtEnd(); table.Next()) {
        rows.emplace_back(engine.Matches.MatchTableMaxDiff.Value(),
                          engine.Matches.MatchTableFile1.Value(),
                          engine.Matches.MatchTableFile2.Value());
    }
    return rows;
}

void BenchIdentify(const std::string& work, int count, bool verify) {
    TBenchEngine bench(work + "/program-identify");
    TCorvaneEngine& engine = bench.engine;
    const auto texts = RealisticSignatures(static_cast<size_t>(count), 42);
    TStoreTable& table = engine.Signatures.SignaturesTable;
    for (int i = 0; i < count; ++i) {
        table.Append();
        engine.Signatures.SignaturesTableFileName.SetValue(Format("picture%d.jpg", i));
        engine.Signatures.SignaturesTableFilePath.SetValue("/photos/folder" +
                                                           std::to_string(i % 97) + "/");
        engine.Signatures.SignaturesTableFileDate.SetValue(40000.0);
        engine.Signatures.SignaturesTableSignature.SetValue(texts[static_cast<size_t>(i)]);
        table.Post();
    }
    bench.controls.Margin = "25";
    double best = 1e30, bestCpu = 1e30;
    for (int round = 0; round < 3; ++round) {
        const auto start = TClock::now();
        const double cpuStart = CpuSeconds();
        engine.Matcher.IdentifyButtonClick();
        best = std::min(best, Seconds(start));
        bestCpu = std::min(bestCpu, CpuSeconds() - cpuStart);
    }
    const auto rows = MatchRows(engine);
    std::printf(
        "identify all over %d records at margin 25: %.3f s (processor %.3f s), %zu match"
        " rows, %d records visited (target <= 3 s)\n",
        count, best, bestCpu, rows.size(), bench.controls.ProgressPositionValue);
    if (!verify) return;
    engine.Matches.MatchTable.EmptyTable();
    engine.State.FullScanMatch = false;
    const auto start = TClock::now();
    for (table.First(); !table.AtEnd(); table.Next()) engine.Matcher.CompareOneImage(false);
    std::printf("table-driven search of every record: %.3f s, rows %s\n", Seconds(start),
                MatchRows(engine) == rows ? "identical" : "DIFFERENT");
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    bool quick = false, verify = false;
    std::string only;
    std::string work = "/tmp/corvane-bench-engine";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--verify") == 0) {
            verify = true;
        } else if (std::strncmp(argv[i], "--only=", 7) == 0) {
            only = argv[i] + 7;
        } else {
            work = argv[i];
        }
    }
    std::filesystem::create_directories(work);
    if (only.empty() || only == "compute")
        corvane::BenchComputeAgainstLibjpeg(work, quick ? 10 : 60);
    if (only.empty() || only == "unchanged") corvane::BenchUnchangedRun(work, quick ? 2000 : 20000);
    if (only.empty() || only == "identify")
        corvane::BenchIdentify(work, quick ? 2000 : 20000, verify);
    if (only.empty() || only == "syncs") {
        if (!std::filesystem::exists(work + "/jpegs"))
            corvane::BenchComputeAgainstLibjpeg(work, quick ? 10 : 60);
        corvane::BenchDateSyncs(work, 2000);
    }
    return 0;
}
