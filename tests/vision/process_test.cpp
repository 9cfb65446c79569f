// The quorvantel program as a process: recorded videos in, reports out, and
// the stop handshake, checked by a reader that attaches to the report the
// way the controller does.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "report_ipc.h"
#include "scripted_vision.h"
#include "test_support.h"
#include "y4m_video.h"

using visiontest::LumaFrame;
using Clock = std::chrono::steady_clock;

namespace {

// Generous: under the sanitizers a frame takes tens of milliseconds.
constexpr std::chrono::seconds kPatience(30);

struct Marker {
    int row, col;
};

// The station's six markers, upper-left to lower-right in report order.
std::vector<Marker> station(int dy, int dx)
{
    return {{200 + dy, 250 + dx}, {202 + dy, 400 + dx}, {250 + dy, 248 + dx},
            {251 + dy, 402 + dx}, {300 + dy, 252 + dx}, {299 + dy, 398 + dx}};
}

LumaFrame frameWith(const std::vector<Marker> &markers)
{
    LumaFrame frame;
    for (const Marker &m : markers) frame.disc(m.row, m.col, 5);
    return frame;
}

// Words 0-11 for the markers (missing ones 0, 0).
TargetReport positionsOf(const std::vector<Marker> &markers)
{
    int32_t words[14] = {};
    for (size_t k = 0; k < markers.size(); ++k) {
        words[2 * k] = markers[k].row;
        words[2 * k + 1] = markers[k].col;
    }
    TargetReport report;
    memcpy(&report, words, sizeof report);
    return report;
}

bool samePositions(const TargetReport &a, const TargetReport &b)
{
    return memcmp(&a, &b, 12 * sizeof(int32_t)) == 0;
}

std::string describe(const TargetReport &r)
{
    const int32_t *w = reinterpret_cast<const int32_t *>(&r);
    std::string text;
    for (int k = 0; k < 14; ++k) text += std::to_string(w[k]) + (k < 13 ? " " : "");
    return text;
}

class VisionProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A key file whose key no other run's IPC objects use.
        key = makeKeyFile(scratch.path());
        ASSERT_NE(key, -1);
    }

    void TearDown() override
    {
        if (reader.data) shmdt(reader.data);
        if (pid > 0) {
            kill(pid, SIGKILL);
            linktest::waitChild(pid);
        }
        linktest::removeIpc(key);
    }

    // Starts quorvantel in the scratch directory with its output in files.
    void start(const std::vector<std::string> &arguments)
    {
        const std::string out = scratch.file("stdout"), err = scratch.file("stderr");
        pid = linktest::startChild(scratch.path(), [&]() {
            int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            std::vector<char *> argv{const_cast<char *>(QUORVANTEL_PATH)};
            for (const std::string &a : arguments) argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUORVANTEL_PATH, argv.data());
            return 127;
        });
        ASSERT_GT(pid, 0);
    }

    void startOnVideo(const std::vector<LumaFrame> &frames)
    {
        ASSERT_TRUE(visiontest::writeY4m(scratch.file("video.y4m"), frames));
        start({"video.y4m"});
    }

    // Exit status of the program (waiting at most kPatience), or -1.
    int finish()
    {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (Clock::now() < deadline) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    // Attaches once the program has set its run flag.
    bool attach()
    {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            if (linktest::segmentExists(key) && linktest::readSegment(key).running == 1) {
                return openReportIpc(scratch.file("quorvantel").c_str(), reader) == nullptr;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // Resets newReport under the lock and returns the next report the
    // program publishes, copied under the lock.
    bool nextReport(TargetReport *report)
    {
        semaphoreStep(reader.semid, -1);
        storeWord(reader.data->newReport, 0);
        semaphoreStep(reader.semid, +1);
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            semaphoreStep(reader.semid, -1);
            *report = loadReport(*reader.data);
            semaphoreStep(reader.semid, +1);
            if (report->newReport == 1) return true;
            std::this_thread::sleep_for(std::chrono::microseconds(200 + rand() % 800));
        }
        return false;
    }

    // The controller's stop: both flags cleared under the lock, then detach.
    void requestStop()
    {
        semaphoreStep(reader.semid, -1);
        storeWord(reader.data->newReport, 0);
        storeWord(reader.data->running, 0);
        shmdt(reader.data);
        reader.data = nullptr;
        semaphoreStep(reader.semid, +1);
    }

    // Stops the program and checks the orderly end.
    void stopAndExpectOrderlyEnd()
    {
        requestStop();
        EXPECT_EQ(finish(), 0);
        std::string out = kxtest::readFile(scratch.file("stdout"));
        EXPECT_GE(out.size(), 10u);
        EXPECT_EQ(out.substr(out.size() - std::min<size_t>(out.size(), 10)), "Quitting!\n");
        EXPECT_FALSE(linktest::semaphoreExists(key));
        EXPECT_TRUE(linktest::segmentExists(key));
        EXPECT_EQ(linktest::readSegment(key).running, 0);
    }

    // The first report of a program running on a video of one frame.
    TargetReport reportOfSingleFrameVideo(const LumaFrame &frame)
    {
        TargetReport report{};
        startOnVideo({frame});
        EXPECT_TRUE(attach());
        if (!reader.data) return report;
        EXPECT_TRUE(nextReport(&report));
        stopAndExpectOrderlyEnd();
        return report;
    }

    kxtest::ScratchDir scratch;
    key_t key = -1;
    pid_t pid = -1;
    ReportIpc reader;
};

} // namespace

