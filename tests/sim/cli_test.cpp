// robotsim's command line and control channel.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "SimProcess.h"
#include "protocol/P3dx.h"
#include "protocol/Packet.h"
#include "test_support.h"

using ariatest::ChildProcess;
using namespace std::chrono_literals;

namespace {

int exitStatus(ChildProcess &p)
{
    int status = p.wait(5000ms);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(RobotsimCli, StartPoseComesFromTheWorldFileUnlessGiven)
{
    kxtest::ScratchDir dir;
    ASSERT_TRUE(kxtest::writeFile(dir.file("hall.world"),
                                  "room 0 0 20000 4000  # a long hall\nstart 1000 2000 180\n"));
    {
        simtest::SimProcess sim({"--world", dir.file("hall.world")});
        ASSERT_NE(sim.port(), 0) << sim.process().output();
        robotsim::Pose p = sim.where();
        EXPECT_DOUBLE_EQ(p.x, 1000);
        EXPECT_DOUBLE_EQ(p.y, 2000);
        EXPECT_DOUBLE_EQ(p.th, 180);
        // The control channel moves the robot.
        sim.command("pose 5000 1500 -45.5");
        p = sim.where();
        EXPECT_DOUBLE_EQ(p.x, 5000);
        EXPECT_DOUBLE_EQ(p.th, -45.5);
        sim.command("pose 1 2");
        sim.command("fly away");
        EXPECT_TRUE(sim.process().waitForOutput("unknown command 'fly'", 2000ms));
        EXPECT_DOUBLE_EQ(sim.where().x, 5000); // the bad lines changed nothing
    }
    simtest::SimProcess sim({"--world", dir.file("hall.world"), "--pose", "300,400,10"});
    ASSERT_NE(sim.port(), 0);
    robotsim::Pose p = sim.where();
    EXPECT_DOUBLE_EQ(p.x, 300);
    EXPECT_DOUBLE_EQ(p.th, 10);
}

TEST(RobotsimCli, BadArgumentsAndWorldFilesAreRefused)
{
    kxtest::ScratchDir dir;
    ASSERT_TRUE(kxtest::writeFile(dir.file("bad.world"), "room 0 0 10 10\nbox 1 2\n"));
    ChildProcess badWorld({ROBOTSIM_PATH, "--port", "0", "--world", dir.file("bad.world")});
    EXPECT_EQ(exitStatus(badWorld), 2);
    EXPECT_NE(badWorld.output().find("bad.world:2: 'box' needs 4 numbers"), std::string::npos)
        << badWorld.output();

    ChildProcess missing({ROBOTSIM_PATH, "--port", "0", "--world", dir.file("none.world")});
    EXPECT_EQ(exitStatus(missing), 2);

    ChildProcess badPose({ROBOTSIM_PATH, "--port", "0", "--pose", "1,2"});
    EXPECT_EQ(exitStatus(badPose), 2);

    ChildProcess badPort({ROBOTSIM_PATH, "--port", "70000"});
    EXPECT_EQ(exitStatus(badPort), 2);

    ChildProcess unknown({ROBOTSIM_PATH, "--fast"});
    EXPECT_EQ(exitStatus(unknown), 2);
    EXPECT_NE(unknown.output().find("usage: robotsim"), std::string::npos);
}

TEST(RobotsimCli, GarbageBeforeTheHandshakeIsDropped)
{
    simtest::SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(sim.port()));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    // Noise, a SYNC1 with a bad checksum, an oversize count, then SYNC0.
    std::vector<uint8_t> bytes{0x13, 0xFA, 0x00, 0xFA, 0xFB, 0x03, 0x01, 0x00, 0x02,
                               0xFA, 0xFB, 0xFE, 0x00};
    std::vector<uint8_t> sync0 = robotproto::commandPacket(robotproto::SYNC0);
    bytes.insert(bytes.end(), sync0.begin(), sync0.end());
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    uint8_t reply[16];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    // One answer, to SYNC0 only.
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + std::max<ssize_t>(n, 0)),
              (std::vector<uint8_t>{0xFA, 0xFB, 0x03, 0x00, 0x00, 0x00}));
    close(fd);
    EXPECT_TRUE(sim.process().waitForOutput("malformed packet", 2000ms));
    // The simulator is still there for the next client.
    EXPECT_TRUE(sim.process().waitForOutput("waiting for the next one", 2000ms));
    EXPECT_FALSE(std::isnan(sim.where().x));
}
