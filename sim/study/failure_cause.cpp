#include "study/failure_cause.h"

#include <algorithm>
#include <cmath>

namespace dockworld {

const char *failureCauseName(FailureCause cause)
{
    switch (cause) {
    case FailureCause::None: return "docked";
    case FailureCause::WanderTimeLimit: return "time limit while wandering";
    case FailureCause::DockingTimeLimit: return "time limit while docking";
    case FailureCause::Furniture: return "stuck against furniture";
    case FailureCause::Guide: return "stuck against the guide";
    case FailureCause::ArrivedAway: return "arrival away from the station";
    case FailureCause::Other: return "other";
    }
    return "?";
}

namespace {

// Shortest distance between two segments (0 when they cross).
double segmentDistance(const Segment &a, const Segment &b)
{
    if (segmentsIntersect(a, b))
        return 0.0;
    return std::min({distanceToSegment(a.a, b), distanceToSegment(a.b, b), distanceToSegment(b.a, a),
                     distanceToSegment(b.b, a)});
}

// Distance from the robot's outline at `pose` to the nearest of `segments`.
double bodyDistance(const Pose &pose, const std::vector<Segment> &segments)
{
    const auto outline = RobotBody::outline();
    double best = INFINITY;
    for (size_t i = 0; i < outline.size(); ++i) {
        const Vec2 &p = outline[i], &q = outline[(i + 1) % outline.size()];
        const Segment edge{pose.toWorld(p.x, p.y), pose.toWorld(q.x, q.y)};
        for (const Segment &s : segments)
            best = std::min(best, segmentDistance(edge, s));
    }
    return best;
}

} // namespace

FailureCause failureCause(const TrialResult &r, const DockingRoom &room)
{
    switch (r.end) {
    case TrialEnd::Docked: return FailureCause::None;
    case TrialEnd::ArrivedElsewhere: return FailureCause::ArrivedAway;
    case TrialEnd::TimeLimit: break;
    default: return FailureCause::Other;
    }
    if (r.stillFor >= kStuckAfter) {
        // What the body's outline touches (within 2 cm): the station (guide,
        // plate, housing) or the room (walls, furniture).
        const Station &station = room.station();
        std::vector<Segment> stationParts = station.guideSegments();
        for (const auto &part : {station.plateSegments(), station.housingSegments()})
            stationParts.insert(stationParts.end(), part.begin(), part.end());
        const double toStation = bodyDistance(r.finalPose, stationParts);
        const double toRoom = bodyDistance(r.finalPose, room.walls());
        if (std::min(toStation, toRoom) <= 0.02)
            return toStation <= toRoom ? FailureCause::Guide : FailureCause::Furniture;
    }
    return r.finalMode == DriveMode::Docking ? FailureCause::DockingTimeLimit : FailureCause::WanderTimeLimit;
}

} // namespace dockworld
