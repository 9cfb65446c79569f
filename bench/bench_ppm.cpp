// Loading and saving one 640 x 480 picture, the size of a camera frame and of
// the motion reference "prova". Both go through stdio one pixel per call.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "kelvix.h"

namespace {

// A picture file in a directory of its own under the temporary folder.
struct BenchFile {
    std::string dir, path;
    BenchFile()
    {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelvix-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) abort();
        dir = pattern;
        path = dir + "/frame.ppm";
    }
    ~BenchFile()
    {
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
};

kxImage *randomFrame()
{
    kxImage *frame = kxImageCreate(RGB, 640, 480);
    std::mt19937 random(42);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() & 0xFF;
    return frame;
}

// kxImageSave announces every file on stdout; keep the benchmark's report readable.
void quietStdout()
{
    fflush(stdout);
    if (!freopen("/dev/null", "w", stdout)) abort();
}

} // namespace

static void BM_ImageSave640x480(benchmark::State &state)
{
    BenchFile file;
    kxImage *frame = randomFrame();
    int saved = dup(fileno(stdout));
    quietStdout();
    for (auto _ : state)
        if (kxImageSave(frame, file.path.c_str()) != 0) state.SkipWithError("save failed");
    fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    state.SetBytesProcessed(state.iterations() * (15 + 640 * 480 * 3));
    kxImageDestroy(frame);
}
BENCHMARK(BM_ImageSave640x480)->Unit(benchmark::kMillisecond);

static void BM_ImageLoad640x480(benchmark::State &state)
{
    BenchFile file;
    kxImage *frame = randomFrame();
    int saved = dup(fileno(stdout));
    quietStdout();
    kxImageSave(frame, file.path.c_str());
    fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    kxImage *loaded = kxImageCreate(NONE, 0, 0);
    for (auto _ : state) {
        if (kxImageLoad(loaded, file.path.c_str()) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded->data);
    }
    state.SetBytesProcessed(state.iterations() * (15 + 640 * 480 * 3));
    kxImageDestroy(loaded);
    kxImageDestroy(frame);
}
BENCHMARK(BM_ImageLoad640x480)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
