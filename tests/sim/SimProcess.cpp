#include "SimProcess.h"

#include <cmath>
#include <cstdio>

namespace simtest {

using namespace std::chrono_literals;

SimProcess::SimProcess(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{ROBOTSIM_PATH, "--port", "0"};
    argv.insert(argv.end(), args.begin(), args.end());
    process_.reset(new ariatest::ChildProcess(argv));
    std::string line = process_->waitForLine("robotsim: listening on 127.0.0.1:", 0, 5000ms);
    if (!line.empty())
        sscanf(line.c_str(), "robotsim: listening on 127.0.0.1:%d", &port_);
}

bool SimProcess::command(const std::string &line) { return process_->write(line + "\n"); }

robotsim::Pose SimProcess::where()
{
    robotsim::Pose p{NAN, NAN, NAN};
    if (!command("where"))
        return p;
    std::string line = process_->waitForLine("pose ", answers_, 2000ms);
    if (line.empty())
        return p;
    ++answers_;
    sscanf(line.c_str(), "pose %lf %lf %lf", &p.x, &p.y, &p.th);
    return p;
}

} // namespace simtest
