// Thresholding one 640 x 480 RGB frame, as the vision loop does every frame.
#include <benchmark/benchmark.h>

#include <random>

#include "kelvix.h"

static void BM_Rgb2Binary(benchmark::State &state)
{
    kxImage *frame = kxImageCreate(RGB, 640, 480);
    kxImage *binary = kxImageCreate(BINARY, 640, 480);
    std::mt19937 random(42);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() % 64;
    kxWindow window{0, 0, 640, 480};
    for (auto _ : state) {
        kxRgb2Binary(frame, 15, &window, binary);
        benchmark::DoNotOptimize(binary->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    state.counters["pixels/s"] = benchmark::Counter(double(state.iterations()) * 640 * 480,
                                                    benchmark::Counter::kIsRate);
    kxImageDestroy(frame);
    kxImageDestroy(binary);
}
BENCHMARK(BM_Rgb2Binary)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
