// Simulated time of a trial that may run faster than the wall clock. The
// simulator's own threads (robot, camera, runner) read it here; the programs
// it starts follow the same rate through libfaketime, which scales their
// clocks, sleeps and poll/select timeouts (see speedEnvironment).
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace dockworld {

// The speed trials run at unless told otherwise: what this project's 2-core
// development machine sustains with two trials side by side.
#define DEFAULT_SPEED_TEXT "8"
constexpr double kDefaultSpeed = 8.0;

class SimClock {
public:
    using time_point = std::chrono::steady_clock::time_point;
    using duration = std::chrono::steady_clock::duration;

    // `speed` simulated seconds pass per wall-clock second (at least 1).
    explicit SimClock(double speed = 1.0);

    double speed() const { return speed_; }
    // Simulated time as a steady_clock time point: it advances `speed` times
    // faster than the wall clock from the moment the clock was made.
    time_point now() const;
    // Simulated seconds since the clock was made.
    double seconds() const;
    // The wall-clock time a simulated span takes.
    duration toReal(duration simulated) const;
    // Sleeps for `simulated` seconds of simulated time.
    void sleep(double simulated) const;

private:
    double speed_;
    time_point origin_;
};

// Environment entries ("NAME=value") that make a program started with them
// run its clock `speed` times faster: libfaketime preloaded, with its rate.
// Nothing at speed 1. False with a message in `error` when libfaketime is not
// installed.
bool speedEnvironment(double speed, std::vector<std::string> &env, std::string *error);

// libfaketime keeps a shared-memory segment and a semaphore per process and
// removes them when the process exits normally; this removes those of a
// program that was ended by force.
void removeFakeTimeLeftovers(pid_t pid);

// Where libfaketime is looked for ("" if it is not installed).
std::string fakeTimeLibrary();

} // namespace dockworld
