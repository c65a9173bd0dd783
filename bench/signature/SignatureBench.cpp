// Signature computation, normalisation, text parsing and comparison speed.
#include <benchmark/benchmark.h>

#include <random>

#include "matching/SignatureCompare.h"
#include "picture/Bitmap32.h"
#include "signature/Signature.h"

namespace corvane {
namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;  // 24 megapixels

void FillPhotoLike(TBitmap32& raster) {
    raster.SetSize(kWidth, kHeight);
    std::mt19937 random(1);
    for (int32_t y = 0; y < kHeight; ++y) {
        TColor32* line = raster.ScanLine(y);
        for (int32_t x = 0; x < kWidth; ++x)
            line[x] = 0xFF000000u | ((x * 255 / kWidth) << 16) | ((y * 255 / kHeight) << 8) |
                      (random() & 0xFF);
    }
}

void SetMegapixels(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ComputeSignature24MP(benchmark::State& state) {
    TBitmap32 raster;
    FillPhotoLike(raster);
    for (auto _ : state) benchmark::DoNotOptimize(ComputeSignature(raster));
    SetMegapixels(state);
}
BENCHMARK(BM_ComputeSignature24MP)->Unit(benchmark::kMillisecond);

void BM_NormalizeBrightness24MP(benchmark::State& state) {
    TBitmap32 source, raster;
    FillPhotoLike(source);
    for (auto _ : state) {
        state.PauseTiming();
        raster.Assign(&source);
        state.ResumeTiming();
        NormalizeBrightness(raster);
    }
    SetMegapixels(state);
}
BENCHMARK(BM_NormalizeBrightness24MP)->Unit(benchmark::kMillisecond);

TSignature RandomSignature(std::mt19937& random) {
    TSignature s;
    for (auto& v : s.Values) v = static_cast<int32_t>(random() % 256);
    return s;
}

void BM_StringToSignature(benchmark::State& state) {
    std::mt19937 random(2);
    const std::string text = SignatureToString(RandomSignature(random));
    for (auto _ : state) benchmark::DoNotOptimize(StringToSignature(text));
}
BENCHMARK(BM_StringToSignature);

void BM_SignaturesMatchFailsInFirstBlock(benchmark::State& state) {
    TSignature a, b;
    a.Values.fill(100);
    b.Values.fill(100);
    b.Values[1] = 200;
    int32_t maxDiff = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(SignaturesMatch(a, b, 25, true, maxDiff));
    }
}
BENCHMARK(BM_SignaturesMatchFailsInFirstBlock);

void BM_SignaturesMatchFullPass(benchmark::State& state) {
    std::mt19937 random(3);
    const TSignature a = RandomSignature(random);
    TSignature b = a;
    for (auto& v : b.Values) v = std::max(0, v - static_cast<int32_t>(random() % 5));
    int32_t maxDiff = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(SignaturesMatch(a, b, 25, state.range(0) != 0, maxDiff));
    }
}
BENCHMARK(BM_SignaturesMatchFullPass)->Arg(1)->Arg(0);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
