// Our ARIA layer against a scripted robot: handshake, state from the status
// packets, the commands each cycle sends, and losing the connection.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>

#include "Aria.h"
#include "FakeRobot.h"
#include "LinkHelpers.h"
#include "protocol/Messages.h"
#include "protocol/P3dx.h"
#include "test_support.h"

using namespace ariatest;
using namespace robotproto;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

bool hasCommand(const std::vector<ReceivedCommand> &cmds, uint8_t id, int arg)
{
    for (const ReceivedCommand &c : cmds)
        if (c.id == id && c.arg == arg)
            return true;
    return false;
}

// Heading units of the p3dx for `deg` degrees.
int16_t headingUnits(double deg) { return static_cast<int16_t>(std::lround(deg * M_PI / 180 / kAngleConv)); }

} // namespace

TEST(Connector, ParseArgsTakesItsOptionsAndLeavesTheRest)
{
    char *argv[] = {(char *)"prog", (char *)"-rh", (char *)"robot.lan", (char *)"-extra",
                    (char *)"-remoteRobotTcpPort", (char *)"8102", (char *)"-ris",
                    (char *)"word", (char *)"-rb", (char *)"38400", nullptr};
    int argc = 10;
    ArSimpleConnector connector(&argc, argv);
    EXPECT_TRUE(connector.parseArgs());
    ASSERT_EQ(argc, 3);
    EXPECT_STREQ(argv[0], "prog");
    EXPECT_STREQ(argv[1], "-extra");
    EXPECT_STREQ(argv[2], "word");
    EXPECT_EQ(argv[3], nullptr);

    char *missing[] = {(char *)"prog", (char *)"-rrtp", nullptr};
    int missingCount = 2;
    ArSimpleConnector noValue(&missingCount, missing);
    EXPECT_FALSE(noValue.parseArgs());

    char *bad[] = {(char *)"prog", (char *)"-rrtp", (char *)"80x", nullptr};
    int badCount = 3;
    ArSimpleConnector notNumber(&badCount, bad);
    EXPECT_FALSE(notNumber.parseArgs());
}

TEST(Connector, AGivenHostThatRefusesMakesConnectFail)
{
    // A port nobody listens on: bind one, note it, close it.
    int port;
    {
        FakeRobot probe;
        port = probe.port();
    }
    ArRobot robot;
    EXPECT_FALSE(connectTo(robot, port));
    EXPECT_FALSE(robot.isRunning());
}

TEST(Link, HandshakeThenTheFirstCycleSendsTheRobotsLimitsAndVelocity)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    EXPECT_TRUE(fake.opened());
    robot.comInt(ENABLE, 1);
    robot.com(SIM_STAT);
    robot.comInt(SOUNDTOG, 0);
    robot.runAsync(true);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, RVEL, 0); }, 2000ms));
    std::vector<ReceivedCommand> cmds = fake.commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].id, OPEN);
    EXPECT_EQ(cmds[0].arg, 1);
    EXPECT_EQ(cmds[1].id, CONFIG);
    EXPECT_TRUE(hasCommand(cmds, ENABLE, 1));
    EXPECT_TRUE(hasCommand(cmds, SOUNDTOG, 0));
    auto simStat = fake.commands(SIM_STAT);
    ASSERT_EQ(simStat.size(), 1u);
    EXPECT_FALSE(simStat[0].hasArg);
    // The configuration's limits, as the robot reported them.
    EXPECT_TRUE(hasCommand(cmds, SETV, 1500));
    EXPECT_TRUE(hasCommand(cmds, SETA, 300));
    EXPECT_TRUE(hasCommand(cmds, SETA, -300));
    EXPECT_TRUE(hasCommand(cmds, SETRV, 100));
    // No action: velocity 0 and rotation 0 once, then only PULSE to keep the
    // robot's watchdog content.
    EXPECT_TRUE(hasCommand(cmds, VEL, 0));
    auto idleSince = Clock::now();
    std::this_thread::sleep_for(1300ms);
    EXPECT_TRUE(fake.commands(VEL, idleSince).empty());
    EXPECT_GE(fake.commands(PULSE, idleSince).size(), 2u);
    EXPECT_TRUE(robot.isRunning());
}

