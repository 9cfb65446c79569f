#include "trials/fault_injection.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace dockworld {

namespace {

struct Name {
    const char *text;
    FaultKind kind;
};
const Name kNames[] = {{"camera-loss", FaultKind::CameraLoss},
                       {"vision-kill", FaultKind::VisionKill},
                       {"vision-stop", FaultKind::VisionStop},
                       {"robot-drop", FaultKind::RobotDrop}};

bool parseSeconds(const std::string &text, double *value)
{
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(*value) && *value >= 0.0;
}

} // namespace

bool parseFault(const std::string &text, Fault *fault, std::string *error)
{
    const size_t at = text.find('@');
    const std::string name = text.substr(0, at);
    Fault parsed;
    for (const Name &n : kNames)
        if (name == n.text)
            parsed.kind = n.kind;
    if (parsed.kind == FaultKind::None || at == std::string::npos) {
        *error = "--fault takes camera-loss@T[:SECONDS], vision-kill@T, vision-stop@T or robot-drop@T";
        return false;
    }
    std::string when = text.substr(at + 1);
    const size_t colon = when.find(':');
    if (colon != std::string::npos) {
        if (parsed.kind != FaultKind::CameraLoss || !parseSeconds(when.substr(colon + 1), &parsed.seconds) ||
            parsed.seconds <= 0.0) {
            *error = "only camera-loss takes a length, a positive number of seconds";
            return false;
        }
        when = when.substr(0, colon);
    }
    if (!parseSeconds(when, &parsed.at)) {
        *error = "a fault's time is a number of seconds into the trial";
        return false;
    }
    *fault = parsed;
    return true;
}

std::string describeFault(const Fault &fault)
{
    std::string name = "none";
    for (const Name &n : kNames)
        if (fault.kind == n.kind)
            name = n.text;
    char text[64];
    if (fault.kind == FaultKind::CameraLoss)
        std::snprintf(text, sizeof text, "%s@%g:%g", name.c_str(), fault.at, fault.seconds);
    else
        std::snprintf(text, sizeof text, "%s@%g", name.c_str(), fault.at);
    return text;
}

void FaultInjector::poll(double t, const FaultTargets &targets)
{
    if (fired_ || fault_.kind == FaultKind::None || t < fault_.at)
        return;
    fired_ = true;
    switch (fault_.kind) {
    case FaultKind::CameraLoss: targets.loseCamera(fault_.seconds); break;
    case FaultKind::VisionKill: targets.signalVision(SIGKILL); break;
    case FaultKind::VisionStop: targets.signalVision(SIGSTOP); break;
    case FaultKind::RobotDrop: targets.dropRobot(); break;
    case FaultKind::None: break;
    }
}

Standstill standstillAfter(const std::string &motionLog, double from)
{
    Standstill result;
    std::ifstream in(motionLog);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        double t, commanded, speed;
        int connected;
        if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%d", &t, &commanded, &speed, &connected) != 4 || t < from)
            continue;
        if (result.commanded < 0.0 && std::fabs(commanded) < 0.5)
            result.commanded = t - from;
        if (result.actual < 0.0 && std::fabs(speed) < 0.5)
            result.actual = t - from;
        if (result.commanded >= 0.0 && result.actual >= 0.0)
            break;
    }
    return result;
}

} // namespace dockworld
