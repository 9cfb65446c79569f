// One line of text for a report and the controller's reading of it, as the
// field tools print it:
//   UL r,c UR r,c ML r,c MR r,c LL r,c LR r,c distance D target T heading H
// r,c as published (0,0 for a marker not found); D is this report's distance
// estimate with three decimals, or "-" when the upper-right or lower-right
// marker is missing; T and H are the controller's target column and the
// centering action's heading change (three decimals) after this report.
#pragma once

#include <string>

#include "report_meaning.h"
#include "target_report.h"

std::string reportLine(const TargetReport &report, const report_meaning::ControllerReading &reading);