TEST(Link, StallBitsReachTheMotorStallQueries)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    EXPECT_FALSE(robot.isLeftMotorStalled());
    fake.setStall(kLeftStallBit);
    EXPECT_TRUE(eventually([&] { return robot.isLeftMotorStalled(); }, 1000ms));
    EXPECT_FALSE(robot.isRightMotorStalled());
    fake.setStall(kRightStallBit | 0x0E00); // front bumpers do not count as a stall
    EXPECT_TRUE(eventually([&] { return robot.isRightMotorStalled() && !robot.isLeftMotorStalled(); }, 1000ms));
    fake.setStall(0x00FE); // rear bumpers only
    EXPECT_TRUE(eventually([&] { return !robot.isRightMotorStalled(); }, 1000ms));
    EXPECT_FALSE(robot.isLeftMotorStalled());
}

TEST(Link, SonarReadingsReachTheSonarDevice)
{
    FakeRobot fake;
    ArSonarDevice sonar;
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    robot.addRangeDevice(&sonar);
    fake.setOdometry(0x7FD0, 100, 0);
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    EXPECT_DOUBLE_EQ(sonar.currentReadingPolar(-90, 90), 5000); // nothing yet
    // Sonar 3 (166, 27, 10 deg) sees a wall 1500 mm ahead at 1354 mm.
    fake.setSonar(3, 1354);
    double angle = 0;
    ASSERT_TRUE(eventually([&] { return sonar.currentReadingPolar(-90, 90) < 5000; }, 1000ms));
    EXPECT_NEAR(sonar.currentReadingPolar(-90, 90, &angle), 1522, 2);
    EXPECT_NEAR(angle, 9.9, 0.3);
    // Outside the asked sector the point is not seen.
    EXPECT_DOUBLE_EQ(sonar.currentReadingPolar(20, 90), 5000);
    // The robot moves 80 ticks (38.8 mm) forward, across the 15-bit wrap; the
    // remembered point is now that much closer.
    fake.setSonar(-1, 0);
    fake.setOdometry(0x0020, 100, 0);
    EXPECT_TRUE(eventually([&] { return sonar.currentReadingPolar(-90, 90) < 1500; }, 1000ms));
    EXPECT_NEAR(sonar.currentReadingPolar(-90, 90), std::hypot(1499.4 - 38.8, 262.1), 2);
}

TEST(Link, ActionsBecomeVelocityAndAbsoluteHeadingCommands)
{
    FakeRobot fake;
    ArSonarDevice sonar;
    ArActionAvoidFront avoid("avoid front obstacles", 450, 200, 15);
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    robot.addRangeDevice(&sonar);
    ArActionGroup group(&robot);
    group.addAction(&avoid, 45);
    group.addAction(&cruise, 25);
    fake.setOdometry(0, 0, headingUnits(90));
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    group.activateExclusive();
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 400); }, 2000ms));

    // An obstacle almost straight ahead: 668 mm from the centre, 418 beyond
    // the radius; turn left by 15 from the robot's heading of 90 and slow to
    // 200 * 418 / 450.
    auto since = Clock::now();
    fake.setSonar(3, 500);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, HEAD, 105); }, 2000ms));
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 186); }, 2000ms));
    EXPECT_FALSE(fake.commands(HEAD, since).empty());

    // Obstacle on the left at 50 degrees: a new avoidance turns right.
    fake.setSonar(-1, 0);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return !c.empty() && c.back().id == RVEL; }, 7000ms));
    fake.setSonar(1, 300);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, HEAD, 75); }, 2000ms));
}

