// One short docking cycle: dock from 3 m in front of the station, confirm
// charging, undock.
#include <gtest/gtest.h>

#include "trials/cycle_runner.h"
#include "test_support.h"

using namespace dockworld;

TEST(DockingCycle, DocksChargesAndUndocks)
{
    kxtest::ScratchDir out;
    CycleSetup setup;
    const Station station = DockingRoom().station();
    const Vec2 at = station.toWorld(3.0, 0.3);
    setup.start = {at.x, at.y, station.facing() + kPi + degToRad(8.0)};
    setup.cycles = 1;
    setup.timeLimit = 90.0;
    setup.outputDir = out.path();
    setup.visionProgram = VISION_PROGRAM;
    setup.dockingProgram = DOCKING_PROGRAM;
    setup.undockProgram = UNDOCK_PROGRAM;
    setup.progress = false;
    const std::atomic<bool> never{false};
    size_t reported = 0;
    const std::vector<CycleResult> results =
        runCycles(setup, never, [&](size_t, const CycleResult &) { ++reported; });

    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(reported, 1u);
    const CycleResult &c = results[0];
    EXPECT_EQ(c.docking.end, TrialEnd::Docked) << trialEndName(c.docking.end) << ": " << c.docking.error;
    EXPECT_TRUE(c.docking.charge.chargerPowerGood);
    EXPECT_EQ(c.docking.charge.chargeState, 1);
    EXPECT_FALSE(c.undockForced);
    EXPECT_EQ(c.undockStatus, 0) << c.undockLine;
    EXPECT_EQ(c.undockLine.rfind("undock: backed out 0.60 m and turned 180 degrees", 0), 0u) << c.undockLine;
    EXPECT_TRUE(c.docking.cleanedUp);
}
