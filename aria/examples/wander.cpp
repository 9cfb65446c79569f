// wander: drives a robot around, avoiding obstacles, until Escape, a signal
// or the loss of the connection. Written only against ARIA 2.x's API, the
// way the docking controller uses it, so it builds with our layer and with a
// real ARIA alike.
//
//   wander [-rh HOST] [-rrtp PORT]      (robotsim listens on 8101 by default)
#include <stdio.h>

#include "Aria.h"

int main(int argc, char **argv)
{
  // The actions are declared before the robot so that they outlive its cycle.
  ArActionStallRecover recover("stall recover", 225, 50, 150, 45);
  ArActionAvoidFront avoidNear("Avoid Front Near", 225, 0, 15, true);
  ArActionAvoidFront avoidFar("avoid front obstacles", 450, 200, 15, true);
  ArActionConstantVelocity cruise("Constant Velocity", 400);
  ArRobot robot;
  ArSonarDevice sonar(24, 64, "sonar");
  ArActionGroup wander(&robot);
  wander.addAction(&recover, 100);
  wander.addAction(&avoidNear, 50);
  wander.addAction(&avoidFar, 45);
  wander.addAction(&cruise, 25);
  ArKeyHandler keyHandler(false, true);

  Aria::init(Aria::SIGHANDLE_THREAD, true, true);
  ArSimpleConnector connector(&argc, argv);
  if (!connector.parseArgs() || argc > 1)
  {
    connector.logOptions();
    keyHandler.restore();
    return 1;
  }
  Aria::setKeyHandler(&keyHandler);
  robot.attachKeyHandler(&keyHandler, true, true);
  robot.addRangeDevice(&sonar);
  if (!connector.connectRobot(&robot))
  {
    puts("wander: could not connect to the robot");
    Aria::shutdown();
    return 1;
  }
  robot.comInt(4, 1);   // motors on
  robot.runAsync(true);
  wander.activateExclusive();
  puts("wander: running (Escape or Ctrl-C ends)");
  fflush(stdout);

  while (robot.isRunning())
    ArUtil::sleep(50);

  Aria::shutdown();
  puts("wander: stopped");
  return 0;
}