TEST(Link, StopKeepsActionsFromMovingTheRobot)
{
    FakeRobot fake;
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    ArActionGroup group(&robot);
    group.addAction(&cruise, 25);
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 400); }, 2000ms));
    auto since = Clock::now();
    robot.lock();
    robot.stop();
    robot.unlock();
    std::this_thread::sleep_for(800ms);
    auto vels = fake.commands(VEL, since);
    ASSERT_FALSE(vels.empty());
    for (const ReceivedCommand &c : vels)
        EXPECT_EQ(c.arg, 0);
    EXPECT_FALSE(fake.commands(RVEL, since).empty());
}

TEST(Link, DisconnectSendsEnableOffThenCloseAndEndsTheCycle)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(robot.disconnect());
    EXPECT_TRUE(eventually([&] { return !robot.isRunning(); }, 1000ms));
    // The fake reads in a thread of its own: under load it may not have
    // taken the last bytes yet.
    EXPECT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, CLOSE, 1); }, 2000ms));
    std::vector<ReceivedCommand> cmds = fake.commands();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds[cmds.size() - 2].id, ENABLE);
    EXPECT_EQ(cmds[cmds.size() - 2].arg, 0);
    EXPECT_EQ(cmds.back().id, CLOSE);
    EXPECT_EQ(cmds.back().arg, 1);
    EXPECT_TRUE(eventually([&] { return !fake.connected(); }, 1000ms));
    EXPECT_FALSE(robot.disconnect()); // already disconnected
}

TEST(Link, SilentRobotEndsTheCycleAfterEightSeconds)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    fake.pauseStatus(true);
    auto paused = Clock::now();
    ASSERT_TRUE(eventually([&] { return !robot.isRunning(); }, 9500ms));
    double seconds = std::chrono::duration<double>(Clock::now() - paused).count();
    EXPECT_GT(seconds, 7.5);
    EXPECT_LT(seconds, 8.5);
}

TEST(Link, ClosedConnectionEndsTheCycleAtOnce)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    fake.dropClient();
    EXPECT_TRUE(eventually([&] { return !robot.isRunning(); }, 1500ms));
}

TEST(Link, RunAsyncFalseKeepsTheCycleAfterTheConnectionIsLost)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(false);
    std::this_thread::sleep_for(300ms);
    fake.dropClient();
    std::this_thread::sleep_for(800ms);
    EXPECT_TRUE(robot.isRunning());
    Aria::shutdown();
    EXPECT_FALSE(robot.isRunning());
}

TEST(Link, StallRecoveryBacksAwayThenGivesControlBack)
{
    FakeRobot fake;
    ArSonarDevice sonar;
    ArActionStallRecover recover("stall recover", 225, 10, 150, 45);
    ArActionConstantVelocity cruise("Constant Velocity", 400);
    // The robot comes after what its cycle uses: destroyed first, it
    // ends the cycle before they go.
    ArRobot robot;
    robot.addRangeDevice(&sonar);
    ArActionGroup group(&robot);
    group.addAction(&recover, 100);
    group.addAction(&cruise, 25);
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 400); }, 2000ms));

    fake.setStall(kLeftStallBit | kRightStallBit);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, -150); }, 1000ms));
    EXPECT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, HEAD, 45); }, 500ms));
    fake.setStall(0);
    auto released = Clock::now();
    ASSERT_TRUE(fake.waitFor([&](const std::vector<ReceivedCommand> &cmds) {
        for (const ReceivedCommand &c : cmds)
            if (c.id == VEL && c.arg == 400 && c.at >= released)
                return true;
        return false;
    }, 2500ms));

    // With something right behind, the next recovery goes forward and turns
    // the other way.
    fake.setSonar(11, 100);
    std::this_thread::sleep_for(300ms);
    fake.setStall(kRightStallBit);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 150); }, 1000ms));
    EXPECT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, HEAD, -45); }, 500ms));
}

