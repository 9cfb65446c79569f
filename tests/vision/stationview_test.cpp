// stationview as a user runs it, on recordings made here: the printed lines,
// the station figures for a known camera, and the refusal to share a camera
// with a running vision program.
#include <chrono>
#include <cmath>
#include <csignal>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "child_process.h"
#include "report_ipc.h"
#include "scripted_vision.h"
#include "test_support.h"
#include "tool_process.h"
#include "y4m_video.h"

using visiontest::LumaFrame;

namespace {

struct Marker {
    int row, col;
};

LumaFrame frameWith(const std::vector<Marker> &markers)
{
    LumaFrame frame;
    for (const Marker &m : markers) frame.disc(m.row, m.col, 5);
    return frame;
}

// Upper-left to lower-right, as reported.
const std::vector<Marker> kStation = {{200, 250}, {202, 400}, {250, 248},
                                      {251, 402}, {300, 252}, {299, 398}};

linktest::ToolResult stationview(const kxtest::ScratchDir &dir, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), STATIONVIEW_PATH);
    return linktest::runTool(dir.path(), arguments);
}

// The figure after `label` on the line that starts with `lineStart` (right
// after lineStart when label is empty).
double figure(const std::string &out, const std::string &lineStart, const std::string &label)
{
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(lineStart, 0) != 0) continue;
        const size_t at = label.empty() ? lineStart.size() : line.find(label, lineStart.size());
        if (at == std::string::npos) break;
        return std::stod(line.substr(at + label.size()));
    }
    ADD_FAILURE() << "no \"" << lineStart << "\" line with \"" << label << "\" in:\n" << out;
    return NAN;
}

TEST(Stationview, PrintsOneLinePerFrameAndNothingElse)
{
    kxtest::ScratchDir dir;
    // Frame 2 has three candidates (one of them a bare six-pixel blob) and
    // a five-pixel speck, which is no candidate: the count rule publishes
    // nothing, and the controller keeps its distance estimate.
    LumaFrame few = frameWith({kStation[0], kStation[1]});
    for (int c = 0; c < 6; ++c) few.dot(330, 500 + c);
    for (int c = 0; c < 5; ++c) few.dot(340, 500 + c);
    ASSERT_TRUE(visiontest::writeY4m(dir.file("video.y4m"), {frameWith(kStation), few}));

    linktest::ToolResult run = stationview(dir, {"--no-window", "-n", "3", "video.y4m"});
    EXPECT_EQ(run.status, 0) << run.err;
    // 106 / (299 - 202) = 1.093 m: near, middle-left seen, so column 300;
    // heading (300 - (250 + 252) / 2) / 13 = 3.769. Without steering markers
    // the action stops and turns: -2 x 3.769, with the column for "near, no
    // middle-left" (540). The recording then starts over.
    EXPECT_EQ(run.out,
              "frame 1 candidates 6 UL 200,250 UR 202,400 ML 250,248 MR 251,402 LL 300,252 LR "
              "299,398 distance 1.093 target 300 heading 3.769\n"
              "frame 2 candidates 3 UL 0,0 UR 0,0 ML 0,0 MR 0,0 LL 0,0 LR 0,0 distance - target "
              "540 heading -7.538\n"
              "frame 3 candidates 6 UL 200,250 UR 202,400 ML 250,248 MR 251,402 LL 300,252 LR "
              "299,398 distance 1.093 target 300 heading 3.769\n");
}

TEST(Stationview, CalibrationGivesTheCameraAndTheStationItNeeds)
{
    // A pin-hole camera with f = 400 px, level, its axis through row 240,
    // sees a station 1.2 m away whose outer pairs are 0.3 m apart, the
    // upper pair 0.15 m above the lens: rows 240 - 400 x 0.15 / 1.2 = 190
    // and 190 + 400 x 0.3 / 1.2 = 290.
    kxtest::ScratchDir dir;
    ASSERT_TRUE(visiontest::writeY4m(
        dir.file("station.y4m"),
        {frameWith({{190, 280}, {190, 380}, {240, 280}, {240, 380}, {290, 280}, {290, 380}})}));
    linktest::ToolResult run =
        stationview(dir, {"--no-window", "--calibrate", "1.2", "--spacing", "0.3", "station.y4m"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(figure(run.out, "focal length: ", ""), 400.0, 0.05) << run.out;
    EXPECT_NEAR(figure(run.out, "controller reads: ", ""), 1.060, 0.0005);  // 106 / 100
    EXPECT_NEAR(figure(run.out, "controller reads:", "error "), -0.140, 0.0005);
    EXPECT_NEAR(figure(run.out, "spacing needed: ", ""), 0.2650, 0.00005);  // 106 / 400
    // At 106 / 199 m the upper pair must sit on row 166, the lower on 365.
    const double arrival = 106.0 / 199;
    EXPECT_NEAR(figure(run.out, "heights needed", "upper "), 74 * arrival / 400, 0.00005);
    EXPECT_NEAR(figure(run.out, "heights needed", "lower "), -125 * arrival / 400, 0.00005);
    EXPECT_NEAR(figure(run.out, "heights now", "upper "), 0.15, 0.00005);
    EXPECT_NEAR(figure(run.out, "heights now", "lower "), -0.15, 0.00005);

    // Without the outer markers there is nothing to measure.
    ASSERT_TRUE(visiontest::writeY4m(dir.file("empty.y4m"), {LumaFrame()}));
    run = stationview(dir, {"--no-window", "--calibrate", "1.2", "--spacing", "0.3", "empty.y4m"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
}

TEST(Stationview, RefusesACameraThatTheVisionProgramHolds)
{
    kxtest::ScratchDir dir;
    const key_t key = makeKeyFile(dir.path());
    ASSERT_NE(key, -1);
    ASSERT_TRUE(visiontest::writeY4m(dir.file("video.y4m"), {frameWith(kStation)}));
    const pid_t vision = linktest::startTool(dir.path(), {QUORVANTEL_PATH, "video.y4m"},
                                             dir.file("vision.out"), dir.file("vision.err"));
    ASSERT_GT(vision, 0);
    // Running once its run flag is set (after it has opened the recording).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (linktest::readSegment(key).running != 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    linktest::ToolResult run = stationview(dir, {"--no-window", "-n", "1", dir.file("video.y4m")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("in use by the vision program"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    kill(vision, SIGKILL);
    linktest::waitChild(vision);
    linktest::removeIpc(key);
    // Once it is gone the recording is free.
    run = stationview(dir, {"--no-window", "-n", "1", "video.y4m"});
    EXPECT_EQ(run.status, 0) << run.err;
}

} // namespace
