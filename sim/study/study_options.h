// dock_success's command line.
#pragma once

#include <string>
#include <vector>

#include "study/study_plan.h"
#include "trials/imperfections.h"

namespace dockworld {

struct StudyOptions {
    StudyDefinition study;
    int jobs = 0; // 0: 3 where trials run at real-time priority, else 2
    std::string out = "dock_success-out";
    Shard shard;
    bool listStarts = false;               // print the trial list and stop
    std::vector<std::string> mergeDirs;    // --merge DIR...
    std::vector<std::string> compareDirs;  // --compare DIR_A DIR_B
};

// Applies "NAME=VALUE" through setImperfection; false with a one-line reason.
bool applyCondition(Imperfections &imp, const std::string &nameValue, std::string *error);
bool checkCondition(const std::string &nameValue, std::string *error);

// 0 to go on; -1 after --help; otherwise the exit status (the message
// printed to standard error).
int parseStudyOptions(int argc, char **argv, StudyOptions &o);

} // namespace dockworld
