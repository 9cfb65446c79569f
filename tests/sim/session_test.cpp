// The simulated robot's side of the protocol, packet by packet.
#include <gtest/gtest.h>

#include <cmath>

#include "robot/RobotModel.h"
#include "robot/Session.h"
#include "world/World.h"
#include "protocol/Messages.h"
#include "protocol/P3dx.h"

using namespace robotproto;
using namespace robotsim;

namespace {

class SessionTest : public ::testing::Test {
protected:
    SessionTest() : robot(world), session(robot, start, [this](const std::string &m) { log.push_back(m); })
    {
        world.addRoom({0, 0}, {8000, 6000});
        robot.reset(start);
    }

    // Sends one command and returns the robot's answers.
    std::vector<Packet> send(const std::vector<uint8_t> &bytes)
    {
        rx.feed(bytes.data(), bytes.size(), std::chrono::steady_clock::now());
        std::vector<uint8_t> out;
        Packet p;
        while (rx.next(p, std::chrono::steady_clock::now()))
            session.handle(p, out);
        return parse(out);
    }
    std::vector<Packet> tick()
    {
        std::vector<uint8_t> out;
        session.tick(out);
        return parse(out);
    }
    std::vector<Packet> parse(const std::vector<uint8_t> &bytes)
    {
        PacketReceiver answers;
        answers.feed(bytes.data(), bytes.size(), std::chrono::steady_clock::now());
        std::vector<Packet> got;
        Packet p;
        while (answers.next(p, std::chrono::steady_clock::now()))
            got.push_back(p);
        EXPECT_EQ(answers.dropped(), 0u);
        return got;
    }
    void open()
    {
        send(commandPacket(SYNC0));
        send(commandPacket(SYNC1));
        send(commandPacket(SYNC2));
        send(commandIntPacket(OPEN, 1));
    }

    World world;
    Pose start{2000, 3000, 90};
    RobotModel robot;
    Session session;
    PacketReceiver rx;
    std::vector<std::string> log;
};

} // namespace

TEST_F(SessionTest, HandshakeAnswersEachSyncAndNamesAPioneerP3dx)
{
    std::vector<Packet> a = send(commandPacket(SYNC0));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].id, 0);
    ASSERT_EQ(send(commandPacket(SYNC1))[0].id, 1);
    std::vector<Packet> c = send(commandPacket(SYNC2));
    ASSERT_EQ(c.size(), 1u);
    PacketReader r(c[0]);
    EXPECT_EQ(r.str(), "robotsim");
    EXPECT_EQ(r.str(), "Pioneer");
    EXPECT_EQ(r.str(), "p3dx");
    // No status before OPEN.
    EXPECT_TRUE(tick().empty());
    EXPECT_TRUE(send(commandIntPacket(OPEN, 1)).empty());
    std::vector<Packet> s = tick();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].id, kStatusStopped);
    // After OPEN, ID 0 is a PULSE and gets no echo.
    EXPECT_TRUE(send(commandPacket(PULSE)).empty());
}

TEST_F(SessionTest, ConfigReportsLimitsThatAllowReversing)
{
    open();
    std::vector<Packet> a = send(commandIntPacket(CONFIG, 1));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].id, kConfigPacket);
    ConfigPacket c = ConfigPacket::decode(a[0]);
    EXPECT_EQ(c.subtype, "p3dx");
    EXPECT_GT(c.transVelTop, 0);
    EXPECT_GT(c.transVelMax, 0);
    EXPECT_GT(c.transDecel, 0);
    EXPECT_GT(c.rotVelMax, 0);
}

TEST_F(SessionTest, StatusCarriesOdometryFlagsStallsAndSonars)
{
    open();
    StatusPacket s = StatusPacket::decode(tick()[0]);
    EXPECT_EQ(s.flags & kFlagMotorsEnabled, 0); // motors start disabled
    ASSERT_EQ(s.sonars.size(), 16u);
    // Facing +y from (2000, 3000): the wall at y = 6000 is 3000 - 166 away for sonar 3.
    EXPECT_NEAR(s.sonars[3].range, (3000 - 166) / std::cos(10 * M_PI / 180), 1);

    send(commandIntPacket(ENABLE, 1));
    send(commandIntPacket(VEL, 300));
    for (int i = 0; i < 100; ++i)
        robot.step(0.02);
    s = StatusPacket::decode(tick()[0]);
    EXPECT_EQ(s.id, kStatusMoving);
    EXPECT_EQ(s.flags & kFlagMotorsEnabled, kFlagMotorsEnabled);
    // Odometry starts at 0,0,0 and follows the robot's own frame: forward is +x.
    EXPECT_NEAR(s.x * kDistConv, robot.odometry().x, 0.5);
    EXPECT_GT(robot.odometry().x, 100);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.leftVel, 300);
    EXPECT_EQ(s.rightVel, 300);

    robot.forceStall(true);
    s = StatusPacket::decode(tick()[0]);
    EXPECT_EQ(s.stallBumpers, kLeftStallBit | kRightStallBit);
}

TEST_F(SessionTest, HeadingGoesOutInHeadingUnitsAndHeadTurnsTheRobot)
{
    open();
    send(commandIntPacket(ENABLE, 1));
    send(commandIntPacket(HEAD, -60));
    for (int i = 0; i < 250; ++i)
        robot.step(0.02);
    StatusPacket s = StatusPacket::decode(tick()[0]);
    EXPECT_NEAR(s.th * kAngleConv * 180 / M_PI, -60, 0.5);
    EXPECT_NEAR(robot.truePose().th, 30, 0.5);
}

