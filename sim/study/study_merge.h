// Putting the runs of one study back together (the shards run on several
// machines), and setting two runs of the same starts side by side.
#pragma once

#include <string>
#include <vector>

#include "study/trial_record.h"

namespace dockworld {

struct StudyRun {
    std::string dir;
    RunFile run;
    std::vector<TrialRecord> records;
};

// run.txt and trials.csv of DIR; false with a one-line reason.
bool readStudyRun(const std::string &dir, StudyRun &run, std::string *error);

// The trials of every run in the order of the whole study's list. Refuses
// (false, one-line reason) runs of different studies (options or seed), and
// runs that overlap (a trial in two of them, the same shard twice).
bool mergeStudyRuns(const std::vector<StudyRun> &runs, std::vector<TrialRecord> &merged, std::string *error);

// Two runs of the same starts (their study lines may differ in speed and
// conditions only), paired trial by trial.
struct PairedOutcomes {
    int both = 0, onlyA = 0, onlyB = 0, neither = 0;
};
bool pairStudyRuns(const StudyRun &a, const StudyRun &b, PairedOutcomes &paired, std::string *error);

} // namespace dockworld
