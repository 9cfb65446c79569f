// What a study prints: the start distributions each group actually sampled,
// each group's success with its interval, times, errors and failures by
// cause and its map; per swept value a tolerance table; and the loop's
// timing against its real-time value.
#pragma once

#include <string>
#include <vector>

#include "study/trial_record.h"
#include "world/docking_room.h"

namespace dockworld {

// Distance, bearing off the centre line and heading off the station of
// `starts`: 5th percentile, median, 95th percentile and extremes.
void printSampledStarts(const Station &station, const std::string &group, const std::vector<Pose> &starts);

// The control-pass interval and the report age of a trial at speed 1 (see
// sim/README.md): the figures a study at speed is held against.
struct SpeedReference {
    double passMedianMs;
    double passP99Ms;
    double reportAgeMedianMs;
};
extern const SpeedReference kRealTimeReference;

// Each group's figures and map (per swept value), the tolerance table of a
// sweep, and the timing figures with a warning where they drift more than
// 10% from `kRealTimeReference`. Maps go to `out`.
void printStudyReport(const DockingRoom &room, const std::vector<TrialRecord> &records, const std::string &sweepName,
                      const std::string &out);

} // namespace dockworld
