// Library-wide state: the robots that exist (for signal handling and
// shutdown) and the exit callbacks.
#pragma once

class ArFunctor;

namespace ariacompat {

class RobotCore;

void registerRobot(RobotCore *robot);
void unregisterRobot(RobotCore *robot);
// Asks every running robot cycle to stop its robot, disconnect and end.
// Returns how many were running.
int requestEndOfAllCycles();
// Ends and joins every robot cycle and disconnects every robot.
void stopAllRobots();
void removeExitCallback(ArFunctor *functor);

} // namespace ariacompat
