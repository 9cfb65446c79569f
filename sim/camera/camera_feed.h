// The simulated webcam as a live device: a thread that renders the room from
// the robot's current pose 30 times per simulated second and writes the
// frames into the FIFO the vision program reads. Like a real camera it drops
// frames when the reader falls behind rather than queueing stale ones.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "camera/camera_render.h"
#include "world/docking_room.h"

namespace dockworld {

class CameraFeed {
public:
    static constexpr double kFrameRate = 30.0;
    using PoseSource = std::function<Pose()>;
    using Clock = std::function<double()>; // simulated seconds

    // `speed`: simulated seconds per wall-clock second of `clock`.
    CameraFeed(const DockingRoom &room, const CameraModel &camera, PoseSource pose, Clock clock, uint32_t seed,
               double speed = 1.0);
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
    // Whether a reader closed its end (a new one may have opened since).
    bool readerGone() const { return readerGone_.load(); }
    // A copy of the last frame written; false before the first.
    bool lastFrame(YuvFrame &out) const;

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
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> readerGone_{false};
    std::atomic<long> frames_{0};
    std::atomic<double> lossSeconds_{0.0}; // > 0: a loss was asked for
    std::atomic<long> dropped_{0};
    double speed_;
    mutable std::mutex lastMutex_;
    YuvFrame last_;
};

} // namespace dockworld
