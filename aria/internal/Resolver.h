// ARIA's priority resolver.
#pragma once

#include <map>

#include "Aria.h"

namespace ariacompat {

// Fires the active actions from the highest priority down, each with the
// result so far, and merges their answers: equal priorities are averaged
// (strength-weighted, strengths added), and each level adds to a channel only
// the strength the higher levels left (the total never passes MAX_STRENGTH).
// anyActive, when given, tells whether any action was active.
ArActionDesired resolveActions(const std::multimap<int, ArAction *> &actions,
                               bool *anyActive = nullptr);

} // namespace ariacompat
