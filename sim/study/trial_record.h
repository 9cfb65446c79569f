// A study's trials as rows of trials.csv, and the run file (run.txt) that
// says which study and which slice of it a run's folder holds. The study's
// tables and maps are drawn from these rows alone, so that one run and the
// merge of several print the same.
#pragma once

#include <string>
#include <vector>

#include "study/failure_cause.h"
#include "study/study_plan.h"

namespace dockworld {

struct TrialRecord {
    size_t position = 0;
    std::string name;
    std::string group;
    int index = 0;
    int sweepIndex = 0;
    std::string sweepValue;
    Pose start;
    bool docked = false;
    bool interrupted = false; // cut short: left out of the figures
    FailureCause cause = FailureCause::Other;
    double seconds = 0.0;
    double dockingModeAt = -1.0;
    double lateralCm = 0.0, gapCm = 0.0, headingErrDeg = 0.0;
    double stillFor = 0.0;
    long frames = 0, framesDropped = 0;
    double wallSeconds = 0.0;
    // Simulated milliseconds (NaN: nothing measured): the interval between
    // the controller's passes as the robot receives its commands, and the
    // age of a report when it is published, counted from its frame.
    double passMedianMs = NAN, passP99Ms = NAN, passWorstMs = NAN;
    double reportAgeMedianMs = NAN, reportAgeP99Ms = NAN;
    // The imperfections the trial ran with, drawn values included
    // ("camera-pitch=0.41 exposure=17.2 ..."; empty for the ideal world).
    std::string imperfections;
    std::string note; // why a trial could not be set up
};

const char *trialCsvHeader();
std::string trialCsvRow(const TrialRecord &r);
// False with a one-line reason for a row that does not have every field.
bool parseTrialCsvRow(const std::string &line, TrialRecord &r, std::string *error);
// Every row of DIR/trials.csv; false with a one-line reason.
bool readTrialsCsv(const std::string &dir, std::vector<TrialRecord> &records, std::string *error);

// run.txt: "study <describeStudy line>", "shard K/N", "trials-in-study T".
struct RunFile {
    std::string study;
    Shard shard;
    size_t trialsInStudy = 0;
};
bool writeRunFile(const std::string &dir, const RunFile &run, std::string *error);
bool readRunFile(const std::string &dir, RunFile &run, std::string *error);

} // namespace dockworld