TEST_F(VisionProcess, PublishesEveryFramesMarkersUntilStopped)
{
    const std::vector<Marker> frames[3] = {station(0, 0), station(20, -30), station(-15, 60)};
    startOnVideo({frameWith(frames[0]), frameWith(frames[1]), frameWith(frames[2])});
    ASSERT_TRUE(attach());
    bool seen[3] = {};
    for (int sample = 0; sample < 400 && !(seen[0] && seen[1] && seen[2]); ++sample) {
        TargetReport report;
        ASSERT_TRUE(nextReport(&report));
        EXPECT_EQ(report.running, 1);
        int which = -1;
        for (int f = 0; f < 3; ++f)
            if (samePositions(report, positionsOf(frames[f]))) which = f;
        ASSERT_NE(which, -1) << "report of no frame of the video: " << describe(report);
        seen[which] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
    stopAndExpectOrderlyEnd();
    EXPECT_EQ(kxtest::readFile(scratch.file("stdout")), "Quitting!\n");
    EXPECT_EQ(kxtest::readFile(scratch.file("stderr")), "");
}

TEST_F(VisionProcess, FourCandidatesPublishThePatternWithoutMiddle)
{
    std::vector<Marker> markers = station(0, 0);
    LumaFrame frame = frameWith({markers[0], markers[1], markers[4], markers[5]});
    TargetReport report = reportOfSingleFrameVideo(frame);
    EXPECT_TRUE(samePositions(report, positionsOf({markers[0], markers[1], {0, 0}, {0, 0}, markers[4], markers[5]})))
        << describe(report);
}

TEST_F(VisionProcess, CountRulePublishesZeros)
{
    const TargetReport zeros{};
    std::vector<Marker> three = station(0, 0);
    three.resize(3);
    TargetReport report = reportOfSingleFrameVideo(frameWith(three));
    EXPECT_TRUE(samePositions(report, zeros)) << describe(report);
    EXPECT_EQ(report.newReport, 1);
}

TEST_F(VisionProcess, ElevenCandidatesPublishZeros)
{
    std::vector<Marker> markers = station(0, 0);
    for (int extra = 0; extra < 5; ++extra) markers.push_back({180 + 35 * extra, 560});
    TargetReport report = reportOfSingleFrameVideo(frameWith(markers));
    EXPECT_TRUE(samePositions(report, TargetReport{})) << describe(report);
}

TEST_F(VisionProcess, TooManyBlobsFrame)
{
    // 300 dots above the band take every blob number before the markers.
    LumaFrame frame = frameWith(station(0, 0));
    for (int d = 0; d < 300; ++d) frame.dot(10 + 2 * (d / 200), 10 + 3 * (d % 200));
    TargetReport report = reportOfSingleFrameVideo(frame);
    EXPECT_TRUE(samePositions(report, TargetReport{})) << describe(report);
    std::string out = kxtest::readFile(scratch.file("stdout"));
    EXPECT_EQ(out.rfind("Too many blobs!!!\n", 0), 0u);
    EXPECT_NE(out.find("Too many blobs!!!\nQuitting!\n"), std::string::npos);
}

TEST_F(VisionProcess, LeftoverSemaphoreAndRecordAreReused)
{
    // A killed earlier run left the lock taken and its last report behind.
    int semid = semget(key, 1, IPC_CREAT | 0666);
    ASSERT_NE(semid, -1);
    ASSERT_EQ(semctl(semid, 0, SETVAL, 0), 0);
    int shmid = shmget(key, sizeof(TargetReport), IPC_CREAT | 0666);
    ASSERT_NE(shmid, -1);
    auto *old = static_cast<TargetReport *>(shmat(shmid, nullptr, 0));
    *old = positionsOf(station(40, 40));
    shmdt(old);

    std::vector<Marker> markers = station(0, 0);
    TargetReport report = reportOfSingleFrameVideo(frameWith(markers));
    EXPECT_TRUE(samePositions(report, positionsOf(markers))) << describe(report);
}

TEST_F(VisionProcess, UnopenableDeviceEndsWithStatus255)
{
    start({scratch.file("no-such-video.y4m")});
    EXPECT_EQ(finish(), 255);
    EXPECT_EQ(kxtest::readFile(scratch.file("stdout")), "kxInit: error: unable to initialize framegrabber\n");
    EXPECT_EQ(kxtest::readFile(scratch.file("stderr")).rfind("kxGrabInit", 0), 0u);
}

TEST_F(VisionProcess, CommandLine)
{
    start({"-h"});
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(kxtest::readFile(scratch.file("stdout")).rfind("usage: quorvantel [DEVICE]", 0), 0u);

    for (const std::vector<std::string> &words :
         {std::vector<std::string>{"video.y4m", "extra"}, std::vector<std::string>{"--frames"}}) {
        start(words);
        EXPECT_EQ(finish(), 1);
        EXPECT_EQ(kxtest::readFile(scratch.file("stderr")).rfind("usage: quorvantel [DEVICE]", 0), 0u);
        EXPECT_EQ(kxtest::readFile(scratch.file("stdout")), "");
        EXPECT_FALSE(linktest::semaphoreExists(key));
        EXPECT_FALSE(linktest::segmentExists(key));
    }
}

namespace {

// A live stream into a FIFO, as a camera delivers it: the header, then the
// same frame again and again until stopped or the reader goes.
class FifoCamera {
public:
    FifoCamera(const std::string &path, const LumaFrame &frame, bool waitForReader)
    {
        // A reader that goes away must show as EPIPE, not end the test.
        signal(SIGPIPE, SIG_IGN);
        thread_ = std::thread([this, path, frame, waitForReader] {
            int fd = -1;
            while (!stop_ && fd < 0) {
                fd = open(path.c_str(), O_WRONLY | (waitForReader ? 0 : O_NONBLOCK));
                if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (fd < 0) return;
            fcntl(fd, F_SETFL, 0);
            const std::string header = "YUV4MPEG2 W640 H480 F30:1 Ip A1:1 C420jpeg\n";
            bool ok = write(fd, header.data(), header.size()) == ssize_t(header.size());
            while (ok && !stop_) {
                if (stalled_) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
                ok = write(fd, "FRAME\n", 6) == 6 &&
                     write(fd, frame.planes().data(), frame.planes().size()) == ssize_t(frame.planes().size());
                ++frames_;
            }
            close(fd);
        });
    }
    ~FifoCamera() { unplug(); }
    // Closes the stream: the reader sees its end after what the pipe holds.
    void unplug()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    long frames() const { return frames_; }
    // Keeps the stream open but sends nothing more: a camera that stops
    // delivering without an error.
    void stall() { stalled_ = true; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<long> frames_{0};
    std::thread thread_;
};

// CPU seconds the process has used (user and system).
double cpuSeconds(pid_t pid)
{
    std::string stat = kxtest::readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t at = stat.rfind(')');
    if (at == std::string::npos) return -1;
    std::istringstream fields(stat.substr(at + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field) fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

// A camera that stops delivering: no report may carry its last markers, the
// program waits quietly and cheaply for it, takes it back when it returns
// (after its settling frames), and still stops on request, also while a
// stalled camera sends nothing.
TEST_F(VisionProcess, ALostCameraPublishesNoMarkersAndIsTakenBack)
{
    const std::string fifo = scratch.file("camera.y4m");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<Marker> markers = station(0, 0);
    auto camera = std::make_unique<FifoCamera>(fifo, frameWith(markers), true);
    start({"camera.y4m"});
    ASSERT_TRUE(attach());
    TargetReport report;
    ASSERT_TRUE(nextReport(&report));
    EXPECT_TRUE(samePositions(report, positionsOf(markers))) << describe(report);

    camera->unplug();
    // What the pipe still held is read first; the first report after the
    // end already has no marker, and so has every later one.
    const std::string out = scratch.file("stdout");
    const auto lostBy = Clock::now() + kPatience;
    while (kxtest::readFile(out).find("Camera lost") == std::string::npos && Clock::now() < lostBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (int sample = 0; sample < 3; ++sample) {
        ASSERT_TRUE(nextReport(&report));
        EXPECT_TRUE(samePositions(report, TargetReport{})) << describe(report);
    }
    const double cpuBefore = cpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_LT(cpuSeconds(pid) - cpuBefore, 0.25) << "spinning while the camera is gone";
    std::string text = kxtest::readFile(out);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text; // the grabber's line and ours

    camera = std::make_unique<FifoCamera>(fifo, frameWith(markers), false);
    bool back = false;
    for (int sample = 0; sample < 200 && !back; ++sample)
        back = nextReport(&report) && samePositions(report, positionsOf(markers));
    EXPECT_TRUE(back);
    // The camera's first 20 frames after its return settle it and count for
    // nothing; the stream holds at most a few frames more than were read.
    EXPECT_GT(camera->frames(), 20);
    EXPECT_NE(kxtest::readFile(out).find("Camera back\n"), std::string::npos);

    // This time the stream stays open but sends nothing: the wait for a
    // frame ends after about a second all the same.
    camera->stall();
    const auto stalledBy = Clock::now() + kPatience;
    while (kxtest::readFile(out).find("Camera lost", text.size()) == std::string::npos && Clock::now() < stalledBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(kxtest::readFile(out).find("Camera lost", text.size()), std::string::npos);
    // Stopped while the camera is gone, between reopening attempts or in one
    // (each at most 0.2 s; the margin is for a loaded machine).
    const auto asked = Clock::now();
    stopAndExpectOrderlyEnd();
    EXPECT_LT(Clock::now() - asked, std::chrono::seconds(3));
}

