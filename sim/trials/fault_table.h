// How trials with an injected fault went: one line per trial after its
// summary, and a table over all trials.
#pragma once

#include <vector>

#include "trials/trial_runner.h"

namespace dockworld {

// "fault ... at T s: commanded speed 0 after X s, speed 0 after Y s, controller status N"
void printFaultSummary(const TrialResult &result);
// One line per trial and the counts: speed 0 within 1 s, cleaned up, docked.
void printFaultTable(const Fault &fault, const std::vector<TrialResult> &results);

} // namespace dockworld