TEST(Link, GarbageFromTheRobotIsDroppedAndTheLinkCarriesOn)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    // Noise, a status packet with a bad checksum claiming a stall, a header
    // promising more than a packet may hold, a truncated packet.
    StatusPacket stalled;
    stalled.stallBumpers = kLeftStallBit;
    std::vector<uint8_t> bad = frame(stalled.encode());
    bad.back() ^= 0xFF;
    fake.inject({0x00, 0xFA, 0x17, 0xFB, 0xFA, 0xFB, 0xFF, 0x32, 0x01});
    fake.inject(bad);
    fake.inject({0xFA, 0xFB, 0x02, 0x32, 0xFA, 0xFB, 0x30, 0x32, 0x00});
    // Only the broken packet carries the left stall: it must never show.
    bool sawStall = false;
    for (int i = 0; i < 100; ++i) {
        sawStall = sawStall || robot.isLeftMotorStalled();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(sawStall);
    EXPECT_TRUE(robot.isRunning());
    // Good packets still get through.
    fake.setStall(kRightStallBit);
    EXPECT_TRUE(eventually([&] { return robot.isRightMotorStalled(); }, 1000ms));
}

TEST(Link, RobotResetPacketEndsTheConnection)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    std::this_thread::sleep_for(300ms);
    fake.inject(frame(Packet{0xFF, {}}));
    EXPECT_TRUE(eventually([&] { return !robot.isRunning(); }, 1000ms));
}

namespace {

// Packet handlers that note who saw which packet and what they read.
struct HandlerLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    bool pastEndRead = true; // the first later handler's read after the spoilt one
    void note(const std::string &what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(what);
    }
    // Reads the first word, then past the end: the packet is spoilt.
    bool overreads(ArRobotPacket *p)
    {
        int word = p->bufToUByte2();
        int beyond = static_cast<int>(p->bufToUByte4());
        note("overreads " + std::to_string(word) + " " + std::to_string(beyond) +
             (p->isValid() ? " valid" : " spoilt"));
        return false;
    }
    // Takes SIMSTAT packets, reading them from the start.
    bool takesSimStat(ArRobotPacket *p)
    {
        int word = p->bufToUByte2();
        note("simstat " + std::to_string(word) + (p->isValid() ? " valid" : " spoilt"));
        return p->getID() == kSimStatPacket;
    }
    bool first(ArRobotPacket *p)
    {
        note("first " + std::to_string(p->getID()));
        return false;
    }
    std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }
};

} // namespace

TEST(Link, PacketHandlersTakePacketsInListOrderAndUnwantedOnesAreLogged)
{
    FakeRobot fake;
    ArRobot robot;
    HandlerLog log;
    ArRetFunctor1C<bool, HandlerLog, ArRobotPacket *> overreads(log, &HandlerLog::overreads);
    ArRetFunctor1C<bool, HandlerLog, ArRobotPacket *> simStat(&log, &HandlerLog::takesSimStat);
    ArRetFunctor1C<bool, HandlerLog, ArRobotPacket *> first(log, &HandlerLog::first);
    robot.addPacketHandler(&overreads);
    robot.addPacketHandler(&simStat, ArListPos::LAST);
    robot.addPacketHandler(&first, ArListPos::FIRST);
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);

    auto expectCalls = [&](const std::vector<std::string> &expected) {
        EXPECT_TRUE(eventually([&] {
            std::lock_guard<std::mutex> lock(log.mutex);
            return log.calls.size() >= expected.size();
        }, 1000ms));
        EXPECT_EQ(log.take(), expected);
    };
    std::string out = kxtest::captureStdout([&] {
        fake.inject(PacketBuilder(kSimStatPacket).u16(0x1234).u8(7).bytes());
        // SIMSTAT (98): taken by the third handler, which reads it afresh.
        expectCalls({"first 98", "overreads 4660 0 spoilt", "simstat 4660 valid"});
        fake.inject(PacketBuilder(0x70).u16(5).bytes());
        expectCalls({"first 112", "overreads 5 0 spoilt", "simstat 5 valid"});
        robot.remPacketHandler(&simStat);
        fake.inject(PacketBuilder(kSimStatPacket).u16(1).bytes());
        expectCalls({"first 98", "overreads 1 0 spoilt"});
        std::this_thread::sleep_for(150ms); // the log line follows the handlers
    });
    EXPECT_EQ(out.find("ID: 0x62"), out.rfind("ID: 0x62")) << out; // once: after the removal
    EXPECT_NE(out.find("No packet handler wanted packet with ID: 0x70\n"), std::string::npos) << out;
    EXPECT_NE(out.find("No packet handler wanted packet with ID: 0x62\n"), std::string::npos) << out;
    robot.stopRunning();
}

