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
        Ball,      // glowing sphere, seen as a disc from anywhere (a lamp bulb)
        Panel      // flat level rectangle, halfWidth along x and halfHeight along y
                   // (a ceiling light, a sunlit patch of floor)
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
    double extraBlurPx = 0.0; // blur on top of the lens's (a reflection on a glossy floor)
};

// An emitter's mirror image in a glossy floor (z = 0), `reflectance` as bright
// and blurred by `blurPx`.
Emitter floorReflection(const Emitter &e, double reflectance, double blurPx);

// Emitters for the six markers of a station: white discs facing the room.
std::vector<Emitter> markerEmitters(const Station &station, double luma = 255.0);

} // namespace dockworld
