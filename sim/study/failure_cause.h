// Why a docking trial did not dock, told from how it ended, where the robot
// stood and what it was doing.
#pragma once

#include "world/docking_room.h"
#include "trials/trial_runner.h"

namespace dockworld {

enum class FailureCause {
    None,             // docked
    WanderTimeLimit,  // time limit while wandering
    DockingTimeLimit, // time limit while docking
    Furniture,        // stuck against furniture or a wall
    Guide,            // stuck against the station (guide, plate or housing)
    ArrivedAway,      // arrival announced away from the station
    Other             // controller ended, set-up failed, interrupted
};

const char *failureCauseName(FailureCause cause);

// A robot that stood still for `kStuckAfter` simulated seconds before the
// time limit, touching something, is stuck against it.
constexpr double kStuckAfter = 15.0;

FailureCause failureCause(const TrialResult &result, const DockingRoom &room);

} // namespace dockworld
