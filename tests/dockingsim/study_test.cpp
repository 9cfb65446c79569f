// The docking study's figures and its reading of failed trials, and the
// station's body that keeps robots out of the space beside it.
#include <gtest/gtest.h>

#include <cmath>

#include "study/failure_cause.h"
#include "study/study_stats.h"

using namespace dockworld;

TEST(StudyStats, WilsonIntervalAndPercentiles)
{
    const Interval nineteen = wilsonInterval(19, 20); // the old study's facing result
    EXPECT_NEAR(nineteen.low, 0.7639, 1e-3);
    EXPECT_NEAR(nineteen.high, 0.9911, 1e-3);
    const Interval all = wilsonInterval(500, 500); // stays within 0..1, not a zero-width interval
    EXPECT_NEAR(all.low, 500.0 / (500.0 + 1.959964 * 1.959964), 1e-6);
    EXPECT_DOUBLE_EQ(all.high, 1.0);
    EXPECT_DOUBLE_EQ(wilsonInterval(0, 0).high, 0.0);

    EXPECT_DOUBLE_EQ(percentile({4, 1, 3, 2}, 50), 2.5);
    EXPECT_NEAR(percentile({4, 1, 3, 2}, 95), 3.85, 1e-12);
    EXPECT_DOUBLE_EQ(percentile({4, 1, 3, 2}, 100), 4.0);
    EXPECT_DOUBLE_EQ(percentile({7}, 95), 7.0);
    EXPECT_TRUE(std::isnan(percentile({}, 50)));
}

TEST(FailureCause, ToldFromHowWhereAndWhatTheRobotWasDoing)
{
    const DockingRoom room;
    TrialResult r;
    r.end = TrialEnd::Docked;
    EXPECT_EQ(failureCause(r, room), FailureCause::None);
    r.end = TrialEnd::ArrivedElsewhere;
    EXPECT_EQ(failureCause(r, room), FailureCause::ArrivedAway);
    r.end = TrialEnd::ControllerEnded;
    EXPECT_EQ(failureCause(r, room), FailureCause::Other);

    // Nose 1 cm from the cabinet's south side, still for half a minute.
    r.end = TrialEnd::TimeLimit;
    const Box &cabinet = room.furniture().front();
    r.finalPose = {0.5 * (cabinet.min.x + cabinet.max.x), cabinet.min.y - RobotBody::front - 0.01, kPi / 2};
    r.stillFor = 30.0;
    r.finalMode = DriveMode::Docking;
    EXPECT_EQ(failureCause(r, room), FailureCause::Furniture);
    // The same place, but it had only just got there.
    r.stillFor = 3.0;
    EXPECT_EQ(failureCause(r, room), FailureCause::DockingTimeLimit);
    r.finalMode = DriveMode::Wander;
    EXPECT_EQ(failureCause(r, room), FailureCause::WanderTimeLimit);

    // Pressed against the outside of the station's housing, beside it.
    const Station &station = room.station();
    const Vec2 beside = station.toWorld(0.5, StationLayout::funnelHalfWidth + RobotBody::halfWidth + 0.01);
    r.finalPose = {beside.x, beside.y, station.facing() + kPi};
    r.stillFor = 30.0;
    EXPECT_EQ(failureCause(r, room), FailureCause::Guide);
}

TEST(StationBody, ClosedBesideTheFunnelAndHidingTheMarkersFromTheSide)
{
    const DockingRoom room;
    const Station &station = room.station();
    // Between a flare and the wall there is no room for a robot any more.
    const Vec2 pocket = station.toWorld(0.3, 0.8);
    EXPECT_TRUE(station.insideBody(pocket));
    EXPECT_FALSE(room.fits({pocket.x, pocket.y, 0.0}));
    EXPECT_FALSE(station.insideBody(station.toWorld(0.3, 0.0))); // the funnel stays open
    EXPECT_FALSE(station.insideBody(station.toWorld(2.0, 0.8)));

    const Vec3 marker = station.markers().front().centre;
    const auto cameraAt = [&](double out, double side) {
        const Vec2 p = station.toWorld(out, side);
        return Vec3{p.x, p.y, 0.45};
    };
    EXPECT_TRUE(room.lineOfSight(cameraAt(2.0, 0.0), marker));
    EXPECT_TRUE(room.lineOfSight(cameraAt(2.0, 1.2), marker));  // 31 degrees off the centre line
    EXPECT_FALSE(room.lineOfSight(cameraAt(1.5, 1.3), marker)); // 41 degrees: behind an outer flare
    EXPECT_FALSE(room.lineOfSight(cameraAt(0.6, 1.5), marker)); // beside the station
    EXPECT_TRUE(room.lineOfSight(cameraAt(0.9, 0.4), marker));  // inside the funnel, askew
}
