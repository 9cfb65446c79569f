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

// A server that stops answering while it attaches a new segment does not
// make the program deaf to Ctrl-C, and the segment still goes with it.
TEST_F(CleanupTest, SignalEndsAProgramWaitingForAHungServer)
{
    ChildProcess child({DISPLAY_CHILD_PATH, "attach"});
    ASSERT_TRUE(child.waitForLine("ready"));
    ASSERT_EQ(kill(server().pid(), SIGSTOP), 0);
    struct Resume {
        ~Resume() { kill(server().pid(), SIGCONT); }
    } resume;
    kill(child.pid(), SIGUSR1);
    ASSERT_TRUE(child.waitForLine("showing"));
    std::this_thread::sleep_for(100ms);  // into the attach's round trip
    kill(child.pid(), SIGINT);
    EXPECT_EQ(child.waitFor(5000), 0);
    EXPECT_EQ(restOf(child), "exit handlers ran\n");  // never "shown"
    // The server holds the old segment until it has seen the client go.
    kill(server().pid(), SIGCONT);
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
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

// Signals that land while segments are being made and released for new
// picture sizes leave nothing behind either.
TEST_F(CleanupTest, SignalsDuringResizingLeaveNoSegment)
{
    for (int round = 0; round < 10; ++round) {
        ChildProcess child({DISPLAY_CHILD_PATH, "resize"});
        ASSERT_TRUE(child.waitForLine("ready"));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 17 * round));
        kill(child.pid(), round % 2 ? SIGTERM : SIGINT);
        EXPECT_EQ(child.wait(), 0);
        EXPECT_EQ(segmentsLeft(child.pid()), 0) << "round " << round;
    }
}

} // namespace
} // namespace kxtest
