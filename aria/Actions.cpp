// The stock actions the controller uses.
#include "Aria.h"

#include <cmath>

#include "internal/Access.h"
#include "protocol/P3dx.h"

using ariacompat::RobotAccess;

// Sector in front searched for obstacles (degrees either side of the heading).
static const double kFrontSector = 70;

ArActionConstantVelocity::ArActionConstantVelocity(const char *name, double velocity)
    : ArAction(name, "Sets the robot to a constant velocity."), myVelocity(velocity)
{
}

ArActionConstantVelocity::~ArActionConstantVelocity() {}

ArActionDesired *ArActionConstantVelocity::fire(ArActionDesired)
{
    myDesired.reset();
    myDesired.setVel(myVelocity);
    myDesired.setDeltaHeading(0);
    return &myDesired;
}

ArActionAvoidFront::ArActionAvoidFront(const char *name, double obstacleDistance,
                                       double avoidVelocity, double turnAmount,
                                       bool useTableIRIfAvail)
    : ArAction(name, "Slows down and turns away from obstacles in front of the robot."),
      myObsDist(obstacleDistance), myAvoidVel(avoidVelocity), myTurnAmount(turnAmount),
      myUseTableIRIfAvail(useTableIRIfAvail), myTurning(0)
{
}

ArActionAvoidFront::~ArActionAvoidFront() {}

ArActionDesired *ArActionAvoidFront::fire(ArActionDesired currentDesired)
{
    myDesired.reset();
    if (myRobot == NULL)
        return NULL;
    // A higher priority that already took the whole heading ends our turn.
    if (currentDesired.getDeltaHeadingStrength() >= ArActionDesired::MAX_STRENGTH)
        myTurning = 0;
    double angle = 0;
    double dist = RobotAccess::core(myRobot).closestCurrentReading(-kFrontSector, kFrontSector,
                                                                   &angle) -
                  robotproto::kRobotRadius;
    if (dist > myObsDist) {
        myTurning = 0;
        return NULL;
    }
    // Pick the side once per obstacle and keep it while the obstacle lasts,
    // so the robot does not swing back and forth in front of it.
    if (myTurning == 0)
        myTurning = angle > 10 ? -1 : 1;
    myDesired.setDeltaHeading(myTurnAmount * myTurning);
    if (dist > myObsDist / 2)
        myDesired.setVel(myAvoidVel * dist / myObsDist);
    else
        myDesired.setVel(0);
    return &myDesired;
}

ArActionStallRecover::ArActionStallRecover(const char *name, double obstacleDistance,
                                           int cyclesToMove, double speed, double degreesToTurn,
                                           bool enabled)
    : ArAction(name, "Moves the robot away from what stalled its motors."),
      myObstacleDistance(obstacleDistance), myCyclesToMove(cyclesToMove), mySpeed(speed),
      myDegreesToTurn(degreesToTurn), myEnabled(enabled), myCyclesLeft(0), myDirection(0),
      myTargetHeading(0), myTurnSide(1)
{
}

ArActionStallRecover::~ArActionStallRecover() {}

ArActionDesired *ArActionStallRecover::fire(ArActionDesired)
{
    myDesired.reset();
    if (myRobot == NULL || !myEnabled)
        return NULL;
    ariacompat::RobotCore &core = RobotAccess::core(myRobot);
    double radius = robotproto::kRobotRadius;
    bool frontBlocked =
        core.closestCurrentReading(-kFrontSector, kFrontSector, NULL) - radius < myObstacleDistance;
    bool backBlocked = core.closestCurrentReading(180 - kFrontSector, kFrontSector - 180, NULL) -
                           radius <
                       myObstacleDistance;
    if (myCyclesLeft == 0) {
        if (!myRobot->isLeftMotorStalled() && !myRobot->isRightMotorStalled())
            return NULL;
        myCyclesLeft = myCyclesToMove > 0 ? myCyclesToMove : 1;
        myDirection = !backBlocked ? -1 : (!frontBlocked ? 1 : 0);
        myTargetHeading = core.heading() + myTurnSide * myDegreesToTurn;
        // The next recovery turns the other way, so repeated stalls do not
        // keep the robot turning into the same corner.
        myTurnSide = -myTurnSide;
    }
    --myCyclesLeft;
    // Never move into something within the obstacle distance.
    double direction = myDirection;
    if ((direction < 0 && backBlocked) || (direction > 0 && frontBlocked))
        direction = 0;
    myDesired.setVel(direction * mySpeed);
    myDesired.setDeltaHeading(ariacompat::normalizeDegrees(myTargetHeading - core.heading()));
    return &myDesired;
}
