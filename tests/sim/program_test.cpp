// A whole program on our ARIA layer (the wander example, built like the
// docking controller) ended by a signal or by the Escape key.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include "FakeRobot.h"
#include "SimProcess.h"
#include "protocol/P3dx.h"

using namespace ariatest;
using namespace robotproto;
using namespace std::chrono_literals;

namespace {

size_t indexOf(const std::vector<ReceivedCommand> &cmds, size_t from, uint8_t id, int arg)
{
    for (size_t i = from; i < cmds.size(); ++i)
        if (cmds[i].id == id && cmds[i].arg == arg)
            return i;
    return cmds.size();
}

void expectCleanExit(ChildProcess &program)
{
    int status = program.wait(5000ms);
    ASSERT_NE(status, -1) << "still running; output:\n" << program.output();
    EXPECT_TRUE(WIFEXITED(status)) << program.output();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The program's own end path ran after the cycle ended.
    EXPECT_NE(program.output().find("wander: stopped"), std::string::npos) << program.output();
}

} // namespace

TEST(Program, SigintStopsTheRobotAndLetsTheProgramEnd)
{
    FakeRobot fake;
    ChildProcess wander({WANDER_PATH, "-rh", "127.0.0.1", "-rrtp", std::to_string(fake.port())});
    ASSERT_TRUE(wander.waitForOutput("wander: running", 5000ms)) << wander.output();
    ASSERT_TRUE(fake.waitFor([](const std::vector<ReceivedCommand> &c) {
        return indexOf(c, 0, VEL, 400) < c.size();
    }, 2000ms));
    // Standard input is a pipe, not a terminal: an Escape there is no key.
    wander.write("\x1b");
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(wander.wait(0ms), -1) << "ended by an Escape on a pipe";

    size_t before = fake.commands().size();
    ASSERT_TRUE(wander.signal(SIGINT));
    expectCleanExit(wander);
    EXPECT_NE(wander.output().find("Aria: Received signal 'SIGINT'. Exiting."), std::string::npos);
    std::vector<ReceivedCommand> cmds = fake.commands();
    size_t vel0 = indexOf(cmds, before, VEL, 0);
    size_t rvel0 = indexOf(cmds, before, RVEL, 0);
    size_t enable0 = indexOf(cmds, before, ENABLE, 0);
    size_t close = indexOf(cmds, before, CLOSE, 1);
    ASSERT_LT(close, cmds.size()) << "no CLOSE";
    EXPECT_LT(vel0, enable0);
    EXPECT_LT(rvel0, enable0);
    EXPECT_LT(enable0, close);
    EXPECT_EQ(close, cmds.size() - 1); // nothing after CLOSE
}

TEST(Program, EscapeOnTheTerminalEndsTheProgramAndRestoresTheTerminal)
{
    simtest::SimProcess sim;
    ASSERT_NE(sim.port(), 0);
    ChildProcess wander({WANDER_PATH, "-rrtp", std::to_string(sim.port())},
                        ChildProcess::Input::Terminal);
    ASSERT_TRUE(wander.waitForOutput("wander: running", 5000ms)) << wander.output();
    termios taken{};
    ASSERT_EQ(tcgetattr(wander.terminal(), &taken), 0);
    EXPECT_EQ(taken.c_lflag & (ICANON | ECHO), 0u) << "keys are not taken one by one";

    // An arrow key starts with ESC too, but is not the Escape key.
    wander.write("\x1b[A");
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(wander.wait(0ms), -1) << "an arrow key ended the program";

    wander.write("\x1b");
    expectCleanExit(wander);
    EXPECT_TRUE(sim.process().waitForOutput("client closed the connection", 2000ms))
        << sim.process().output();
    EXPECT_NE(sim.process().output().find("motors disabled"), std::string::npos);
    termios restored{};
    ASSERT_EQ(tcgetattr(wander.terminal(), &restored), 0);
    EXPECT_EQ(restored.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
}

TEST(Program, UnknownArgumentsPrintTheOptionsAndFail)
{
    ChildProcess wander({WANDER_PATH, "-rrtp", "1", "--bogus"});
    int status = wander.wait(5000ms);
    ASSERT_NE(status, -1);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(wander.output().find("-remoteRobotTcpPort <remoteRobotTcpPort>"), std::string::npos);
}
