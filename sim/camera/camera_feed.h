// The simulated webcam as a live device: a thread that renders the room from
// the robot's pose 30 times per simulated second and writes the frames into
// the FIFO the vision program reads. Like a real camera it drops frames when
// the reader falls behind rather than queueing stale ones; like a real one it
// may deliver them late (latency) and smear motion over its exposure.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera_render.h"
#include "world/docking_room.h"

namespace dockworld {

struct FeedTiming {
    double latency = 0.0;  // seconds: a frame written at t shows the robot at t - latency
    double exposure = 0.0; // seconds the shutter is open, ending at t - latency
};


class CameraFeed {
public:
    static constexpr double kFrameRate = 30.0;
    // The robot's true body pose at a simulated time (recent past included).
    using PoseSource = std::function<BodyPose(double)>;
    using Clock = std::function<double()>; // simulated seconds

    // `speed`: simulated seconds per wall-clock second of `clock`.
    CameraFeed(const DockingRoom &room, const CameraModel &camera, PoseSource pose, Clock clock, uint32_t seed,
               double speed = 1.0, const FeedTiming &timing = FeedTiming(),
               const RenderSettings &settings = RenderSettings());
    // Renders the frame the feed writes at simulated time `t`.
    void renderAt(double t, YuvFrame &frame);
    ~CameraFeed();
    CameraFeed(const CameraFeed &) = delete;
    CameraFeed &operator=(const CameraFeed &) = delete;

    // Starts the thread, which waits for a reader to open `fifoPath`.
    void start(const std::string &fifoPath);
    // Stops the thread and closes the FIFO (the reader sees the end of the
    // stream).
    void stop();

    // Fault injection: closes the FIFO (the reader sees the stream end, as
    // when a webcam drops off the bus) and opens it again `seconds` of
    // simulated time later for whatever reader is there by then.
    void loseFor(double seconds);

    long framesWritten() const { return frames_.load(); }
    // Frames due while the reader (or the renderer) was still busy with an
    // earlier one: never written.
    long framesDropped() const { return dropped_.load(); }
    // Wall-clock milliseconds the renderer took per frame written, on average.
    double renderMillis() const
    {
        const long n = frames_.load();
        return n > 0 ? renderNanos_.load() / 1e6 / static_cast<double>(n) : 0.0;
    }
    // Whether a reader closed its end (a new one may have opened since).
    bool readerGone() const { return readerGone_.load(); }
    // A copy of the last frame written; false before the first.
    bool lastFrame(YuvFrame &out) const;
    // Simulated seconds (of the feed's clock) at which each frame's write
    // into the FIFO completed, for the loop's timing.
    std::vector<double> writeTimes() const;

private:
    void run(std::string fifoPath);
    int openForReader(const std::string &fifoPath);
    // Writes frames into `fd` until stopped, lost or the reader goes; true
    // when a loss ended it.
    bool stream(int fd);

    const DockingRoom &room_;
    CameraRenderer renderer_;
    PoseSource pose_;
    Clock clock_;
    FeedTiming timing_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> readerGone_{false};
    std::atomic<long> frames_{0};
    std::atomic<double> lossSeconds_{0.0}; // > 0: a loss was asked for
    std::atomic<long> dropped_{0};
    std::atomic<long long> renderNanos_{0};
    double speed_;
    mutable std::mutex lastMutex_;
    YuvFrame last_;
    std::vector<double> writeTimes_; // guarded by lastMutex_
};

} // namespace dockworld
