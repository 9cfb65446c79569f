// ARIA's priority resolver and action activation, without a robot link.
#include <gtest/gtest.h>

#include <map>

#include "Aria.h"
#include "internal/Resolver.h"

using ariacompat::resolveActions;

namespace {

// Asks for what the test sets and remembers what it was offered.
class ScriptedAction : public ArAction {
public:
    explicit ScriptedAction(const char *name = "scripted") : ArAction(name) {}
    ArActionDesired *fire(ArActionDesired currentDesired) override
    {
        ++fired;
        offered = currentDesired;
        if (answersNull)
            return NULL;
        return &want;
    }
    ScriptedAction &vel(double v, double s = 1.0)
    {
        want.setVel(v, s);
        return *this;
    }
    ScriptedAction &turn(double d, double s = 1.0)
    {
        want.setDeltaHeading(d, s);
        return *this;
    }
    ArActionDesired want;
    ArActionDesired offered;
    bool answersNull = false;
    int fired = 0;
};

using Actions = std::multimap<int, ArAction *>;

} // namespace

TEST(Resolver, HigherPriorityWinsAFullStrengthChannel)
{
    ScriptedAction high, low;
    high.vel(100);
    low.vel(400).turn(10);
    Actions actions{{50, &high}, {10, &low}};
    ArActionDesired r = resolveActions(actions);
    EXPECT_DOUBLE_EQ(r.getVel(), 100);
    EXPECT_DOUBLE_EQ(r.getVelStrength(), 1.0);
    // The heading channel was free, so the lower priority gets it.
    EXPECT_DOUBLE_EQ(r.getDeltaHeading(), 10);
    // The lower one saw the higher one's result.
    EXPECT_DOUBLE_EQ(low.offered.getVel(), 100);
    EXPECT_DOUBLE_EQ(high.offered.getVelStrength(), 0);
}

TEST(Resolver, EqualPrioritiesAreAveragedByStrength)
{
    ScriptedAction a, b, c;
    a.vel(200, 1.0);
    b.vel(400, 1.0);
    c.turn(30, 0.25);
    Actions actions{{20, &a}, {20, &b}, {20, &c}};
    ArActionDesired r = resolveActions(actions);
    EXPECT_DOUBLE_EQ(r.getVel(), 300);
    EXPECT_DOUBLE_EQ(r.getVelStrength(), 1.0); // 2.0 capped
    EXPECT_DOUBLE_EQ(r.getDeltaHeading(), 30);
    EXPECT_DOUBLE_EQ(r.getDeltaHeadingStrength(), 0.25);

    ScriptedAction weak, strong;
    weak.vel(0, 0.25);
    strong.vel(100, 0.75);
    Actions weighted{{5, &weak}, {5, &strong}};
    EXPECT_DOUBLE_EQ(resolveActions(weighted).getVel(), 75);
}

TEST(Resolver, LowerPrioritiesGetOnlyTheStrengthLeft)
{
    ScriptedAction top, middle, bottom;
    top.vel(100, 0.5);
    middle.vel(300, 1.0);
    bottom.vel(999, 1.0);
    Actions actions{{100, &top}, {50, &middle}, {10, &bottom}};
    ArActionDesired r = resolveActions(actions);
    // Half from the top, the remaining half from the middle; none from the bottom.
    EXPECT_DOUBLE_EQ(r.getVel(), 200);
    EXPECT_DOUBLE_EQ(r.getVelStrength(), 1.0);
    EXPECT_EQ(bottom.fired, 1); // still asked, but without effect
}

TEST(Resolver, NullAnswersAndInactiveActionsAskForNothing)
{
    ScriptedAction nothing, off, cruise;
    nothing.answersNull = true;
    off.vel(-500);
    off.deactivate();
    cruise.vel(250);
    Actions actions{{90, &nothing}, {80, &off}, {10, &cruise}};
    ArActionDesired r = resolveActions(actions);
    EXPECT_DOUBLE_EQ(r.getVel(), 250);
    EXPECT_EQ(off.fired, 0);
    EXPECT_EQ(nothing.fired, 1);

    bool anyActive = false;
    Actions none{{1, &nothing}};
    ArActionDesired empty = resolveActions(none, &anyActive);
    EXPECT_DOUBLE_EQ(empty.getVelStrength(), ArActionDesired::NO_STRENGTH);
    EXPECT_DOUBLE_EQ(empty.getDeltaHeadingStrength(), ArActionDesired::NO_STRENGTH);
    EXPECT_TRUE(anyActive); // active, though it asked for nothing
    Actions allOff{{1, &off}};
    resolveActions(allOff, &anyActive);
    EXPECT_FALSE(anyActive);
}

TEST(ActionDesired, StrengthsAreCappedAndTinyOnesCountAsNone)
{
    ArActionDesired d;
    d.setVel(100, 5.0);
    EXPECT_DOUBLE_EQ(d.getVelStrength(), ArActionDesired::MAX_STRENGTH);
    d.setDeltaHeading(5, ArActionDesired::MIN_STRENGTH / 2);
    EXPECT_DOUBLE_EQ(d.getDeltaHeadingStrength(), ArActionDesired::NO_STRENGTH);
    d.setVel(100); // default strength is MAX
    EXPECT_DOUBLE_EQ(d.getVelStrength(), 1.0);
    d.reset();
    EXPECT_DOUBLE_EQ(d.getVelStrength(), 0.0);

    // A level whose strengths are all below MIN does not disturb the result.
    ScriptedAction faint, cruise;
    faint.vel(-999, 1e-9);
    cruise.vel(300);
    Actions actions{{50, &faint}, {10, &cruise}};
    EXPECT_DOUBLE_EQ(resolveActions(actions).getVel(), 300);
}

TEST(ActionGroup, ActivateExclusiveSwitchesBetweenGroups)
{
    ArRobot robot;
    ScriptedAction *w1 = new ScriptedAction("wander 1");
    ScriptedAction *w2 = new ScriptedAction("wander 2");
    ScriptedAction *d1 = new ScriptedAction("dock");
    ArActionGroup wander(&robot), docking(&robot);
    wander.addAction(w1, 50);
    wander.addAction(w2, 25);
    docking.addAction(d1, 100);
    // Actions start active, as in ARIA.
    EXPECT_TRUE(d1->isActive());
    wander.activateExclusive();
    EXPECT_TRUE(w1->isActive());
    EXPECT_TRUE(w2->isActive());
    EXPECT_FALSE(d1->isActive());
    docking.activateExclusive();
    EXPECT_FALSE(w1->isActive());
    EXPECT_FALSE(w2->isActive());
    EXPECT_TRUE(d1->isActive());
    delete w1;
    delete w2;
    delete d1;
}
