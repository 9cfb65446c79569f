// Which drawn flaw costs docking: with values drawn per trial (`realistic`),
// success in the trials below each value's median against those above it.
#pragma once

#include <vector>

#include "study/trial_record.h"

namespace dockworld {

struct DrawnSplit {
    std::string name;
    double low = 0.0, median = 0.0, high = 0.0; // the drawn values' range and median
    int dockedBelow = 0, trialsBelow = 0;       // trials with values under the median
    int dockedAbove = 0, trialsAbove = 0;       // and the rest
};

// One split per numeric imperfection whose value differs between the
// (uninterrupted) trials, in the order first met.
std::vector<DrawnSplit> splitByDrawnValues(const std::vector<TrialRecord> &records);
// The splits as a table with Wilson intervals; nothing when there are none.
void printDrawnEffects(const std::vector<TrialRecord> &records);

} // namespace dockworld
