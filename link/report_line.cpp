#include "report_line.h"

#include <cstdio>

std::string reportLine(const TargetReport &report, const report_meaning::ControllerReading &reading)
{
    char text[256];
    const int written = snprintf(
        text, sizeof text, "UL %d,%d UR %d,%d ML %d,%d MR %d,%d LL %d,%d LR %d,%d distance ",
        report.ulRow, report.ulCol, report.urRow, report.urCol, report.mlRow, report.mlCol,
        report.mrRow, report.mrCol, report.llRow, report.llCol, report.lrRow, report.lrCol);
    std::string line(text, written > 0 ? static_cast<size_t>(written) : 0);

    double metres = 0.0;
    if (report_meaning::distanceEstimate(report.urRow, report.lrRow, &metres)) {
        snprintf(text, sizeof text, "%.3f", metres);
        line += text;
    } else {
        line += "-";
    }
    // A heading change of -0 (the action's answer with no marker from the
    // start) is the same command as 0 and is shown as 0.
    const double heading = reading.centering().heading + 0.0;
    snprintf(text, sizeof text, " target %d heading %.3f", reading.target(), heading);
    return line + text;
}
