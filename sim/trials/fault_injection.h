// Faults injected into a docking trial, as they happen on a real robot: the
// webcam drops off the bus for a while, the vision program is killed or
// hangs, the robot's link fails. A fault fires once, at a simulated time of
// the trial; the robot server's motion log then tells how soon the robot
// stood still.
#pragma once

#include <functional>
#include <string>

namespace dockworld {

enum class FaultKind {
    None,
    CameraLoss, // the camera's stream ends; it comes back after `seconds`
    VisionKill, // SIGKILL to the vision program
    VisionStop, // SIGSTOP to the vision program (it hangs)
    RobotDrop   // the simulated robot closes the controller's connection
};

struct Fault {
    FaultKind kind = FaultKind::None;
    double at = 0.0;      // simulated seconds into the trial
    double seconds = 1.0; // length of a camera loss
};

// "camera-loss@T[:SECONDS]", "vision-kill@T", "vision-stop@T" or
// "robot-drop@T". False with a reason in `error` otherwise.
bool parseFault(const std::string &text, Fault *fault, std::string *error);
// The fault as written on the command line, e.g. "camera-loss@6:1".
std::string describeFault(const Fault &fault);

// What a fault acts on.
struct FaultTargets {
    std::function<void(double seconds)> loseCamera;
    std::function<void(int signal)> signalVision;
    std::function<void()> dropRobot;
};

class FaultInjector {
public:
    explicit FaultInjector(const Fault &fault) : fault_(fault) {}
    // Fires the fault once `t` (trial seconds) has reached its time.
    void poll(double t, const FaultTargets &targets);
    bool fired() const { return fired_; }
    bool hitsVision() const { return fault_.kind == FaultKind::VisionKill || fault_.kind == FaultKind::VisionStop; }
    const Fault &fault() const { return fault_; }

private:
    Fault fault_;
    bool fired_ = false;
};

// From a motion log of the robot server ("t,commanded,speed,connected"
// lines): seconds from `from` (server clock) until the commanded, and the
// actual, speed were first 0; -1 when they never were.
struct Standstill {
    double commanded = -1.0;
    double actual = -1.0;
};
Standstill standstillAfter(const std::string &motionLog, double from);

} // namespace dockworld
