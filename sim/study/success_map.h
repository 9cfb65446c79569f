// The top-down success map of a group of trials: the room and the station,
// and every start as a short arrow in its heading, green when the trial
// docked and otherwise in the colour of its failure's cause.
#pragma once

#include <string>
#include <vector>

#include "world/docking_room.h"
#include "study/failure_cause.h"
#include "picture/png_file.h"

namespace dockworld {

struct MapEntry {
    Pose start;
    FailureCause cause = FailureCause::None;
};

// Green for docked; wandering blue, docking orange, furniture purple, guide
// red, arrival away magenta, other black.
Rgb causeColour(FailureCause cause);

bool writeSuccessMap(const DockingRoom &room, const std::vector<MapEntry> &entries, const std::string &path,
                     std::string *error);

} // namespace dockworld
