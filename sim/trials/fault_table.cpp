#include "trials/fault_table.h"

#include <cstdio>
#include <string>

namespace dockworld {

namespace {

std::string seconds(double s)
{
    if (s < 0.0)
        return "never";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

std::string status(int code)
{
    return code < 0 ? "running" : std::to_string(code);
}

} // namespace

void printFaultSummary(const TrialResult &r)
{
    if (r.faultAt < 0.0) {
        std::printf("fault: did not fire\n");
        return;
    }
    std::printf("fault at %.1f s: commanded speed 0 after %s, speed 0 after %s; controller status %s\n", r.faultAt,
                seconds(r.standstill.commanded).c_str(), seconds(r.standstill.actual).c_str(),
                status(r.controllerExit).c_str());
}

void printFaultTable(const Fault &fault, const std::vector<TrialResult> &results)
{
    std::printf("\nfault %s\n trial  fired   commanded 0  speed 0   controller  cleaned up  result\n",
                describeFault(fault).c_str());
    int stopped = 0, clean = 0, docked = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const TrialResult &r = results[i];
        const bool inTime = r.faultAt >= 0.0 && r.standstill.actual >= 0.0 && r.standstill.actual <= 1.0;
        stopped += inTime;
        clean += r.cleanedUp;
        docked += r.end == TrialEnd::Docked;
        std::printf("%5zu  %5.1f s  %-11s  %-8s  %-10s  %-10s  %s\n", i + 1, r.faultAt,
                    seconds(r.standstill.commanded).c_str(), seconds(r.standstill.actual).c_str(),
                    status(r.controllerExit).c_str(), r.cleanedUp ? "yes" : "NO", trialEndName(r.end));
    }
    std::printf("speed 0 within 1 s: %d of %zu; cleaned up: %d of %zu; docked: %d of %zu\n", stopped, results.size(),
                clean, results.size(), docked, results.size());
}

} // namespace dockworld
