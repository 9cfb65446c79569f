// No shared-memory segment of a process with a shared-mode window survives
// it, whatever way the process ends; the window goes with it.
#include "child_process.h"
#include "display_session.h"
#include "test_support.h"
#include "xvfb_server.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kxtest {
namespace {

using namespace std::chrono_literals;

XvfbServer &server()
{
    static XvfbServer instance;
    return instance;
}

// Waits (the server detaches a little after the client is gone) until no
// segment of `pid` is left; returns how many remain.
int segmentsLeft(pid_t pid)
{
    auto deadline = std::chrono::steady_clock::now() + 5s;
    int left = static_cast<int>(segmentsOf(pid).size());
    while (left > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        left = static_cast<int>(segmentsOf(pid).size());
    }
    return left;
}

class CleanupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server().ok()) << server().error();
        user_ = std::make_unique<XUser>(server().name());
        ASSERT_TRUE(user_->ok());
    }
    bool windowGone()
    {
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (user_->findWindow("Kelvix 1.9.2", 0) != 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
    std::unique_ptr<XUser> user_;
};

struct Ending {
    int signal;
    const char *mode;
};

class SignalCleanupTest : public CleanupTest, public ::testing::WithParamInterface<Ending> {};

// What the child printed after "ready" (up to the end of its output).
std::string restOf(ChildProcess &child)
{
    std::string rest, line;
    while (child.readLine(&line, 2000)) rest += line + "\n";
    return rest;
}

TEST_P(SignalCleanupTest, SignalRemovesTheSegmentAndEndsWithStatusZero)
{
    ChildProcess child({DISPLAY_CHILD_PATH, GetParam().mode});
    ASSERT_TRUE(child.waitForLine("ready"));
    EXPECT_GE(segmentsOf(child.pid()).size(), 1u);
    ASSERT_NE(user_->findWindow("Kelvix 1.9.2"), 0u);
    if (!strcmp(GetParam().mode, "click")) std::this_thread::sleep_for(100ms);  // into XNextEvent
    kill(child.pid(), GetParam().signal);
    EXPECT_EQ(child.wait(), 0);
    // The process ended through exit(): its buffers were written and its own
    // exit handlers ran (after kxGetClick's prompt in click mode).
    const std::string rest = restOf(child);
    EXPECT_EQ(rest.rfind("buffered output\n", 0), 0u) << rest;
    EXPECT_EQ(rest.substr(rest.size() - std::min<size_t>(rest.size(), 18)), "exit handlers ran\n") << rest;
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
    EXPECT_TRUE(windowGone());
}

// A program that alternates work with shows ends within a bound on Ctrl-C
// while the server does not answer, wherever the signal lands: its exit
// handler that shows again returns, and no segment is left.
TEST_F(CleanupTest, SignalEndsAWorkingProgramOfAStoppedServer)
{
    for (int round = 0; round < 6; ++round) {
        ChildProcess child({DISPLAY_CHILD_PATH, "work"});
        ASSERT_TRUE(child.waitForLine("ready"));
        ASSERT_EQ(kill(server().pid(), SIGSTOP), 0);
        struct Resume {
            ~Resume() { kill(server().pid(), SIGCONT); }
        } resume;
        std::this_thread::sleep_for(std::chrono::milliseconds(9 * round));
        kill(child.pid(), SIGINT);
        EXPECT_EQ(child.waitFor(15000), 0) << "round " << round;
        // The server holds the segment until it has seen the client go.
        kill(server().pid(), SIGCONT);
        EXPECT_EQ(segmentsLeft(child.pid()), 0) << "round " << round;
    }
}

// Ctrl-C on a program whose output pipe is full and whose exit would flush
// into it: ended within the grace period and a bound, with status 0.
TEST_F(CleanupTest, FullOutputPipeDoesNotKeepASignalledProgramAlive)
{
    ChildProcess child({DISPLAY_CHILD_PATH, "fullpipe"});
    ASSERT_TRUE(child.waitForLine("ready"));
    kill(child.pid(), SIGUSR1);
    kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.waitFor(15000), 0);
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
}

// A signal during the program's own exit() leaves its status and its slow
// exit handler alone.
TEST_F(CleanupTest, SignalDuringTheProgramsOwnExitKeepsItsStatus)
{
    ChildProcess child({DISPLAY_CHILD_PATH, "slowexit"});
    ASSERT_TRUE(child.waitForLine("slow handler started"));
    kill(child.pid(), SIGINT);
    EXPECT_EQ(child.wait(), 3);
    EXPECT_EQ(restOf(child), "slow handler done\nexit handlers ran\n");
}

