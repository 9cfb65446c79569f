// Test helpers for whole trials: what a finished trial must have left
// behind (nothing).
#pragma once

#include <string>

namespace dockingtest {

// Processes whose command line mentions `text` (this process excluded).
int processesMentioning(const std::string &text);

} // namespace dockingtest
