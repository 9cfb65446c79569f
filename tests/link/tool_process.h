// A program run by a test in a directory of the test's choosing, with its
// standard output and standard error in files.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace linktest {

// Starts argv[0] with the arguments in `directory`; stdout and stderr go to
// the files `outPath` and `errPath` (created or emptied). Returns the pid.
pid_t startTool(const std::string &directory, const std::vector<std::string> &argv,
                const std::string &outPath, const std::string &errPath);

struct ToolResult {
    int status;       // as waitChild gives it
    std::string out;  // standard output
    std::string err;  // standard error
};

// startTool, then waits for the program and reads both files.
ToolResult runTool(const std::string &directory, const std::vector<std::string> &argv);

} // namespace linktest
