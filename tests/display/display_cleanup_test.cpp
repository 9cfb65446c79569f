// No shared-memory segment of a process with a shared-mode window survives
// it, whatever way the process ends; the window goes with it.
#include "test_support.h"
#include "xvfb_server.h"

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

// Segments created by process `pid` that still exist (ipcs -m -p).
int segmentsOf(pid_t pid)
{
    shm_info info{};
    int highest = shmctl(0, SHM_INFO, reinterpret_cast<shmid_ds *>(&info));
    int count = 0;
    for (int index = 0; index <= highest; ++index) {
        shmid_ds ds{};
        if (shmctl(index, SHM_STAT, &ds) >= 0 && ds.shm_cpid == pid) ++count;
    }
    return count;
}

// Waits (the server detaches a little after the client is gone) until no
// segment of `pid` is left; returns how many remain.
int segmentsLeft(pid_t pid)
{
    auto deadline = std::chrono::steady_clock::now() + 5s;
    int left = segmentsOf(pid);
    while (left > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        left = segmentsOf(pid);
    }
    return left;
}

class Child {
public:
    explicit Child(const char *mode)
    {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(DISPLAY_CHILD_PATH, DISPLAY_CHILD_PATH, mode, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        output_ = fdopen(out[0], "r");
    }
    ~Child()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_) fclose(output_);
    }
    pid_t pid() const { return pid_; }
    // Waits for the child's next line ("ready", "closed").
    bool says(const std::string &word)
    {
        char line[256];
        std::string banner;
        while (output_ && fgets(line, sizeof line, output_))
            if (word + "\n" == line) return true;
        return false;
    }
    // Exit status after waiting, or -1 when it was not a normal exit.
    int wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE *output_ = nullptr;
    bool reaped_ = false;
};

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

TEST_P(SignalCleanupTest, SignalRemovesTheSegmentAndEndsWithStatusZero)
{
    Child child(GetParam().mode);
    ASSERT_TRUE(child.says("ready"));
    EXPECT_GE(segmentsOf(child.pid()), 1);
    ASSERT_NE(user_->findWindow("Kelvix 1.9.2"), 0u);
    if (!strcmp(GetParam().mode, "click")) std::this_thread::sleep_for(100ms);  // into XNextEvent
    kill(child.pid(), GetParam().signal);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
    EXPECT_TRUE(windowGone());
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
    Child child("exit");
    ASSERT_TRUE(child.says("ready"));
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(segmentsLeft(child.pid()), 0);
    EXPECT_TRUE(windowGone());
}

TEST_F(CleanupTest, ShutdownRemovesSegmentAndWindowWhileTheProcessLives)
{
    Child child("shutdown");
    ASSERT_TRUE(child.says("ready"));
    ASSERT_TRUE(child.says("closed"));
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
        Child child("resize");
        ASSERT_TRUE(child.says("ready"));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 17 * round));
        kill(child.pid(), round % 2 ? SIGTERM : SIGINT);
        EXPECT_EQ(child.wait(), 0);
        EXPECT_EQ(segmentsLeft(child.pid()), 0) << "round " << round;
    }
}

} // namespace
} // namespace kxtest
