// The station charges: the simulated robot reports it in its status packets
// while it sits on the contacts, and our ARIA layer reads it back.
#include <gtest/gtest.h>

#include "Aria.h"
#include "LinkHelpers.h"
#include "robot/charger.h"
#include "world/docking_room.h"
#include "robot/robot_server.h"

using namespace dockworld;
using namespace std::chrono_literals;
using ariatest::eventually;

TEST(Charger, ChargesInBulkThenFloatsAndStopsOffTheContacts)
{
    Charger charger;
    charger.update(false, 1.0);
    EXPECT_FALSE(charger.report().chargerPowerGood);
    EXPECT_EQ(charger.report().chargeState, 0);

    charger.update(true, 0.1);
    const double start = charger.report().volts;
    EXPECT_TRUE(charger.report().chargerPowerGood);
    EXPECT_EQ(charger.report().chargeState, 1);
    charger.update(true, 10.0);
    EXPECT_GT(charger.report().volts, start + 0.1); // slowly, but it rises
    EXPECT_EQ(charger.report().chargeState, 1);

    for (int i = 0; i < 300; ++i)
        charger.update(true, 1.0);
    EXPECT_EQ(charger.report().chargeState, 3);
    EXPECT_NEAR(charger.report().volts, Charger::kFloatVolts, 0.05);

    charger.update(false, 0.1);
    EXPECT_FALSE(charger.report().chargerPowerGood);
    EXPECT_EQ(charger.report().chargeState, 0);
}

TEST(Charger, ReportedThroughTheLayerOnTheContactsAndNotOnceTheRobotBacksOff)
{
    const DockingRoom room;
    std::unique_ptr<RobotServer> server = makeRobotServer(room);
    std::string error;
    ASSERT_TRUE(server->start(room.station().dockedPose(), &error)) << error;
    ArRobot robot;
    ASSERT_TRUE(ariatest::connectTo(robot, server->port()));
    robot.runAsync(true);
    EXPECT_TRUE(eventually([&] { return robot.isChargerPowerGood(); }, 2000ms));
    EXPECT_EQ(robot.getChargeState(), ArRobot::CHARGING_BULK);
    EXPECT_GT(robot.getRealBatteryVoltage(), 12.0);

    robot.comInt(4, 1);
    robot.lock();
    robot.move(-300);
    robot.unlock();
    EXPECT_TRUE(eventually([&] { return robot.isMoveDone() && !robot.isChargerPowerGood(); }, 8000ms));
    EXPECT_EQ(robot.getChargeState(), ArRobot::CHARGING_NOT);
    EXPECT_NEAR(room.station().offsets(server->pose()).gap, 0.3, 0.05);
}