TEST(Link, StopRunningEndsTheCycleBeforeDisconnecting)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    EXPECT_EQ(robot.waitForRunExit(10), ArRobot::WAIT_RUN_EXIT); // no cycle yet
    robot.runAsync(true);
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, VEL, 0); }, 1000ms));
    EXPECT_EQ(robot.waitForRunExit(150), ArRobot::WAIT_TIMEDOUT);

    // Without disconnecting: the cycle ends, the connection stays.
    robot.stopRunning(false);
    EXPECT_EQ(robot.waitForRunExit(1000), ArRobot::WAIT_RUN_EXIT);
    EXPECT_FALSE(robot.isRunning());
    auto ended = Clock::now();
    std::this_thread::sleep_for(700ms); // longer than the cycle's 500 ms refresh
    EXPECT_TRUE(fake.commands(PULSE, ended).empty());
    EXPECT_TRUE(fake.commands(ENABLE, ended).empty());
    EXPECT_TRUE(fake.connected());

    // Running again, then ending with the disconnect: nothing from a cycle
    // follows ENABLE 0 and CLOSE.
    robot.runAsync(true);
    ASSERT_TRUE(eventually([&] { return !fake.commands(PULSE, ended).empty(); }, 1500ms));
    robot.stopRunning(true);
    EXPECT_FALSE(robot.isRunning());
    std::this_thread::sleep_for(300ms);
    std::vector<ReceivedCommand> cmds = fake.commands();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds[cmds.size() - 2].id, ENABLE);
    EXPECT_EQ(cmds[cmds.size() - 2].arg, 0);
    EXPECT_EQ(cmds.back().id, CLOSE);
    EXPECT_TRUE(eventually([&] { return !fake.connected(); }, 1000ms));
}

TEST(Link, MoveAndHeadingGoOutAsTheRobotsOwnCommandsAndFinishByOdometry)
{
    FakeRobot fake;
    ArRobot robot;
    ASSERT_TRUE(connectTo(robot, fake.port()));
    robot.runAsync(true);
    // The scripted robot sends no charge-state byte.
    EXPECT_EQ(robot.getChargeState(), ArRobot::CHARGING_UNKNOWN);
    EXPECT_FALSE(robot.isChargerPowerGood());

    robot.lock();
    EXPECT_FALSE(robot.setTransVelMax(0));
    EXPECT_TRUE(robot.setTransVelMax(150));
    robot.move(-600);
    robot.unlock();
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, MOVE, -600); }, 2000ms));
    EXPECT_TRUE(hasCommand(fake.commands(), SETV, 150));
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(fake.commands(MOVE).size(), 1u); // once; the robot drives it alone
    EXPECT_TRUE(fake.commands(VEL, fake.commands(MOVE)[0].at).empty());
    EXPECT_FALSE(robot.isMoveDone());
    // 600 mm backwards in position ticks, wrapped into 15 bits.
    fake.setOdometry(static_cast<uint16_t>(0x8000 - std::lround(600 / kDistConv)), 0, 0);
    EXPECT_TRUE(eventually([&] { return robot.isMoveDone(); }, 1000ms));

    robot.lock();
    robot.setDeltaHeading(90);
    robot.unlock();
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) { return hasCommand(c, HEAD, 90); }, 2000ms));
    EXPECT_FALSE(robot.isHeadingDone());
    fake.setOdometry(static_cast<uint16_t>(0x8000 - std::lround(600 / kDistConv)), 0, headingUnits(89));
    EXPECT_TRUE(eventually([&] { return robot.isHeadingDone(); }, 1000ms));
}
