#include "world/emitter.h"

#include <cmath>

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

Emitter floorReflection(const Emitter &e, double reflectance, double blurPx)
{
    Emitter mirrored = e;
    mirrored.centre.z = -e.centre.z;
    mirrored.luma = e.luma * reflectance;
    mirrored.chromaU = e.chromaU * reflectance;
    mirrored.chromaV = e.chromaV * reflectance;
    mirrored.extraBlurPx = std::hypot(e.extraBlurPx, blurPx);
    return mirrored;
}

} // namespace dockworld
