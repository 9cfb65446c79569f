#include "world/emitter.h"

namespace dockworld {

std::vector<Emitter> markerEmitters(const Station &station, double luma)
{
    std::vector<Emitter> emitters;
    const Vec2 normal = unitVector(station.facing());
    for (const Marker &m : station.markers()) {
        Emitter e;
        e.shape = Emitter::Shape::Disc;
        e.centre = m.centre;
        e.normal = normal;
        e.radius = m.radius;
        e.luma = luma;
        emitters.push_back(e);
    }
    return emitters;
}

} // namespace dockworld
