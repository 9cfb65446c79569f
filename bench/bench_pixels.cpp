// Colour conversions of one 640 x 480 RGB frame.
#include <benchmark/benchmark.h>

#include <random>

#include "kelvix.h"

namespace {

using Conversion = int32_t (*)(const kxImage *, const kxWindow *, kxImage *);

void convertFrame(benchmark::State &state, Conversion conversion)
{
    kxImage *frame = kxImageCreate(RGB, 640, 480);
    kxImage *result = kxImageCreate(GRAY, 1, 1);
    // Random colours, so that every hue branch is taken.
    std::mt19937 random(42);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() % 256;
    kxWindow window{0, 0, 640, 480};
    for (auto _ : state) {
        conversion(frame, &window, result);
        benchmark::DoNotOptimize(result->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    kxImageDestroy(frame);
    kxImageDestroy(result);
}

void BM_Rgb2Hsi(benchmark::State &state) { convertFrame(state, kxRgb2Hsi); }
void BM_Rgb2Gray(benchmark::State &state) { convertFrame(state, kxRgb2Gray); }
void BM_Hsi2Rgb(benchmark::State &state)
{
    // HSI input made from the random RGB frame.
    kxImage *frame = kxImageCreate(RGB, 640, 480);
    kxImage *hsi = kxImageCreate(HSI, 1, 1);
    kxImage *result = kxImageCreate(RGB, 1, 1);
    std::mt19937 random(42);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() % 256;
    kxWindow window{0, 0, 640, 480};
    kxRgb2Hsi(frame, &window, hsi);
    for (auto _ : state) {
        kxHsi2Rgb(hsi, &window, result);
        benchmark::DoNotOptimize(result->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    kxImageDestroy(frame);
    kxImageDestroy(hsi);
    kxImageDestroy(result);
}

} // namespace

BENCHMARK(BM_Rgb2Hsi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rgb2Gray)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hsi2Rgb)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
