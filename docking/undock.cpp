// undock: backs the robot straight out of its station, turns it, stops and
// disconnects, so that it can go back to work.
//
//   undock [--distance M] [--turn DEG] [--force] [ARIA connection options]
//
// Uses nothing but ARIA's public API, like the docking controller, so that it
// builds against our ARIA-compatible layer and against ARIA 2.9.1 alike.
// Exit status 0 when done; 1 when it stopped early (obstacle behind, motor
// stall, lost connection, time-out, a signal, not on the charger without
// --force, no robot); 2 for a bad command line.
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "Aria.h"

namespace {

const double kDefaultDistance = 0.6; // m
const double kDefaultTurn = 180.0;   // degrees
const double kBackingSpeed = 150.0;  // mm/s
// Something closer than this to a rear sonar stops the backing (mm, as the
// sonar measures from its transducer at the robot's rear).
const int kRearClearance = 300;
const unsigned int kLoopMs = 50;

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

// Our own handlers, installed with ARIA's signal handling switched off, so
// that Ctrl-C stops the robot here, with ARIA 2.9.1 and with our layer alike.
// Every signal that would otherwise end the process while the robot moves
// (SIGQUIT from Ctrl-\, SIGPIPE from a closed output pipe) stops it the same
// way.
void installInterruptHandlers()
{
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
  for (int signalNumber : stopSignals)
    sigaction(signalNumber, &action, NULL);
}

// Milliseconds of the monotonic clock: the patience is time, however long
// each pass of the waiting loop takes.
long long nowMs()
{
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

struct Options
{
  double distance = kDefaultDistance;
  double turn = kDefaultTurn;
  bool force = false;
};

bool parseNumber(const char *text, double &value)
{
  char *end = NULL;
  value = strtod(text, &end);
  return end != text && *end == '\0' && isfinite(value);
}

// Our options, from what the connector left in argv.
bool parseOptions(int argc, char **argv, Options &o)
{
  for (int i = 1; i < argc; ++i)
  {
    const char *a = argv[i];
    double v = 0;
    if (strcmp(a, "--distance") == 0 && i + 1 < argc && parseNumber(argv[i + 1], v) && v > 0 &&
        v <= 5.0)
      o.distance = v, ++i;
    else if (strcmp(a, "--turn") == 0 && i + 1 < argc && parseNumber(argv[i + 1], v) &&
             fabs(v) <= 180.0)
      o.turn = v, ++i;
    else if (strcmp(a, "--force") == 0)
      o.force = true;
    else
    {
      fprintf(stderr, "undock: bad option '%s'\n", a);
      return false;
    }
  }
  return true;
}

void usage(ArSimpleConnector &connector)
{
  fputs("usage: undock [--distance M] [--turn DEG] [--force] [connection options]\n"
        "  --distance M   back out this far, at 150 mm/s (default 0.6, at most 5)\n"
        "  --turn DEG     then turn by this much, counter-clockwise positive (default 180,\n"
        "                 at most 180 either way)\n"
        "  --force        undock even when the robot reports that it is not on its charger\n",
        stderr);
  connector.logOptions();
}

enum Outcome { DONE, STOPPED };

// Why the robot must stop now, or NULL. While backing, the rear sonars count.
const char *reasonToStop(ArRobot &robot, bool backing, int *rear)
{
  if (interrupted)
    return "interrupted";
  robot.lock();
  bool connected = robot.isConnected() && robot.isRunning();
  bool stalled = robot.isLeftMotorStalled() || robot.isRightMotorStalled();
  // The four sonars facing backwards: 150 to 170 degrees either side.
  *rear = robot.getClosestSonarRange(135, -135);
  robot.unlock();
  if (!connected)
    return "lost the connection to the robot";
  if (stalled)
    return "a drive motor stalled";
  if (backing && *rear >= 0 && *rear < kRearClearance)
    return "obstacle behind";
  return NULL;
}

// Waits until `done` reports the motion finished, or something stops it.
Outcome follow(ArRobot &robot, bool backing, bool (*done)(ArRobot &), unsigned int patienceMs)
{
  const long long deadline = nowMs() + patienceMs;
  for (;;)
  {
    int rear = -1;
    const char *why = reasonToStop(robot, backing, &rear);
    if (why == NULL && nowMs() > deadline)
      why = "the robot did not get there in time";
    if (why != NULL)
    {
      if (strcmp(why, "obstacle behind") == 0)
        printf("undock: stopped: obstacle %.2f m behind the robot\n", rear / 1000.0);
      else
        printf("undock: stopped: %s\n", why);
      return STOPPED;
    }
    robot.lock();
    bool finished = done(robot);
    robot.unlock();
    if (finished)
      return DONE;
    ArUtil::sleep(kLoopMs);
  }
}

bool moveDone(ArRobot &robot) { return robot.isMoveDone(); }
bool headingDone(ArRobot &robot) { return robot.isHeadingDone(); }

const char *chargeStateName(ArRobot::ChargeState state)
{
  switch (state)
  {
  case ArRobot::CHARGING_NOT: return "not charging";
  case ArRobot::CHARGING_BULK: return "bulk";
  case ArRobot::CHARGING_OVERCHARGE: return "overcharge";
  case ArRobot::CHARGING_FLOAT: return "float";
  case ArRobot::CHARGING_BALANCE: return "balance";
  case ArRobot::CHARGING_UNKNOWN: break;
  }
  return "unknown";
}

// Stops the robot, ends its cycle (with the connection: a disconnect under a
// running cycle would leave the cycle using a closed connection) and ARIA.
int finish(ArRobot &robot, int status)
{
  robot.lock();
  robot.stop();
  robot.unlock();
  robot.stopRunning(true);
  Aria::shutdown();
  return status;
}

} // namespace

int main(int argc, char **argv)
{
  installInterruptHandlers();
  Aria::init(Aria::SIGHANDLE_NONE, true, true);
  ArRobot robot;
  ArSimpleConnector connector(&argc, argv);
  Options options;
  if (!connector.parseArgs() || !parseOptions(argc, argv, options))
  {
    usage(connector);
    return 2;
  }
  if (!connector.connectRobot(&robot))
  {
    puts("undock: could not connect to the robot");
    Aria::shutdown();
    return 1;
  }
  robot.runAsync(true);
  // The charger bit comes with the status packets: give the first ones time
  // to arrive (the robot sends one every 100 ms).
  ArUtil::sleep(300);

  robot.lock();
  bool powerGood = robot.isChargerPowerGood();
  ArRobot::ChargeState state = robot.getChargeState();
  double volts = robot.getRealBatteryVoltage();
  robot.unlock();
  if (powerGood)
    printf("undock: on the charger (%s, %.1f V)\n", chargeStateName(state), volts);
  else if (state != ArRobot::CHARGING_UNKNOWN)
  {
    // The robot has a charger to report and is not on it.
    if (!options.force)
    {
      puts("undock: the robot is not on its charger; nothing done (--force undocks anyway)");
      return finish(robot, 1);
    }
    puts("undock: the robot is not on its charger; undocking anyway (--force)");
  }
  if (interrupted)
  {
    puts("undock: stopped: interrupted");
    return finish(robot, 1);
  }

  robot.comInt(4, 1); // motors on
  robot.lock();
  robot.setTransVelMax(kBackingSpeed);
  robot.move(-options.distance * 1000.0);
  robot.unlock();
  // Twice the time at full speed, and a few seconds to speed up and settle.
  unsigned int backingMs = (unsigned int)(2000.0 * options.distance * 1000.0 / kBackingSpeed) + 5000;
  if (follow(robot, true, moveDone, backingMs) != DONE)
    return finish(robot, 1);

  if (options.turn != 0)
  {
    robot.lock();
    robot.setDeltaHeading(options.turn);
    robot.unlock();
    if (follow(robot, false, headingDone, 15000) != DONE)
      return finish(robot, 1);
  }
  printf("undock: backed out %.2f m and turned %.0f degrees\n", options.distance, options.turn);
  return finish(robot, 0);
}
