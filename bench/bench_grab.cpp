// Converting one grabbed 640 x 480 YUV 4:2:0 frame to RGB, as the vision loop
// does every frame, through the public kxGrabLastImage on a recorded frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "grab_device.h"
#include "grab_yuv.h"
#include "kelvix.h"

namespace {

// A one-frame recording of camera-like content (smooth luma, noisy chroma)
// in a temporary file; grabbing it once leaves the frame for kxGrabLastImage.
std::string writeRecording()
{
    char path[] = "/tmp/bench_grab_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    std::string data = "YUV4MPEG2 W640 H480 F30:1 C420jpeg\nFRAME\n";
    std::mt19937 random(7);
    for (int r = 0; r < 480; ++r)
        for (int c = 0; c < 640; ++c) data.push_back(char(16 + (r + c) % 220 + random() % 8));
    for (int i = 0; i < 2 * 320 * 240; ++i) data.push_back(char(96 + random() % 64));
    bool ok = write(fd, data.data(), data.size()) == ssize_t(data.size());
    close(fd);
    return ok ? path : std::string();
}

void BM_GrabLastImage640x480(benchmark::State &state)
{
    std::string path = writeRecording();
    kxImage *image = kxImageCreate(RGB, 640, 480);
    // A FIFO or regular file: the recorded-video source; named without .y4m.
    if (path.empty() || !image || kxGrabInit(path.c_str(), 0, 640, 480, 1) < 0 ||
        kxGrabImage(image) < 0) {
        state.SkipWithError("could not set up the recorded frame");
        kxImageDestroy(image);
        return;
    }
    for (auto _ : state) {
        kxGrabLastImage(image);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(double(state.iterations()) * 640 * 480,
                                                    benchmark::Counter::kIsRate);
    kxGrabShutdown();
    kxImageDestroy(image);
    unlink(path.c_str());
}
BENCHMARK(BM_GrabLastImage640x480)->Unit(benchmark::kMicrosecond);

// The conversion alone on each path this processor has (the grabber picks
// the fastest), on the same camera-like frame.
void BM_ConvertPath640x480(benchmark::State &state)
{
    const auto path = KxYuvPath(state.range(0));
    const char *names[] = {"plain", "sse2", "avx2", "avx2_integer"};
    state.SetLabel(names[state.range(0)]);
    if (!_kxYuvPathAvailable(path)) {
        state.SkipWithError("path not available on this processor");
        return;
    }
    std::mt19937 random(7);
    std::vector<uint8_t> frame(_kxGrabFrameBytes(480, 640));
    for (int r = 0; r < 480; ++r)
        for (int c = 0; c < 640; ++c) frame[size_t(r) * 640 + c] = uint8_t(16 + (r + c) % 220 + random() % 8);
    for (size_t i = 640 * 480; i < frame.size(); ++i) frame[i] = uint8_t(96 + random() % 64);
    std::vector<uint16_t> rgb(640 * 480 * 3);
    for (auto _ : state) {
        _kxGrabYuv420ToRgbWith(path, frame.data(), 480, 640, rgb.data());
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ConvertPath640x480)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
