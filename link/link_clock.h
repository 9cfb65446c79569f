// The clock every time rule of the controller's side of the link reads
// (report freshness, "vision program gone"). Monotonic milliseconds by
// default; a simulation that runs the closed loop on a clock of its own
// redirects it, so that the rules follow that clock instead of the wall.
#pragma once

#include <cstdint>

namespace link_clock {

// Milliseconds since an arbitrary start, never going back.
int64_t nowMs();

// Reads time from `source` from now on; nullptr restores CLOCK_MONOTONIC.
// Call before the controller's threads start.
using Source = int64_t (*)();
void setSource(Source source);

} // namespace link_clock
