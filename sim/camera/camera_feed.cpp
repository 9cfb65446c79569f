#include "camera/camera_feed.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "camera/y4m_writer.h"

namespace dockworld {

CameraFeed::CameraFeed(const DockingRoom &room, const CameraModel &camera, PoseSource pose, Clock clock,
                       uint32_t seed, double speed, const FeedTiming &timing, const RenderSettings &settings)
    : room_(room), renderer_(camera, settings, seed), pose_(std::move(pose)), clock_(std::move(clock)),
      timing_(timing), speed_(std::max(1.0, speed))
{
}

void CameraFeed::renderAt(double t, YuvFrame &frame)
{
    // The shutter closes `latency` before the frame is written; with an
    // exposure the renderer takes the poses it opened, was half open and
    // closed at.
    const double end = t - timing_.latency;
    std::vector<BodyPose> exposure;
    if (timing_.exposure > 0.0) {
        exposure.push_back(pose_(end - timing_.exposure));
        exposure.push_back(pose_(end - 0.5 * timing_.exposure));
    }
    exposure.push_back(pose_(end));
    renderer_.render(exposure, room_.emitters(), [this](const Vec3 &a, const Vec3 &b) { return room_.lineOfSight(a, b); },
                     frame);
}

CameraFeed::~CameraFeed() { stop(); }

void CameraFeed::start(const std::string &fifoPath)
{
    stopping_ = false;
    thread_ = std::thread(&CameraFeed::run, this, fifoPath);
}

void CameraFeed::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

std::vector<double> CameraFeed::writeTimes() const
{
    std::lock_guard<std::mutex> lock(lastMutex_);
    return writeTimes_;
}

bool CameraFeed::lastFrame(YuvFrame &out) const
{
    std::lock_guard<std::mutex> lock(lastMutex_);
    if (last_.bytes.empty())
        return false;
    out = last_;
    return true;
}

void CameraFeed::loseFor(double seconds)
{
    lossSeconds_ = std::max(seconds, 1e-3);
}

int CameraFeed::openForReader(const std::string &fifoPath)
{
    // Non-blocking open: it fails with ENXIO until the reader is there, and
    // the thread can still be stopped meanwhile.
    while (!stopping_) {
        const int fd = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENXIO)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void CameraFeed::run(std::string fifoPath)
{
    // A reader that goes away must show as EPIPE here, not end the process
    // with SIGPIPE (which goes to the writing thread).
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    while (!stopping_) {
        const int fd = openForReader(fifoPath);
        if (fd < 0) {
            readerGone_ = !stopping_;
            return;
        }
        const bool lost = stream(fd);
        ::close(fd);
        if (lost) {
            const double back = clock_() + lossSeconds_.exchange(0.0);
            while (!stopping_ && clock_() < back)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else if (stopping_) {
            return;
        } else {
            readerGone_ = true;
        }
        // Like a webcam, the feed can be opened again: after a loss the
        // reader may try a new stream and give up on it before the first
        // frame, and a reader that found a frame late (on a busy machine)
        // closes and reopens the camera. Offer it another stream.
    }
}

bool CameraFeed::stream(int fd)
{
    // Room for one whole frame in the FIFO: the reader takes it in one go
    // instead of waking the writer for every 64 KiB, which at high speed on a
    // busy machine costs frames.
    ::fcntl(fd, F_SETPIPE_SZ, 512 * 1024);
    Y4mWriter writer(fd, [this] { return !stopping_.load() && lossSeconds_.load() <= 0.0; });
    // The header goes out at once: the reader gives a stream a second to
    // announce itself, and the first picture may take longer to render than
    // that in simulated time on a busy machine.
    if (!writer.writeHeader(renderer_.camera().width, renderer_.camera().height))
        return lossSeconds_ > 0.0;
    const double period = 1.0 / kFrameRate;
    double due = clock_();
    YuvFrame frame;
    while (!stopping_) {
        if (lossSeconds_ > 0.0)
            return true;
        const double now = clock_();
        if (now < due) {
            std::this_thread::sleep_for(std::chrono::duration<double>(std::min(0.002, (due - now) / speed_)));
            continue;
        }
        const auto began = std::chrono::steady_clock::now();
        renderAt(now, frame);
        renderNanos_ += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began)
                            .count();
        if (!writer.write(frame))
            return lossSeconds_ > 0.0;
        {
            std::lock_guard<std::mutex> lock(lastMutex_);
            last_ = frame;
            if (writeTimes_.size() < 1200000) // ten hours at 30 frames per second
                writeTimes_.push_back(clock_());
        }
        ++frames_;
        // The next frame a period later; frames more than half a period
        // overdue because the reader held us up are dropped.
        const double overdue = clock_() - 0.5 * period - due;
        const long missed = overdue > period ? static_cast<long>(std::floor(overdue / period)) : 0;
        dropped_ += missed;
        due += static_cast<double>(missed + 1) * period;
    }
    return false;
}

} // namespace dockworld
