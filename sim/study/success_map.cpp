#include "study/success_map.h"

#include "picture/topdown_map.h"

namespace dockworld {

Rgb causeColour(FailureCause cause)
{
    switch (cause) {
    case FailureCause::None: return {0, 160, 0};
    case FailureCause::WanderTimeLimit: return {30, 90, 255};
    case FailureCause::DockingTimeLimit: return {255, 140, 0};
    case FailureCause::Furniture: return {140, 0, 200};
    case FailureCause::Guide: return {220, 0, 0};
    case FailureCause::ArrivedAway: return {255, 0, 200};
    case FailureCause::Other: break;
    }
    return {0, 0, 0};
}

bool writeSuccessMap(const DockingRoom &room, const std::vector<MapEntry> &entries, const std::string &path,
                     std::string *error)
{
    TopDownMap map(room.minCorner(), room.maxCorner());
    map.drawWalls(room.walls());
    map.drawGuide(room.station().guideSegments());
    map.drawGuide(room.station().housingSegments());
    map.drawPlate(room.station().plateSegments());
    for (const Marker &m : room.station().markers())
        map.drawMarker({m.centre.x, m.centre.y});
    // Failures last, so that they stay visible among many successes.
    for (bool failures : {false, true})
        for (const MapEntry &e : entries)
            if ((e.cause != FailureCause::None) == failures)
                map.drawArrow(e.start, causeColour(e.cause));
    return map.save(path, error);
}

} // namespace dockworld
