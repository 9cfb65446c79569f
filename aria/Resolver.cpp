#include "internal/Resolver.h"

#include <algorithm>

namespace ariacompat {
namespace {

// One channel (velocity or delta heading) while a priority level is summed.
struct ChannelSum {
    double weighted = 0;
    double strength = 0;

    void add(double value, double s)
    {
        if (s < ArActionDesired::MIN_STRENGTH)
            return;
        weighted += value * s;
        strength += s;
    }
};

// Merges one level's average into the result: the level gets only the
// strength still free.
void merge(double &value, double &strength, const ChannelSum &level)
{
    if (level.strength < ArActionDesired::MIN_STRENGTH)
        return;
    double levelValue = level.weighted / level.strength;
    double levelStrength = std::min(level.strength, ArActionDesired::MAX_STRENGTH);
    double added = std::min(levelStrength, ArActionDesired::MAX_STRENGTH - strength);
    if (added <= 0)
        return;
    double total = strength + added;
    value = (value * strength + levelValue * added) / total;
    strength = total;
}

} // namespace

ArActionDesired resolveActions(const std::multimap<int, ArAction *> &actions, bool *anyActive)
{
    ArActionDesired result;
    bool active = false;
    double vel = 0, velStrength = 0, delta = 0, deltaStrength = 0;
    auto it = actions.rbegin();
    while (it != actions.rend()) {
        int priority = it->first;
        ChannelSum velSum, deltaSum;
        for (; it != actions.rend() && it->first == priority; ++it) {
            ArAction *action = it->second;
            if (action == nullptr || !action->isActive())
                continue;
            active = true;
            ArActionDesired *want = action->fire(result);
            if (want == nullptr)
                continue;
            velSum.add(want->getVel(), want->getVelStrength());
            deltaSum.add(want->getDeltaHeading(), want->getDeltaHeadingStrength());
        }
        merge(vel, velStrength, velSum);
        merge(delta, deltaStrength, deltaSum);
        result.reset();
        if (velStrength >= ArActionDesired::MIN_STRENGTH)
            result.setVel(vel, velStrength);
        if (deltaStrength >= ArActionDesired::MIN_STRENGTH)
            result.setDeltaHeading(delta, deltaStrength);
    }
    if (anyActive != nullptr)
        *anyActive = active;
    return result;
}

} // namespace ariacompat
