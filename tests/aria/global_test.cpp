// Library start and stop: exit callbacks, signals without a running robot,
// the key handler away from a terminal, ArUtil::sleep.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "Aria.h"

namespace {

void sayFirst() { fputs("first ", stderr); }
void saySecond() { fputs("second ", stderr); }
void sayDefault() { fputs("default ", stderr); }

void exitWithThreeCallbacks()
{
    static ArGlobalFunctor first(sayFirst), second(saySecond), byDefault(sayDefault);
    Aria::addExitCallback(&second, 10);
    Aria::addExitCallback(&byDefault);
    Aria::addExitCallback(&first, 90);
    Aria::exit(3);
}

} // namespace

class AriaProcess : public ::testing::Test {
protected:
    // The library starts threads; death tests must re-run the test body.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(AriaProcess, ExitRunsTheCallbacksHighestPositionFirst)
{
    EXPECT_EXIT(exitWithThreeCallbacks(), ::testing::ExitedWithCode(3), "^first default second $");
}

TEST_F(AriaProcess, ASignalWithNoRobotRunningEndsTheProcessThroughExit)
{
    EXPECT_EXIT(
        {
            ArGlobalFunctor said(sayFirst);
            Aria::addExitCallback(&said);
            Aria::init(Aria::SIGHANDLE_THREAD, true, true);
            kill(getpid(), SIGTERM);
            ArUtil::sleep(5000);
            std::_Exit(9); // not reached when the signal was handled
        },
        ::testing::ExitedWithCode(0), "first");
}

TEST_F(AriaProcess, SingleMethodHandlesTheSignalToo)
{
    EXPECT_EXIT(
        {
            ArGlobalFunctor said(sayFirst);
            Aria::addExitCallback(&said);
            Aria::init(Aria::SIGHANDLE_SINGLE, true, true);
            kill(getpid(), SIGHUP);
            ArUtil::sleep(5000);
            std::_Exit(9);
        },
        ::testing::ExitedWithCode(0), "first");
}

TEST_F(AriaProcess, WithoutSignalHandlingASignalKeepsItsDefault)
{
    EXPECT_EXIT(
        {
            Aria::init(Aria::SIGHANDLE_NONE, true, true);
            kill(getpid(), SIGTERM);
            ArUtil::sleep(5000);
            std::_Exit(9);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

TEST(KeyHandler, LeavesAnythingButATerminalAlone)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE *stream = fdopen(fds[0], "r");
    ASSERT_NE(stream, nullptr);
    {
        ArKeyHandler keys(false, false, stream);
        ASSERT_EQ(write(fds[1], "\x1bq", 2), 2);
        keys.restore();
        keys.restore(); // twice is harmless
    }
    // The bytes were not consumed as keys.
    char got[2] = {0, 0};
    EXPECT_EQ(read(fds[0], got, 2), 2);
    EXPECT_EQ(got[0], '\x1b');
    fclose(stream);
    close(fds[1]);
}

TEST(ArUtil, SleepWaitsAboutTheTimeAsked)
{
    auto start = std::chrono::steady_clock::now();
    ArUtil::sleep(120);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 120);
    EXPECT_LT(ms, 1000);
}
