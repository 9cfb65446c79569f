// dockmon beside a (scripted) vision program: it shows the published markers
// and what the controller makes of them, tells fresh reports from stale
// ones, never touches the handshake, and ends when the vision program goes.
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "child_process.h"
#include "scripted_vision.h"
#include "test_support.h"
#include "tool_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lines of `path` so far.
std::vector<std::string> linesOf(const std::string &path)
{
    std::istringstream text(kxtest::readFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// Waits until a line of `path` after the first `skip` lines contains `part`.
bool waitForLine(const std::string &path, size_t skip, const std::string &part, std::string *found)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        std::vector<std::string> lines = linesOf(path);
        for (size_t k = skip; k < lines.size(); ++k) {
            if (lines[k].find(part) != std::string::npos) {
                *found = lines[k];
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(Dockmon, WatchesWithoutTakingPartAndEndsWhenTheVisionProgramGoes)
{
    kxtest::ScratchDir dir;
    ASSERT_NE(makeKeyFile(dir.path()), -1);
    ScriptedVision vision(dir.path());
    // 30 reports a second, as a camera gives them.
    std::atomic<bool> publishing{true};
    std::thread camera([&] {
        while (publishing) {
            vision.publish(makeReport(200, 250, 202, 400, 250, 248, 251, 402, 300, 252, 299, 398));
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    });
    const std::string out = dir.file("dockmon.out");
    const pid_t pid = linktest::startTool(dir.path(), {DOCKMON_PATH}, out, dir.file("dockmon.err"));
    ASSERT_GT(pid, 0);

    std::string line;
    EXPECT_TRUE(waitForLine(out, 0, " fresh ", &line)) << kxtest::readFile(out);
    EXPECT_NE(line.find(" fresh UL 200,250 UR 202,400 ML 250,248 MR 251,402 LL 300,252 LR 299,398 "
                        "distance 1.093 target 300 heading 3.769"),
              std::string::npos)
        << line;
    publishing = false;
    camera.join();
    const size_t before = linesOf(out).size();
    EXPECT_TRUE(waitForLine(out, before, " stale ", &line)) << kxtest::readFile(out);
    // Half a second of copies since the last publication, and the record is
    // as the vision program left it: not acknowledged, not stopped, unlocked.
    EXPECT_TRUE(vision.newReport());
    EXPECT_TRUE(vision.running());
    EXPECT_EQ(vision.semaphoreValue(), 1);

    vision.removeSemaphore();  // the vision program's orderly end
    EXPECT_EQ(linktest::waitChild(pid), 0);
    std::vector<std::string> lines = linesOf(out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "dockmon: the vision program has gone (its semaphore set was removed)");
}

TEST(Dockmon, WithoutAVisionProgramSaysSoAndEnds)
{
    kxtest::ScratchDir dir;
    ASSERT_NE(makeKeyFile(dir.path()), -1);
    linktest::ToolResult run = linktest::runTool(dir.path(), {DOCKMON_PATH});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("dockmon: no vision program runs in this directory (semget: ", 0), 0u) << run.err;
}

} // namespace
