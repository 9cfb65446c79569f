// Docking mode falls back to wandering 500 control passes (25 s or more)
// after it was entered. A program of its own: it takes about a minute.
#include <csignal>
#include <thread>

#include "controller_run.h"

using namespace dockingtest;

TEST_F(ControllerRun, FallsBackToWanderingFiveHundredPassesAfterDocking)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    // Far enough (2.65) that no stall can count as arrival; the robot circles
    // on the spot steering towards the target column.
    show(150, 190, 300, 310, 250, 301);
    ASSERT_TRUE(expectOutput(kDockingBanner));
    auto docked = std::chrono::steady_clock::now();

    // Markers still in view at the 500th pass: wander, then docking again at
    // once. 500 passes of at least 50 ms each.
    ASSERT_TRUE(expectOutput(std::string(kWanderBanner) + " " + kDockingBanner, seconds(60)));
    auto elapsed = std::chrono::steady_clock::now() - docked;
    EXPECT_GE(elapsed, milliseconds(24900)); // the banner is seen a moment after the entry
    EXPECT_LT(elapsed, seconds(40));

    // Markers gone: the next countdown ends in wandering only.
    showNothing();
    ASSERT_TRUE(expectOutput(kWanderBanner, seconds(60)));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(controller->output().find(kDockingBanner, seen), std::string::npos);

    controller->sendSignal(SIGHUP); // a hang-up ends the run as Ctrl-C does
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_FALSE(vision->running());
}

