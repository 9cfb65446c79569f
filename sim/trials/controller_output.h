// Follows what the controller prints: its mode banners and its arrival
// message. The controller writes through stdio, which buffers whole blocks
// into a pipe; a pseudo-terminal keeps it line-buffered so that the mode is
// known when it changes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "picture/topdown_map.h"

namespace dockworld {

class ControllerOutput {
public:
    ControllerOutput() = default;
    ~ControllerOutput();
    ControllerOutput(const ControllerOutput &) = delete;
    ControllerOutput &operator=(const ControllerOutput &) = delete;

    // Opens the pseudo-terminal; everything read is also appended to
    // `logPath`. False with a message on failure.
    bool open(const std::string &logPath, std::string *error);
    // The terminal end to give the controller as its output; close it in the
    // runner once the controller has it.
    int childEnd() const { return child_; }
    void closeChildEnd();
    // Starts reading (after the controller was started).
    void start();
    // Stops reading and closes everything.
    void close();

    DriveMode mode() const { return mode_.load(); }
    bool dockingSeen() const { return dockingSeen_.load(); }
    bool arrived() const { return arrived_.load(); }
    // Waits up to `seconds` until everything the controller wrote has been
    // read (its terminal reports the end); true when it has. A controller
    // that ended may have written its last lines moments before.
    bool waitDrained(double seconds) const;

    // Takes one line of controller output into account (also used by tests).
    void takeLine(const std::string &line);

private:
    void run();

    int master_ = -1;
    int child_ = -1;
    int log_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<DriveMode> mode_{DriveMode::Unknown};
    std::atomic<bool> dockingSeen_{false};
    std::atomic<bool> arrived_{false};
    std::atomic<bool> drained_{false};
};

} // namespace dockworld
