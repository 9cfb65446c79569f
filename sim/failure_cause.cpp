#include "failure_cause.h"

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
        // What the body's outline touches (within 2 cm).
        const auto outline = RobotBody::outline();
        const Obstacle *nearest = nullptr;
        double best = 0.02;
        for (const Obstacle &o : room.obstacles())
            for (size_t i = 0; i < outline.size(); ++i) {
                const Vec2 &p = outline[i], &q = outline[(i + 1) % outline.size()];
                const Segment edge{r.finalPose.toWorld(p.x, p.y), r.finalPose.toWorld(q.x, q.y)};
                const double d = segmentDistance(edge, o.segment);
                if (d <= best) {
                    best = d;
                    nearest = &o;
                }
            }
        if (nearest)
            return nearest->slides ? FailureCause::Furniture : FailureCause::Guide;
    }
    return r.finalMode == DriveMode::Docking ? FailureCause::DockingTimeLimit : FailureCause::WanderTimeLimit;
}

} // namespace dockworld
