// The vision loop's work on one 640 x 480 frame, from the camera's YUV 4:2:0
// picture to the published report: conversion, threshold, border clearing,
// labelling, centroids, recognition and publication under the semaphore.
// Four kinds of recorded-like frames: dark, six markers, six markers among
// 200 noise blobs, and half-bright random pixels. When OpenCV is at hand
// (a benchmark-only dependency) its nearest equivalent runs on the same
// frames: colour conversion, grey threshold and 8-connected labelling with
// statistics, on one thread.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>
#include <vector>

#include "bench_frames.h"
#include "frame.h"
#include "kelvix.h"
#include "report_ipc.h"

#ifdef KX_BENCH_OPENCV
#include <opencv2/core.hpp>

#include "opencv_equivalent.h"
#endif

namespace {

using benchframes::kHeight;
using benchframes::kKindNames;
using benchframes::kLumaBytes;
using benchframes::kStation;
using benchframes::kWidth;
using benchframes::makeFrame;

// A recorded video holding one frame, which the grabber replays forever.
std::string writeVideo(const std::vector<uint8_t> &frame, const std::string &path)
{
    std::ofstream out(path, std::ios::binary);
    out << benchframes::streamHeader() << "FRAME\n";
    out.write(reinterpret_cast<const char *>(frame.data()), std::streamsize(frame.size()));
    return path;
}

// A directory of its own with a key file, and the report link made in it;
// everything is removed again at the end.
class BenchLink {
public:
    BenchLink()
    {
        char pattern[] = "/tmp/kelvix-bench-XXXXXX";
        if (!mkdtemp(pattern)) return;
        dir_ = pattern;
        std::ofstream(dir_ + "/quorvantel");
        ready_ = createReportIpc((dir_ + "/quorvantel").c_str(), ipc_) == nullptr;
        if (ready_) storeWord(ipc_.data->running, 1);
    }
    ~BenchLink()
    {
        if (ipc_.data) shmdt(ipc_.data);
        if (ipc_.semid != -1) semctl(ipc_.semid, 0, IPC_RMID, 0);
        if (ipc_.shmid != -1) shmctl(ipc_.shmid, IPC_RMID, nullptr);
        if (!dir_.empty()) {
            unlink((dir_ + "/quorvantel").c_str());
            unlink((dir_ + "/frame.y4m").c_str());
            rmdir(dir_.c_str());
        }
    }
    bool ready() const { return ready_; }
    std::string file(const char *name) const { return dir_ + "/" + name; }