// A child forked after the window opened ends through exit() on Ctrl-C, with
// its buffered output, and leaves its parent's window alone.
TEST_F(CleanupTest, SignalEndsAForkedChildWithItsOutput)
{
    ChildProcess parent({DISPLAY_CHILD_PATH, "fork"});
    ASSERT_TRUE(parent.waitForLine("ready"));
    std::string line;
    while (line.rfind("child ", 0) != 0) ASSERT_TRUE(parent.readLine(&line));
    const pid_t child = std::stoi(line.substr(6));
    struct Reap {
        pid_t pid;
        ~Reap() { kill(pid, SIGKILL); }
    } reap{child};
    kill(child, SIGINT);
    ASSERT_TRUE(parent.waitForLine("child buffered output"));
    ASSERT_TRUE(parent.readLine(&line));
    EXPECT_EQ(line, "exit handlers ran");
    ASSERT_TRUE(parent.readLine(&line));
    EXPECT_EQ(line, "child status 0");
    EXPECT_NE(user_->findWindow("Kelvix 1.9.2", 0), 0u);
    kill(parent.pid(), SIGTERM);
    EXPECT_EQ(parent.wait(), 0);
    EXPECT_EQ(segmentsLeft(parent.pid()), 0);
}

// A grab loop with atexit(kxShutdown): the grabber is shut down and the
// library's objects destroyed only on the program's thread, so no signal
// crashes it or loses its output.
TEST_F(CleanupTest, SignalsNeverCrashAGrabLoop)
{
    const std::string video = ::testing::TempDir() + "cleanup_grab.y4m";
    FILE *file = fopen(video.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fputs("YUV4MPEG2 W640 H480 F30:1 C420jpeg\n", file);
    const std::string picture(640 * 480 * 3 / 2, '\x60');
    for (int frame = 0; frame < 3; ++frame) {
        fputs("FRAME\n", file);
        fwrite(picture.data(), 1, picture.size(), file);
    }
    ASSERT_EQ(fclose(file), 0);
    for (int round = 0; round < 50; ++round) {
        ChildProcess child({DISPLAY_CHILD_PATH, "grab", video});
        ASSERT_TRUE(child.waitForLine("ready"));
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10));
        kill(child.pid(), SIGINT);
        ASSERT_EQ(child.wait(), 0) << "round " << round;
        const std::string rest = restOf(child);
        ASSERT_EQ(rest.substr(rest.size() - std::min<size_t>(rest.size(), 18)),
                  "exit handlers ran\n") << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalCleanupTest,
    ::testing::Values(Ending{SIGINT, "pause"}, Ending{SIGTERM, "pause"}, Ending{SIGHUP, "pause"},
                      Ending{SIGINT, "click"}, Ending{SIGTERM, "click"}, Ending{SIGHUP, "click"}),
    [](const ::testing::TestParamInfo<Ending> &info) {
        const char *name = info.param.signal == SIGINT    ? "SIGINT"
                           : info.param.signal == SIGTERM ? "SIGTERM"
                                                          : "SIGHUP";
        return std::string(name) + "_" + info.param.mode;
    });

TEST_F(CleanupTest, NormalExitRemovesTheSegment)
{
    ChildProcess child({DISPLAY_CHILD_PATH, "exit"});
    ASSERT_TRUE(child.waitForLine("ready"));
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(restOf(child), "buffered output\nexit handlers ran\n");
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
    EXPECT_TRUE(windowGone());
}

TEST_F(CleanupTest, ShutdownRemovesSegmentAndWindowWhileTheProcessLives)
{
    ChildProcess child({DISPLAY_CHILD_PATH, "shutdown"});
    ASSERT_TRUE(child.waitForLine("ready"));
    ASSERT_TRUE(child.waitForLine("closed"));
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
    EXPECT_TRUE(windowGone());
    kill(child.pid(), SIGKILL);
    child.wait();
}

// Two signals back to back, landing while segments are made and released
// for new picture sizes, leave nothing behind.
TEST_F(CleanupTest, SignalPairsDuringResizingLeaveNoSegment)
{
    int left = 0;
    for (int round = 0; round < 100; ++round) {
        ChildProcess child({DISPLAY_CHILD_PATH, "resize"});
        ASSERT_TRUE(child.waitForLine("ready"));
        std::this_thread::sleep_for(std::chrono::microseconds(997 * (round % 23)));
        kill(child.pid(), round % 2 ? SIGTERM : SIGINT);
        kill(child.pid(), SIGINT);
        EXPECT_EQ(child.wait(), 0) << "round " << round;
        left += segmentsLeft(child.pid());
    }
    EXPECT_EQ(left, 0);
}

} // namespace
} // namespace kxtest
