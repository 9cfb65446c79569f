// The station as a builder reads it: the dimensions the README's station
// drawings carry, in metres, and the drawings themselves. The numbers are
// written out here as the drawings show them; a test holds them against
// the simulated station's geometry, so the two describe the same station.
#pragma once

#include "picture/png_file.h"

namespace dockworld {

struct StationPlan {
    // Contact plate: its face stands this far out from the wall.
    static constexpr double plateWidth = 0.32;
    static constexpr double plateDepth = 0.10;
    // Rails: parallel, this far apart (inner faces), from the wall to
    // railEnd in front of the plate's face.
    static constexpr double railGap = 0.455;
    static constexpr double railEnd = 0.45;
    // Flares: from the rails' ends to the bend, then to the mouth.
    static constexpr double bendOut = 0.85;
    static constexpr double bendWidth = 1.152;
    static constexpr double mouthOut = 1.15;
    static constexpr double mouthWidth = 2.192;
    static constexpr double guideHeight = 0.12;
    // Housing: closes the mouth's ends straight back to the wall; it and the
    // steep flares stand taller than the upper markers' top edge.
    static constexpr double housingHeight = 0.65;
    // Markers in the plane of the plate's face.
    static constexpr double markerDiameter = 0.05;
    static constexpr double columnSpacing = 0.09;
    static constexpr double upperHeight = 0.561;
    static constexpr double middleHeight = 0.412;
    static constexpr double lowerHeight = 0.262;
    // The camera the heights are for.
    static constexpr double cameraHeight = 0.45;
};

// Seen from above, the wall at the top, the robot coming in from below.
Canvas drawStationTopView();
// Seen from the room, as the robot approaches.
Canvas drawStationFrontView();

} // namespace dockworld