TEST_F(SessionTest, SimulatorCommandsMoveResetAndReportTheTruePose)
{
    open();
    send(commandIntPacket(ENABLE, 1));
    send(commandIntPacket(VEL, 400));
    for (int i = 0; i < 50; ++i)
        robot.step(0.02);
    // SIM_SET_POSE: a skipped byte, then x, y, th as 32-bit values.
    PacketBuilder setPose(SIM_SET_POSE);
    setPose.u8(0x2B).s32(-500).s32(1200).s32(-45);
    double odoBefore = robot.odometry().x;
    send(setPose.bytes());
    EXPECT_DOUBLE_EQ(robot.truePose().x, -500);
    EXPECT_DOUBLE_EQ(robot.truePose().th, -45);
    EXPECT_DOUBLE_EQ(robot.odometry().x, odoBefore);

    std::vector<Packet> a = send(commandPacket(SIM_STAT));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].id, kSimStatPacket);
    SimStatPacket st = SimStatPacket::decode(a[0]);
    EXPECT_EQ(st.x, -500);
    EXPECT_EQ(st.y, 1200);
    EXPECT_EQ(st.th, -45);
    EXPECT_EQ(tick().size(), 1u); // one answer only

    send(commandPacket(SIM_RESET));
    EXPECT_DOUBLE_EQ(robot.truePose().x, 2000);
    EXPECT_DOUBLE_EQ(robot.truePose().th, 90);
    EXPECT_DOUBLE_EQ(robot.odometry().x, 0);
    EXPECT_DOUBLE_EQ(robot.velocity(), 0);

    send(commandIntPacket(SIM_STAT, 2));
    EXPECT_EQ(tick().size(), 2u); // status and simulator status, every cycle
}

TEST_F(SessionTest, RealAriasConnectTimeRequestsGetAnswersAtOnce)
{
    open();
    // BATTERYINFO 1: one answer, no battery reporting its own state.
    std::vector<Packet> battery = send(commandIntPacket(BATTERYINFO, 1));
    ASSERT_EQ(battery.size(), 1u);
    EXPECT_EQ(battery[0].id, 0xFA);
    EXPECT_EQ(battery[0].data, (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(tick().size(), 1u);

    // The simulated laser's set-up: field of view quietly accepted, and an
    // empty extended scan at once and with every status, until switched off.
    EXPECT_TRUE(send(commandIntPacket(36, -90)).empty());
    EXPECT_TRUE(send(commandIntPacket(37, 90)).empty());
    EXPECT_TRUE(send(commandIntPacket(38, 100)).empty());
    std::vector<Packet> scan = send(commandIntPacket(35, 2));
    ASSERT_EQ(scan.size(), 1u);
    EXPECT_EQ(scan[0].id, 0x61);
    EXPECT_EQ(scan[0].data, (std::vector<uint8_t>{0, 0, 0, 0, 0})); // total, first, count
    std::vector<Packet> cycle = tick();
    ASSERT_EQ(cycle.size(), 2u);
    EXPECT_EQ(cycle[1].id, 0x61);
    send(commandIntPacket(35, 0));
    EXPECT_EQ(tick().size(), 1u);
    for (const std::string &m : log)
        EXPECT_EQ(m.find("ignoring"), std::string::npos) << m;
}

TEST_F(SessionTest, UnknownCommandsAreLoggedOnceAndCloseEndsTheSession)
{
    open();
    const uint8_t simControl = 236; // not simulated
    EXPECT_TRUE(send(commandIntPacket(simControl, 1)).empty());
    send(commandIntPacket(simControl, 1));
    int mentions = 0;
    for (const std::string &m : log)
        mentions += m.find("236") != std::string::npos;
    EXPECT_EQ(mentions, 1);
    send(commandIntPacket(SOUNDTOG, 0)); // accepted quietly
    send(commandIntPacket(ENABLE, 1));
    send(commandIntPacket(CLOSE, 1));
    EXPECT_TRUE(session.closed());
    EXPECT_FALSE(robot.enabled());
    EXPECT_TRUE(tick().empty());
}

// Command 230 1: every cycle's scan of the simulated laser, in packets 0x60
// of at most 200 data bytes (pose, scan size, first index, count, ranges),
// the room's walls at their distances; 230 0 ends the scans.
TEST_F(SessionTest, CommandTwoThirtyStreamsTheLasersScans)
{
    open();
    send(commandIntPacket(SIM_LRF_ENABLE, 1));
    std::vector<uint8_t> out;
    session.laserScan(out);
    std::vector<int> ranges;
    for (const Packet &p : parse(out)) {
        EXPECT_EQ(p.id, 0x60);
        EXPECT_LE(p.data.size(), 200u);
        PacketReader r(p);
        r.u32(), r.s16(); // the odometric pose
        EXPECT_EQ(r.s16(), 181);
        EXPECT_EQ(r.s16(), static_cast<int>(ranges.size()));
        for (int count = r.u8(); count > 0; --count) ranges.push_back(r.u16());
    }
    // From 18 mm ahead of (2000, 3000), facing +y: the right-hand wall
    // (x 8000) first, the far wall (y 6000) ahead, the left-hand wall last.
    ASSERT_EQ(ranges.size(), 181u);
    EXPECT_NEAR(ranges[0], 6000, 2);
    EXPECT_NEAR(ranges[90], 2982, 2);
    EXPECT_NEAR(ranges[180], 2000, 2);

    send(commandIntPacket(SIM_LRF_ENABLE, 0));
    out.clear();
    session.laserScan(out);
    EXPECT_TRUE(out.empty());
}
