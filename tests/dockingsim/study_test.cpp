// The docking study's figures and its reading of failed trials, and the
// station's body that keeps robots out of the space beside it.
#include <gtest/gtest.h>

#include <cmath>

#include "picture/bitmap_font.h"
#include "picture/picture_frame.h"
#include "study/drawn_effects.h"
#include "study/failure_cause.h"
#include "study/study_stats.h"
#include "trials/start_poses.h"

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

    // McNemar's exact test: only the discordant pairs count.
    EXPECT_NEAR(mcnemarExactP(0, 5), 2.0 / 32.0, 1e-12);
    EXPECT_NEAR(mcnemarExactP(9, 1), 22.0 / 1024.0, 1e-12);
    EXPECT_DOUBLE_EQ(mcnemarExactP(3, 3), 1.0);
    EXPECT_DOUBLE_EQ(mcnemarExactP(0, 0), 1.0);
}

TEST(StudyStats, DrawnValuesSplitAtTheirMedianWordsAndConstantsLeftOut)
{
    std::vector<TrialRecord> records;
    const double exposures[] = {10, 12, 14, 26, 28, 30};
    for (int i = 0; i < 6; ++i) {
        TrialRecord r;
        r.docked = i < 3 || i == 5;
        r.imperfections = "exposure=" + std::to_string(exposures[i]) + " slip=0.05 lights=office realistic=on";
        records.push_back(r);
    }
    records[1].interrupted = true; // left out
    const std::vector<DrawnSplit> splits = splitByDrawnValues(records);
    ASSERT_EQ(splits.size(), 1u); // slip is the same everywhere; words and switches are not values
    EXPECT_EQ(splits[0].name, "exposure");
    EXPECT_DOUBLE_EQ(splits[0].median, 26.0);
    EXPECT_EQ(splits[0].trialsBelow, 2);
    EXPECT_EQ(splits[0].dockedBelow, 2);
    EXPECT_EQ(splits[0].trialsAbove, 3);
    EXPECT_EQ(splits[0].dockedAbove, 1);
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

TEST(FailureCause, RestingOnTheContactsWithoutArrivalIsItsOwnCause)
{
    const DockingRoom room;
    TrialResult r;
    r.end = TrialEnd::TimeLimit;
    r.finalPose = room.station().dockedPose();
    r.stillFor = 60.0; // still, and touching the guide's rails: yet not "stuck"
    r.finalMode = DriveMode::Docking;
    EXPECT_EQ(failureCause(r, room), FailureCause::OnContacts);
    r.end = TrialEnd::ControllerEnded;
    EXPECT_EQ(failureCause(r, room), FailureCause::OnContacts);
    // 5 cm short of the plate is not on the contacts.
    r.end = TrialEnd::TimeLimit;
    const Vec2 short5 = room.station().toWorld(room.station().toStation(r.finalPose.position()).x + 0.05, 0.0);
    r.finalPose = {short5.x, short5.y, r.finalPose.heading};
    EXPECT_NE(failureCause(r, room), FailureCause::OnContacts);
    r.end = TrialEnd::Failed;
    EXPECT_EQ(failureCause(r, room), FailureCause::SetUp);
    FailureCause back = FailureCause::None;
    ASSERT_TRUE(failureCauseFromName("on the contacts, no arrival", back));
    EXPECT_EQ(back, FailureCause::OnContacts);
}

TEST(StartGroups, BesideStartsLieBesideTheStationAndTheSampledSpreadIsWhatTheGroupsSay)
{
    const DockingRoom room;
    const Station &station = room.station();
    double mostTurned = 0.0;
    for (const Pose &p : posesBeside(room, 200, 11)) {
        EXPECT_TRUE(room.fits(p));
        const StartPlace place = startPlace(station, p);
        EXPECT_GT(place.bearingDeg, 34.0);
        EXPECT_LE(place.distance, 3.0 + 1e-9);
        mostTurned = std::max(mostTurned, place.headingOffDeg);
    }
    EXPECT_GT(mostTurned, 150.0); // facing anywhere
    // The facing group as its description says; a start straight out on
    // the centre line, looking at the plate, measures 0 and 0.
    for (const Pose &p : posesFacingStation(room, 200, 11)) {
        const StartPlace place = startPlace(station, p);
        EXPECT_LE(place.bearingDeg, 30.0 + 1e-9);
        EXPECT_LE(place.headingOffDeg, 40.0 + 1e-9);
        EXPECT_GE(place.distance, 1.5 - 1e-9);
    }
    const Vec2 out = station.toWorld(2.0, 0.0);
    const StartPlace straight = startPlace(station, {out.x, out.y, station.facing() + kPi});
    EXPECT_NEAR(straight.bearingDeg, 0.0, 1e-9);
    EXPECT_NEAR(straight.headingOffDeg, 0.0, 1e-9);
}

TEST(PictureFrame, TitleLegendAndAMetreLongScaleBar)
{
    Canvas glyph(12, 9);
    drawText(glyph, 1, 1, "1", {0, 0, 0});
    EXPECT_EQ(glyph.at(3, 1).r, 0);   // the top of the 1
    EXPECT_EQ(glyph.at(1, 1).r, 255); // left of it: blank
    EXPECT_EQ(glyph.at(3, 7).r, 0);   // its foot
    EXPECT_EQ(textWidth("10 m", 2), 2 * (4 * kGlyphAdvance - 1));

    const Canvas map(200, 100, {10, 200, 10});
    const Canvas framed = framePicture(map, "TITLE", {{{255, 0, 0}, "red"}}, 80.0);
    EXPECT_GT(framed.height(), map.height() + 40);
    // The map sits below the title, unchanged.
    int top = -1;
    for (int y = 0; y < framed.height() && top < 0; ++y)
        if (framed.at(100, y).g == 200)
            top = y;
    ASSERT_GT(top, 14);
    EXPECT_EQ(framed.at(199, top + 99).g, 200);
    // A red swatch below the map, and a dark bar exactly 80 pixels (1 m) long.
    bool red = false;
    int longest = 0;
    for (int y = top + 100; y < framed.height(); ++y) {
        int run = 0;
        for (int x = 0; x < framed.width(); ++x) {
            const Rgb c = framed.at(x, y);
            red = red || (c.r == 255 && c.g == 0);
            run = c.r < 50 && c.g < 50 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_TRUE(red);
    EXPECT_NEAR(longest, 80, 3); // the line's round ends add a pixel or two
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
