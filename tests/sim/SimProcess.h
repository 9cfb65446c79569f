// robotsim started by a test on a free port, with its control channel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "robot/RobotModel.h"

namespace simtest {

class SimProcess {
public:
    // Starts robotsim with `--port 0` and the extra arguments; port() is 0
    // when it did not come up.
    explicit SimProcess(const std::vector<std::string> &args = {});

    int port() const { return port_; }
    // Sends one control line.
    bool command(const std::string &line);
    // The true pose, asked with `where`; NaNs when no answer came.
    robotsim::Pose where();
    ariatest::ChildProcess &process() { return *process_; }

private:
    std::unique_ptr<ariatest::ChildProcess> process_;
    int port_ = 0;
    size_t answers_ = 0;
};

} // namespace simtest