    // The vision program's publication: positions and newReport under the
    // lock, run flag read before unlocking.
    bool publish(const TargetReport &positions)
    {
        semaphoreStep(ipc_.semid, -1);
        writePositions(*ipc_.data, positions);
        bool running = loadWord(ipc_.data->running) != 0;
        semaphoreStep(ipc_.semid, +1);
        return running;
    }

private:
    std::string dir_;
    ReportIpc ipc_;
    bool ready_ = false;
};

bool stationFound(const BlobRecord *goal)
{
    const int order[6] = {kUpperLeft, kUpperRight, kMiddleLeft, kMiddleRight, kLowerLeft, kLowerRight};
    for (int m = 0; m < 6; ++m)
        if (goal[order[m]].row != kStation[m][0] || goal[order[m]].col != kStation[m][1]) return false;
    return true;
}

// One loop body per iteration: the grabbed frame converted again from the
// capture buffer (kxGrabLastImage: what kxGrabImage does after the camera's
// synchronisation), then the image work, then the publication.
void BM_VisionLoopBody(benchmark::State &state)
{
    const int kind = int(state.range(0));
    state.SetLabel(kKindNames[kind]);
    BenchLink link;
    VisionState vision;
    if (!link.ready() || !createVisionImages(vision)) {
        state.SkipWithError("could not set up the report link or the images");
        return;
    }
    std::string video = writeVideo(makeFrame(kind), link.file("frame.y4m"));
    if (kxGrabInit(video.c_str(), 0, kWidth, kHeight, 1) < 0 || kxGrabImage(vision.pic) < 0) {
        state.SkipWithError("grabber did not start on the recorded frame");
        kxGrabShutdown();
        destroyVisionImages(vision);
        return;
    }
    // "Too many blobs!!!" would flood the output on the half-bright frame.
    fflush(stdout);
    int savedStdout = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    int32_t candidates = 0;
    for (auto _ : state) {
        clearGoalPositions(vision.goal);
        kxGrabLastImage(vision.pic);
        candidates = processFrame(vision);
        benchmark::DoNotOptimize(link.publish(reportPositions(vision.goal)));
    }
    fflush(stdout);
    if (savedStdout >= 0) dup2(savedStdout, STDOUT_FILENO);
    if (savedStdout >= 0) close(savedStdout);
    if (null >= 0) close(null);
    if ((kind == 1 || kind == 2) && !stationFound(vision.goal))
        state.SkipWithError("the station was not found where it was drawn");
    state.counters["candidates"] = candidates;
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    kxGrabShutdown();
    destroyVisionImages(vision);
}
BENCHMARK(BM_VisionLoopBody)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// The same body split into its steps, each timed alone on a fresh copy of
// its input, to show where a frame's time goes.
enum Step { kConvert, kThreshold, kLabel, kCandidates, kPublish };
const char *kStepNames[] = {"convert", "threshold", "label_and_copy", "centroids_recognize", "publish"};

void BM_LoopStep(benchmark::State &state)
{
    const int kind = int(state.range(0));
    const int step = int(state.range(1));
    state.SetLabel(std::string(kKindNames[kind]) + "/" + kStepNames[step]);
    BenchLink link;
    VisionState vision;
    kxImage *binary = kxImageCreate(BINARY, kWidth, kHeight);
    std::string video = writeVideo(makeFrame(kind), link.file("frame.y4m"));
    if (!link.ready() || !createVisionImages(vision) || !binary ||
        kxGrabInit(video.c_str(), 0, kWidth, kHeight, 1) < 0 || kxGrabImage(vision.pic) < 0) {
        state.SkipWithError("set-up failed");
        kxGrabShutdown();
        kxImageDestroy(binary);
        destroyVisionImages(vision);
        return;
    }
    fflush(stdout);
    int savedStdout = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    kxRgb2Binary(vision.pic, kBrightThreshold, vision.picWin, vision.binPic);
    kxImageCopy(vision.binPic, binary);
    labelBlobs(vision.binPic, vision.blobs);
    kxImage *labelled = kxImageCreate(BINARY, kWidth, kHeight);
    kxImageCopy(vision.binPic, labelled);
    for (auto _ : state) {
        switch (step) {
        case kConvert: kxGrabLastImage(vision.pic); break;
        case kThreshold: kxRgb2Binary(vision.pic, kBrightThreshold, vision.picWin, vision.binPic); break;
        case kLabel:
            state.PauseTiming();
            memcpy(vision.binPic->data, binary->data, kLumaBytes * 2);
            state.ResumeTiming();
            labelBlobs(vision.binPic, vision.blobs, vision.greyPic);
            break;
        case kCandidates: {
            state.PauseTiming();
            memcpy(vision.greyPic->data, labelled->data, kLumaBytes * 2);
            state.ResumeTiming();
            int32_t n = selectCandidates(vision.greyPic, vision.blobs, vision.recon);
            if (n >= kMinCandidates && n <= kMaxCandidates) {
                recognize(vision.recon, n, vision.goal);
                recognizeMiddle(vision.recon, n, vision.rightLeft, vision.goal);
            }
            break;
        }
        default: benchmark::DoNotOptimize(link.publish(reportPositions(vision.goal)));
        }
        benchmark::ClobberMemory();
    }
    fflush(stdout);
    if (savedStdout >= 0) dup2(savedStdout, STDOUT_FILENO);
    if (savedStdout >= 0) close(savedStdout);
    if (null >= 0) close(null);
    kxGrabShutdown();
    kxImageDestroy(binary);
    kxImageDestroy(labelled);
    destroyVisionImages(vision);
}
BENCHMARK(BM_LoopStep)->ArgsProduct({{1, 3}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMicrosecond);

// The memory floor of a frame: every byte of the YUV frame read and every
// sample of the RGB image written once, with nothing computed in between
// (16 bytes read, 64 written per step, the ratio of the two buffers). The
// conversion cannot be faster than this.
void BM_MemoryFloor(benchmark::State &state)
{
    std::vector<uint8_t> frame = makeFrame(benchframes::kSixMarkers);
    kxImage *rgb = kxImageCreate(RGB, kWidth, kHeight);
    if (!rgb) {
        state.SkipWithError("could not create the image");
        return;
    }
    static_assert(benchframes::kFrameBytes % 16 == 0 && kLumaBytes * 3 * 2 == benchframes::kFrameBytes * 4,
                  "16 bytes of frame per 64 bytes of image");
    for (auto _ : state) {
        const uint8_t *in = frame.data();
        uint8_t *out = reinterpret_cast<uint8_t *>(rgb->data);
        for (size_t i = 0; i < benchframes::kFrameBytes / 16; ++i) {
            uint8_t bytes[16];
            memcpy(bytes, in + 16 * i, 16);
            for (int k = 0; k < 4; ++k) memcpy(out + 64 * i + 16 * k, bytes, 16);
        }
        benchmark::ClobberMemory();
    }
    kxImageDestroy(rgb);
}
BENCHMARK(BM_MemoryFloor)->Unit(benchmark::kMicrosecond);

#ifdef KX_BENCH_OPENCV
// OpenCV on the same YUV frames: I420 to RGB, grey, threshold at 15,
// connectedComponentsWithStats with 8-connectivity, one thread.
void BM_OpenCvEquivalent(benchmark::State &state)
{
    const int kind = int(state.range(0));
    const auto algorithm = opencvequivalent::Algorithm(state.range(1));
    state.SetLabel(std::string(kKindNames[kind]) + "/" + opencvequivalent::kAlgorithmNames[algorithm]);
    cv::setNumThreads(1);
    std::vector<uint8_t> frame = makeFrame(kind);
    opencvequivalent::Buffers buffers;
    for (auto _ : state)
        benchmark::DoNotOptimize(opencvequivalent::processFrame(frame.data(), kWidth, kHeight, algorithm, buffers));
}
// OpenCV's labelling alone, on the binary frame, beside the loop's own
// labelling and centroid steps (BM_LoopStep .../label and
// .../copy_centroids_recognize).
void BM_OpenCvLabellingOnly(benchmark::State &state)
{
    const int kind = int(state.range(0));
    const auto algorithm = opencvequivalent::Algorithm(state.range(1));
    state.SetLabel(std::string(kKindNames[kind]) + "/" + opencvequivalent::kAlgorithmNames[algorithm]);
    cv::setNumThreads(1);
    std::vector<uint8_t> frame = makeFrame(kind);
    opencvequivalent::Buffers buffers;
    opencvequivalent::processFrame(frame.data(), kWidth, kHeight, algorithm, buffers);
    for (auto _ : state) benchmark::DoNotOptimize(opencvequivalent::labelOnly(algorithm, buffers));
}
BENCHMARK(BM_OpenCvLabellingOnly)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_OpenCvEquivalent)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);
#endif

} // namespace

BENCHMARK_MAIN();
