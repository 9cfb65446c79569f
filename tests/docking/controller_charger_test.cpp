// Arrival confirmed by the robot: while docking, a robot that reports its
// charger's power has arrived, whatever the markers say; while wandering it
// has not.
#include <csignal>
#include <thread>

#include "controller_run.h"

using namespace dockingtest;

TEST_F(ControllerRun, ArrivesOnItsChargerWithTheOuterMarkersStillInTheBand)
{
    ASSERT_TRUE(startDocking());
    // The outer pairs still reported at contact, as with a camera pitched a
    // degree up: 106 / (360 - 170) = 0.558 m.
    show(170, 360, 300, 310, 265, 301);
    ASSERT_TRUE(expectOutput(" 300 0.557895"));
    simulator->sendLine("charger on");
    ASSERT_TRUE(expectOutput(kArrival));
    EXPECT_TRUE(expectOutput(kStopNotice));
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
    EXPECT_FALSE(vision->running());
    EXPECT_EQ(occurrences(controller->output(), kStopNotice), 1);
    EXPECT_NE(simulator->waitForErrors("client gone", seconds(5)), std::string::npos);
}

TEST_F(ControllerRun, AChargerFeltWhileWanderingIsNoArrival)
{
    startVision();
    ASSERT_TRUE(startSimulator());
    startController();
    ASSERT_TRUE(expectOutput(kWanderBanner));
    simulator->sendLine("charger on");
    simulator->sendLine("where");  // answered once the line before it is taken
    ASSERT_NE(simulator->waitForOutput("pose ", seconds(5)), std::string::npos);

    // Ten control passes (each acknowledges the newest report), long after
    // the robot's next status packet carried the charger's power.
    stopFrames();
    for (int pass = 0; pass < 10; ++pass) {
        vision->publish(makeReport(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
        for (int i = 0; i < 100 && vision->newReport(); ++i) std::this_thread::sleep_for(milliseconds(20));
        ASSERT_FALSE(vision->newReport());
    }
    EXPECT_EQ(controller->output().find(kArrival), std::string::npos) << controller->output();
    EXPECT_TRUE(vision->running());

    // The same charger counts once the controller docks.
    show(150, 203, 300, 310, 250, 301);
    ASSERT_TRUE(expectOutput(kDockingBanner));
    EXPECT_TRUE(expectOutput(kArrival));
    EXPECT_EQ(controller->waitForExit(seconds(10)), 0);
}
