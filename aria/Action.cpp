// ArActionDesired, ArAction and ArActionGroup.
#include "Aria.h"

#include <vector>

#include "internal/Access.h"
#include "internal/Log.h"

const double ArActionDesired::NO_STRENGTH = 0.0;
const double ArActionDesired::MIN_STRENGTH = 0.000001;
const double ArActionDesired::MAX_STRENGTH = 1.0;

namespace {

// Strengths above MAX are capped; below MIN they count as none.
double clampStrength(double strength)
{
    if (strength > ArActionDesired::MAX_STRENGTH)
        return ArActionDesired::MAX_STRENGTH;
    if (strength < ArActionDesired::MIN_STRENGTH)
        return ArActionDesired::NO_STRENGTH;
    return strength;
}

} // namespace

ArActionDesired::ArActionDesired()
    : myVel(0), myVelStrength(NO_STRENGTH), myDeltaHeading(0), myDeltaHeadingStrength(NO_STRENGTH)
{
}

ArActionDesired::~ArActionDesired() {}

void ArActionDesired::setVel(double vel, double strength)
{
    myVel = vel;
    myVelStrength = clampStrength(strength);
}

void ArActionDesired::setDeltaHeading(double deltaHeading, double strength)
{
    myDeltaHeading = deltaHeading;
    myDeltaHeadingStrength = clampStrength(strength);
}

void ArActionDesired::reset(void)
{
    myVel = 0;
    myVelStrength = NO_STRENGTH;
    myDeltaHeading = 0;
    myDeltaHeadingStrength = NO_STRENGTH;
}

ArAction::ArAction(const char *name, const char *description)
    : myRobot(NULL), myName(name ? name : ""), myDescription(description ? description : ""),
      myIsActive(true)
{
}

ArAction::~ArAction() {}

bool ArAction::isActive(void) const { return myIsActive.load(); }
void ArAction::activate(void) { myIsActive.store(true); }
void ArAction::deactivate(void) { myIsActive.store(false); }
void ArAction::setRobot(ArRobot *robot) { myRobot = robot; }
int ArAction::getNumArgs(void) const { return 0; }
const ArArg *ArAction::getArg(int) const { return NULL; }
ArArg *ArAction::getArg(int) { return NULL; }
const char *ArAction::getName(void) const { return myName.c_str(); }
const char *ArAction::getDescription(void) const { return myDescription.c_str(); }

void ArAction::log(bool verbose) const
{
    ariacompat::logLine("Action %s is %s", getName(), isActive() ? "active" : "not active");
    const ArActionDesired *desired = getDesired();
    if (verbose && desired != NULL)
        ariacompat::logLine("  vel %.0f (strength %.2f), delta heading %.1f (strength %.2f)",
                            desired->getVel(), desired->getVelStrength(),
                            desired->getDeltaHeading(), desired->getDeltaHeadingStrength());
}

struct ArActionGroup::Members {
    std::vector<ArAction *> actions;
};

ArActionGroup::ArActionGroup(ArRobot *robot) : myRobot(robot), myMembers(new Members) {}

ArActionGroup::~ArActionGroup() {}

void ArActionGroup::addAction(ArAction *action, int priority)
{
    if (action == NULL)
        return;
    myMembers->actions.push_back(action);
    if (myRobot != NULL)
        ariacompat::RobotAccess::core(myRobot).addAction(action, priority);
}

void ArActionGroup::activateExclusive(void)
{
    if (myRobot != NULL) {
        ariacompat::RobotAccess::core(myRobot).activateExclusive(myMembers->actions);
        return;
    }
    for (ArAction *a : myMembers->actions)
        a->activate();
}
