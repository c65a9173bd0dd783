// BMP loading speed: file -> TPicture -> raster, as the picture loader does
// it, for the common pixel formats. Prints megapixels per second (best of
// several runs) against the target of 150.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "picture/Graphics.h"

using namespace corvane;

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr double kTargetMegapixelsPerSecond = 150.0;

// A picture with some variety in every channel, saved in the given format.
void WriteSample(const std::string& fileName, TPixelFormat format) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 7 + y);
            row[3 * x + 1] = static_cast<uint8_t>(y * 3);
            row[3 * x + 2] = static_cast<uint8_t>(x ^ y);
        }
    }
    if (format != TPixelFormat::pf24bit) {
        if (format == TPixelFormat::pf8bit) {
            std::vector<TRGBQuad> table(256);
            for (int i = 0; i < 256; ++i)
                table[i] = TRGBQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                    static_cast<uint8_t>(i * 3), 0};
            bitmap.SetColorTable(table);
        }
        bitmap.SetPixelFormat(format);
    }
    bitmap.SaveToFile(fileName);
}

// CPU time of this process: the machine may be shared, and wall time would
// then measure the neighbours.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double LoadSeconds(const std::string& fileName, TBitmap32& raster, double& cpuSeconds) {
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    raster.SetHeight(0);
    raster.SetWidth(0);
    TPicture picture;
    picture.LoadFromFile(fileName);
    raster.Assign(&picture);
    cpuSeconds = CpuSeconds() - cpuStart;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("corvane_bmp_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const struct {
        const char* name;
        TPixelFormat format;
    } cases[] = {{"24-bit", TPixelFormat::pf24bit},
                 {"32-bit", TPixelFormat::pf32bit},
                 {"8-bit paletted", TPixelFormat::pf8bit},
                 {"16-bit 5-5-5", TPixelFormat::pf15bit}};
    bool allMet = true;
    std::printf("BMP load into the raster, %d x %d (%.1f MP), best of 5 runs\n", kWidth, kHeight,
                kWidth * kHeight / 1e6);
    for (const auto& c : cases) {
        const std::string file = (folder / (std::string("sample_") + c.name + ".bmp")).string();
        WriteSample(file, c.format);
        TBitmap32 raster;
        double best = 1e9, bestCpu = 1e9;
        for (int run = 0; run < 5; ++run) {
            double cpu = 0;
            best = std::min(best, LoadSeconds(file, raster, cpu));
            bestCpu = std::min(bestCpu, cpu);
        }
        const double megapixels = kWidth * static_cast<double>(kHeight) / 1e6;
        const double rate = megapixels / best;
        const double cpuRate = megapixels / bestCpu;
        allMet = allMet && cpuRate >= kTargetMegapixelsPerSecond;
        std::printf("  %-16s wall %7.1f ms %7.1f MP/s | cpu %7.1f ms %7.1f MP/s (target %.0f) %s\n",
                    c.name, best * 1e3, rate, bestCpu * 1e3, cpuRate, kTargetMegapixelsPerSecond,
                    cpuRate >= kTargetMegapixelsPerSecond ? "ok" : "SLOW");
    }
    std::filesystem::remove_all(folder);
    if (!allMet) std::printf("  below target\n");
    return 0;
}
