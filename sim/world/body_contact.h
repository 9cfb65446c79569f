// How the robot's body meets the room: rigid walls, furniture and the
// station's plate stop it; the station's guide gives way a little, so a robot
// driving into a rail or a flare slides along it and is turned towards the
// station's centre line instead of jamming.
#pragma once

#include <vector>

#include "world/world_geometry.h"

namespace dockworld {

struct Obstacle {
    Segment segment;
    bool compliant = false; // the guide: slides and turns the robot within limits
    bool slides = false;    // a wall: rigid, but a body touching it skids along it
};

struct Contact {
    double depth = 0.0; // how far the body reaches through the obstacle, metres
    Vec2 normal;        // direction that pushes the body out
    Vec2 point;         // where they touch
    bool compliant = false;
    bool slides = false;
};

// Deepest overlap of the robot's body at `pose` with any obstacle; depth 0
// when there is none.
Contact deepestContact(const Pose &pose, const std::vector<Obstacle> &obstacles);

// Moves the body from `from` to the freely driven pose `to` as far as the
// obstacles let it.
class BodyMotion {
public:
    // How hard the guide can push: the sideways speed and the turn rate it
    // can force on a robot driving into it.
    static constexpr double kGuideSlide = 0.15;  // m/s
    static constexpr double kGuideTurn = 0.436;  // rad/s (25 degrees/s)
    // How fast a body that turns or drives against a wall at a slant skids
    // away from it (the wheels slip sideways rather than the body entering
    // the wall). Driving straight at a wall is faster than this: it stalls.
    static constexpr double kWallSkid = 0.15; // m/s

    explicit BodyMotion(const std::vector<Obstacle> *obstacles) : obstacles_(obstacles) {}

    // The pose reached after `dt` seconds. `to` is where the wheels would
    // have taken the robot with nothing in the way.
    Pose move(const Pose &from, const Pose &to, double dt) const;

private:
    bool guided(Pose &pose, double dt) const;
    Pose partialMove(const Pose &from, const Pose &to) const;

    const std::vector<Obstacle> *obstacles_;
};

// Tells a stalled motor from a running one: a wheel that is told to turn but
// hardly moves for `stallDelay` seconds is stalled (the drive firmware raises
// its stall bit), until it moves again.
class StallDetector {
public:
    static constexpr double kStallDelay = 0.2;

    // Wheel speeds the motors are driven at (m/s) and the distances the
    // wheels really covered in `dt`.
    void update(double commandedLeft, double commandedRight, double movedLeft, double movedRight, double dt);
    bool leftStalled() const { return left_ >= kStallDelay; }
    bool rightStalled() const { return right_ >= kStallDelay; }
    void reset() { left_ = right_ = 0.0; }

private:
    static double blockedTime(double blocked, double commanded, double moved, double dt);
    double left_ = 0.0;
    double right_ = 0.0;
};

// Distances covered by the left and right wheels between two poses of a
// robot with wheel track `track` (metres; forward is positive).
void wheelTravel(const Pose &from, const Pose &to, double track, double &left, double &right);

} // namespace dockworld
