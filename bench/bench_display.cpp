// One show of a 640 x 480 RGB picture: conversion into the display buffer,
// packing for the visual, transfer to the X server and the round trip that
// waits for it; plain X image (pixels through the connection) against shared
// memory (the server reads the segment).
//
// Runs on $DISPLAY, or on a private Xvfb (depth 24) when built with the
// test fixture.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>

#include "kelvix.h"
#ifdef BENCH_OWN_XVFB
#include "xvfb_server.h"
#endif

static void BM_Show640x480(benchmark::State &state)
{
    const int shm = static_cast<int>(state.range(0));
    if (kxDisplayInit(640, 480, shm) < 0) {
        state.SkipWithError("no display");
        return;
    }
    kxImage *frame = kxImageCreate(RGB, 640, 480);
    std::mt19937 random(42);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() % 256;
    for (auto _ : state) {
        if (kxShow(frame, 0) != 0) {
            state.SkipWithError("show failed");
            break;
        }
    }
    state.SetLabel(shm ? "shared" : "plain");
    kxImageDestroy(frame);
    kxDisplayShutdown();
}
// Wall-clock time: the show ends with a round trip, and the server's share of
// the work (reading the pixels) is not this process's processor time.
BENCHMARK(BM_Show640x480)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
#ifdef BENCH_OWN_XVFB
    kxtest::XvfbOptions options;
    std::unique_ptr<kxtest::XvfbServer> server;
    if (!getenv("DISPLAY")) {
        server = std::make_unique<kxtest::XvfbServer>(options);
        if (!server->ok()) {
            fprintf(stderr, "bench_display: %s\n", server->error().c_str());
            return 1;
        }
    }
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
