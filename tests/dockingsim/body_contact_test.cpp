// The robot's body against the station: the guide straightens a robot that
// comes in off-centre, the plate and walls stop it, and a blocked wheel
// stalls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "world/body_contact.h"
#include "world/station.h"

using namespace dockworld;

namespace {

struct Bench {
    Station station{{0.0, 0.0}, 0.0}; // facing +x: robots dock heading west
    std::vector<Obstacle> obstacles;
    Bench()
    {
        for (const Segment &s : station.plateSegments())
            obstacles.push_back({s, false});
        for (const Segment &s : station.guideSegments())
            obstacles.push_back({s, true});
        obstacles.push_back({{{-0.1, -3.0}, {-0.1, 3.0}}, false, true}); // the wall behind the plate
    }

    // Drives at `speed` and `turnRate` for `seconds`; returns the final pose
    // and counts the time with a stalled motor. With `aim`, steers towards
    // that point like a robot following the station's markers.
    Pose drive(Pose pose, double speed, double turnRate, double seconds, double *stalledFor = nullptr,
               const Vec2 *aim = nullptr)
    {
        const BodyMotion motion(&obstacles);
        StallDetector stall;
        const double dt = 0.005;
        const double track = RobotBody::wheelTrack;
        for (double t = 0; t < seconds; t += dt) {
            if (aim) {
                const Vec2 to = *aim - pose.position();
                const double error = normalizeAngle(std::atan2(to.y, to.x) - pose.heading);
                turnRate = std::clamp(2.0 * error, -1.0, 1.0);
            }
            Pose free = pose;
            free.heading = normalizeAngle(pose.heading + turnRate * dt);
            const Vec2 ahead = unitVector(pose.heading + 0.5 * turnRate * dt);
            free.x += speed * dt * ahead.x;
            free.y += speed * dt * ahead.y;
            const Pose next = motion.move(pose, free, dt);
            double left, right;
            wheelTravel(pose, next, track, left, right);
            stall.update(speed - turnRate * track / 2, speed + turnRate * track / 2, left, right, dt);
            if (stalledFor && (stall.leftStalled() || stall.rightStalled()))
                *stalledFor += dt;
            pose = next;
        }
        return pose;
    }
};

} // namespace

TEST(BodyContact, StraightApproachStopsAtThePlateAndStalls)
{
    Bench bench;
    double stalled = 0.0;
    const Pose end = bench.drive({1.5, 0.0, kPi}, 0.2, 0.0, 8.0, &stalled);
    const Station::Offsets o = bench.station.offsets(end);
    EXPECT_NEAR(o.gap, 0.0, 0.003);
    EXPECT_NEAR(o.lateral, 0.0, 1e-6);
    // About 6.5 s of driving reaches the plate; the stall shows 0.2 s later.
    EXPECT_GT(stalled, 1.0);
    EXPECT_LT(stalled, 1.4);
}

TEST(BodyContact, GuideStraightensAnOffCentreApproach)
{
    Bench bench;
    for (double side : {-0.3, 0.2}) {
        for (double headingError : {-12.0, 0.0, 15.0}) {
            const Pose start{1.4, side, kPi + degToRad(headingError)};
            // Steering at a point beyond the plate: the markers pull the
            // robot in, the guide has to square it up.
            const Vec2 aim = bench.station.toWorld(-0.5, 0.06); // 6 cm off the centre line
            const Pose end = bench.drive(start, 0.2, 0.0, 10.0, nullptr, &aim);
            const Station::Offsets o = bench.station.offsets(end);
            // Wedged between the rails at worst a few degrees askew, the nose
            // corner on the plate.
            EXPECT_LT(o.gap, 0.015) << side << " " << headingError;
            EXPECT_LT(std::fabs(o.lateral), 0.016) << side << " " << headingError;
            EXPECT_LT(std::fabs(radToDeg(o.heading)), 7.0) << side << " " << headingError;
        }
    }
}

TEST(BodyContact, TurningOnTheSpotAgainstThePlateStalls)
{
    Bench bench;
    double stalled = 0.0;
    const Pose docked = bench.station.dockedPose();
    const Pose end = bench.drive(docked, 0.0, -degToRad(10.0), 1.0, &stalled);
    EXPECT_NEAR(radToDeg(normalizeAngle(end.heading - docked.heading)), 0.0, 1.0);
    EXPECT_GT(stalled, 0.7);
}

TEST(BodyContact, RigidWallIsNeverCrossed)
{
    Bench bench;
    // Hitting the wall next to the station at a slant, at cruising speed.
    const Pose end = bench.drive({1.0, 1.5, kPi - 0.4}, 0.4, 0.0, 6.0);
    EXPECT_GT(end.x, -0.1 + RobotBody::halfWidth - 1e-3);
    EXPECT_EQ(deepestContact(end, bench.obstacles).depth, 0.0);
}

TEST(BodyContact, WallStallsAHeadOnPushButLetsTheBodyTurnOff)
{
    Bench bench;
    // Straight at the wall north of the station: stopped, and the motors stall.
    double stalled = 0.0;
    const Pose pushed = bench.drive({1.0, 1.5, kPi}, 0.3, 0.0, 5.0, &stalled);
    EXPECT_NEAR(pushed.x, -0.1 + RobotBody::front, 0.003);
    EXPECT_GT(stalled, 1.0);
    // Turning on the spot from there swings a nose corner into the wall: the
    // body skids back off it and turns instead of sticking.
    stalled = 0.0;
    const Pose turned = bench.drive(pushed, 0.0, 0.5, 1.0, &stalled);
    EXPECT_GT(normalizeAngle(turned.heading - pushed.heading), 0.4);
    EXPECT_GT(turned.x, pushed.x + 0.01);
    EXPECT_LT(stalled, 0.1);
    EXPECT_EQ(deepestContact(turned, bench.obstacles).depth, 0.0);
}

TEST(BodyContact, FreeDrivingIsUntouched)
{
    Bench bench;
    const Pose end = bench.drive({2.0, 1.5, 0.0}, 0.3, 0.0, 2.0);
    EXPECT_NEAR(end.x, 2.6, 0.002); // a time step more or less
    EXPECT_NEAR(end.y, 1.5, 1e-9);
}
