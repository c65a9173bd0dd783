// GIF loading speed: file bytes in memory -> TGIFImage -> raster, as the
// picture loader does it. Prints megapixels per second for a few kinds of
// picture content (target: at least 150), by wall clock and by this
// process's CPU time (the fairer figure on a shared machine), and the share
// of the GIF reader alone (the rest is the raster's allocation, painting and
// alpha pass).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "GIFTestEncoder.h"
#include "picture/Bitmap32.h"
#include "picture/gif/GIFImage.h"

using namespace corvane;
using namespace corvane::giftest;

namespace {

// Photo-like: smooth gradients with ordered-dither noise, all 256 colours.
Bytes DitheredPixels(int w, int h) {
    Bytes p(static_cast<size_t>(w) * h);
    uint32_t s = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525 + 1013904223;
            const int base = (x * 200 / w + y * 55 / h);
            p[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(base + ((s >> 29) & 3));
        }
    return p;
}

// Graphics-like: flat bands and boxes of few colours.
Bytes FlatPixels(int w, int h) {
    Bytes p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((x / 97 + y / 61) % 16);
    return p;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// CPU time of this process; on a busy machine it shows the cost better than
// the wall clock.
double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Run(const char* name, int w, int h, Bytes pixels, bool interlaced) {
    Frame f;
    f.width = w;
    f.height = h;
    f.interlaced = interlaced;
    f.minCodeSize = 8;
    f.pixels = std::move(pixels);
    const Bytes file = SingleFrameGIF(w, h, Palette(256), f);
    double decodeCpu = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double cpuStart = CpuSeconds();
        TReadOnlyMemoryStream stream(file.data(), file.size());
        TGIFImage gif;
        gif.LoadFromStream(stream);
        decodeCpu = std::min(decodeCpu, CpuSeconds() - cpuStart);
    }
    // A new raster each time, and one raster loaded again and again as the
    // engine's working raster is (its buffer kept while the size is the same).
    double best = 1e9, bestCpu = 1e9, reusedCpu = 1e9;
    TBitmap32 working;
    for (int round = 0; round < 7; ++round) {
        const auto start = std::chrono::steady_clock::now();
        double cpuStart = CpuSeconds();
        TReadOnlyMemoryStream stream(file.data(), file.size());
        TGIFImage gif;
        gif.LoadFromStream(stream);
        TBitmap32 raster;
        raster.Assign(&gif);
        bestCpu = std::min(bestCpu, CpuSeconds() - cpuStart);
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));

        cpuStart = CpuSeconds();
        TReadOnlyMemoryStream again(file.data(), file.size());
        TGIFImage next;
        next.LoadFromStream(again);
        working.Assign(&next);
        reusedCpu = std::min(reusedCpu, CpuSeconds() - cpuStart);
    }
    const double megapixels = static_cast<double>(w) * h / 1e6;
    std::printf(
        "gif load %-20s %dx%d %7.1f KiB  wall %7.2f ms %6.1f MP/s  cpu %7.2f ms %6.1f MP/s\n", name,
        w, h, static_cast<double>(file.size()) / 1024, best * 1e3, megapixels / best, bestCpu * 1e3,
        megapixels / bestCpu);
    std::printf("    into a reused raster:          cpu %7.2f ms %6.1f MP/s\n", reusedCpu * 1e3,
                megapixels / reusedCpu);
    std::printf("    of which LoadFromStream alone: cpu %7.2f ms %6.1f MP/s\n", decodeCpu * 1e3,
                megapixels / decodeCpu);
}

}  // namespace

int main() {
    const int w = 4000, h = 3000;
    std::printf("building test pictures...\n");
    Run("dithered-photo", w, h, DitheredPixels(w, h), false);
    Run("dithered-interlaced", w, h, DitheredPixels(w, h), true);
    Run("flat-graphics", w, h, FlatPixels(w, h), false);
    return 0;
}
