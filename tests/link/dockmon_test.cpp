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
    // A second one beside it: neither may take the other's copies for
    // publications.
    const std::string out2 = dir.file("dockmon2.out");
    const pid_t pid2 = linktest::startTool(dir.path(), {DOCKMON_PATH}, out2, dir.file("dockmon2.err"));
    ASSERT_GT(pid2, 0);

    std::string line;
    EXPECT_TRUE(waitForLine(out, 0, " fresh ", &line)) << kxtest::readFile(out);
    EXPECT_NE(line.find(" fresh UL 200,250 UR 202,400 ML 250,248 MR 251,402 LL 300,252 LR 299,398 "
                        "distance 1.093 target 300 heading 3.769"),
              std::string::npos)
        << line;
    publishing = false;
    camera.join();
    const size_t before = linesOf(out).size();
    const size_t before2 = linesOf(out2).size();
    EXPECT_TRUE(waitForLine(out, before, " stale ", &line)) << kxtest::readFile(out);
    // Stale markers are shown as the controller reads them: none.
    EXPECT_NE(line.find(" stale UL 0,0 UR 0,0 ML 0,0 MR 0,0 LL 0,0 LR 0,0 distance - "), std::string::npos)
        << line;
    EXPECT_TRUE(waitForLine(out2, before2, " stale ", &line)) << kxtest::readFile(out2);
    // And they stay stale: the two copying side by side are no publications.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    for (const std::string &path : {out, out2}) {
        std::vector<std::string> lines = linesOf(path);
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find(" stale "), std::string::npos) << lines.back();
    }
    // Half a second of copies since the last publication, and the record is
    // as the vision program left it: not acknowledged, not stopped, unlocked.
    EXPECT_TRUE(vision.newReport());
    EXPECT_TRUE(vision.running());
    EXPECT_EQ(vision.semaphoreValue(), 1);

    vision.removeSemaphore();  // the vision program's orderly end
    EXPECT_EQ(linktest::waitChild(pid), 0);
    EXPECT_EQ(linktest::waitChild(pid2), 0);
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
