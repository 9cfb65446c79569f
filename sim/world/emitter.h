// Things in the room that shine, as the camera sees them: the station's
// markers, a window, a lamp.
#pragma once

#include <vector>

#include "world/station.h"

namespace dockworld {

// Something that shines: a marker, a window, a lamp.
struct Emitter {
    enum class Shape {
        Disc,      // flat disc facing `normal` (a marker)
        Rectangle, // flat rectangle facing `normal`, upright (a window)
        Ball       // glowing sphere, seen as a disc from anywhere (a lamp bulb)
    };
    Shape shape = Shape::Disc;
    Vec3 centre;
    Vec2 normal;             // horizontal; for Disc and Rectangle
    double radius = 0.0;     // Disc and Ball
    double halfWidth = 0.0;  // Rectangle
    double halfHeight = 0.0; // Rectangle
    double luma = 255.0;     // brightness at the middle, before saturation
    double chromaU = 0.0;    // colour, added to the neutral 128
    double chromaV = 0.0;
};

// Emitters for the six markers of a station: white discs facing the room.
std::vector<Emitter> markerEmitters(const Station &station, double luma = 255.0);

} // namespace dockworld
