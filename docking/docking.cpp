// The docking controller: wanders about avoiding obstacles until the vision
// program reports the station's right-hand markers, then steers onto the
// station by the left-hand markers and stops when a motor stalls against it
// (or, while docking, when the robot reports its charger's power).
//
// Uses nothing but ARIA's public API and the target report link, so that it
// builds unchanged against our ARIA-compatible layer and against ARIA 2.9.1.
//
// Ways out, each with the robot stopped and the vision program told to stop
// exactly once (sortOut runs only once, whoever calls it):
// - arrival, lost connection, or an interrupt noted before ARIA took the
//   signals over: the control loop ends and main's end path runs;
// - a signal once ARIA handles signals: ARIA either ends the robot's cycle
//   (our layer, while the cycle runs; main's end path follows) or ends the
//   process through Aria::exit (ARIA 2.9.1), whose exit callbacks include
//   stopVisionOnExit;
// - Escape: Aria::exit from the robot's cycle thread, as above.
// Once ARIA's exit has begun, main leaves the ending to it and unwinds
// nothing: the exit callbacks still use the robot and the key handler.
// One more, status 1, with the robot stopped: the vision program gone (its
// semaphore set removed: nobody to tell) or silent for five seconds since the
// connection (told to stop, so that it does not run on alone).
// The record is only ever read through the link, which refuses every access
// once sortOut has detached it, whichever thread is still running: on the
// Aria::exit path the cycle thread may still be firing the centering action.
#include "Aria.h"
#include "controller_link.h"
#include "report_meaning.h"

using controller_link::sortOut;

class ActionCentro;

int indice = 0;      // 0 wander, 1 docking
int exitdocking = 0; // 1 once the robot has arrived
int timeout = 0;     // control cycles left before docking falls back to wandering
// Last distance estimate (metres), written by the control loop and read by
// the centering action in the robot's cycle thread.
std::atomic<double> distanza(0.0);
ArActionGroup *docking = NULL;
ArActionGroup *wander = NULL;
ActionCentro *centro_pointer = NULL;
ArRobot *robot_pointer = NULL; // for the mode switches, which take its lock

// Steers so that the mean column of the upper-left and lower-left markers
// sits at the target column ob_centro; with neither marker in sight it stops
// and turns clockwise on the spot.
class ActionCentro : public ArAction
{
public:
  ActionCentro();
  virtual ~ActionCentro() {}
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
  virtual void setRobot(ArRobot *robot);
  void setOB_Y(int ob_y);

private:
  double c;                  // last heading change (degrees), kept between cycles
  int velocita;              // last speed (mm/s)
  std::atomic<int> ob_centro; // target column; set by the control loop

protected:
  ArActionDesired myDesired;
};

ActionCentro::ActionCentro() : ArAction("Centro", "")
{
  c = 0.0;
  ob_centro.store(350, std::memory_order_relaxed);
  velocita = 200;
}

ArActionDesired *ActionCentro::fire(ArActionDesired /*currentDesired*/)
{
  myDesired.reset();
  // Both columns from one reading, so the tests below agree and a stale
  // report reads as no marker in both.
  TargetReport seen;
  controller_link::readPositions(&seen);
  int ulCol = seen.ulCol;
  int llCol = seen.llCol;
  int target = ob_centro.load(std::memory_order_relaxed);

  report_meaning::Centering step = report_meaning::centeringStep(c, target, ulCol, llCol);
  c = step.heading;
  velocita = step.speed;
  printf("\n %f %d %f", c, target, distanza.load(std::memory_order_relaxed));
  myDesired.setDeltaHeading(c, ArActionDesired::MAX_STRENGTH);
  myDesired.setVel(velocita, ArActionDesired::MAX_STRENGTH);
  return &myDesired;
}

void ActionCentro::setRobot(ArRobot *robot)
{
  ArAction::setRobot(robot);
}

void ActionCentro::setOB_Y(int ob_y)
{
  ob_centro.store(ob_y, std::memory_order_relaxed);
}

// The robot's cycle thread runs the actions, so switching groups takes the
// robot's lock.
void wanderMode()
{
  robot_pointer->lock();
  wander->activateExclusive();
  robot_pointer->unlock();
  indice = 0;
  puts("\n== Wander Mode ==");
  printf("    The robot will now just wander around avoiding things.\n ");
}

void dockingMode()
{
  robot_pointer->lock();
  docking->activateExclusive();
  robot_pointer->unlock();
  indice = 1;
  timeout = 500;
  puts("\n== Docking Mode ==");
}

// Stops the vision program when ARIA ends the process itself (signal
// thread, Escape) without returning to main.
void stopVisionOnExit()
{
  sortOut(0);
}
ArGlobalFunctor stopVisionOnExitCB(&stopVisionOnExit);

// Set by the first of ARIA's exit callbacks (they run highest position
// first): from then on Aria::exit ends the process.
std::atomic<bool> ariaExiting(false);
void noteAriaExit()
{
  ariaExiting.store(true);
}
ArGlobalFunctor noteAriaExitCB(&noteAriaExit);

// Called where main would start unwinding: once ARIA's exit is under way it
// ends the process (with its own status 0), so main waits for that.
void waitIfAriaExits()
{
  while (ariaExiting.load())
    ArUtil::sleep(100);
}

// A simulator answers the status request of every control pass with a
// SIMSTAT packet (0x62), and after command 230 sends its simulated laser's
// scans (0x60, or 0x61 in the extended form) every cycle. Nothing here uses
// them; they are taken so that ARIA does not report them as unwanted. The
// handler is a heap object never freed, like the actions: the robot's cycle
// may call it until the process ends.
bool takeSimStat(ArRobotPacket *packet)
{
  int id = packet->getID();
  return id == 0x60 || id == 0x61 || id == 0x62;
}
ArRetFunctor1<bool, ArRobotPacket *> *simStatHandler = NULL;

// True when an interrupt arrived before ARIA's signal handling took over,
// the vision program has already been told to stop, or ARIA is exiting.
bool stopRequested()
{
  return controller_link::interruptSignal() != 0 || controller_link::stopHasRun() ||
         ariaExiting.load();
}

// Stops the robot's motion, ends the robot's cycle and then closes the
// connection, once. Closing it under a running cycle would leave the cycle
// reading a closed port until it noticed.
void releaseRobot(ArRobot &robot)
{
  static bool released = false;
  if (released)
    return;
  released = true;
  robot.lock();
  robot.stop();
  robot.unlock();
  robot.stopRunning(true);
}

// Target column by distance and by the middle-left marker; with exactly one
// of the marker's words 0 the column stays as it was.
void chooseTargetColumn(double distance, int mlRow, int mlCol)
{
  // No target column is -1, so -1 back means the table gave none.
  const int unchanged = -1;
  int column = report_meaning::targetColumn(distance, mlRow, mlCol, unchanged);
  if (column != unchanged)
    centro_pointer->setOB_Y(column);
}

int main(int argc, char **argv)
{
  // Each line reaches a pipe, a log file or a service manager as it is
  // written, not when the program ends.
  setvbuf(stdout, NULL, _IOLBF, 0);
  controller_link::installInterruptHandlers();
  // An interrupt before the record is attached ends the controller through
  // sortOut, whose lock ends the process quietly with status 0.
  if (controller_link::interruptSignal() != 0)
    sortOut(controller_link::interruptSignal());
  controller_link::initializeSemShm();

  ArRobot robot;
  ArSonarDevice sonar(24, 64, "sonar");
  robot_pointer = &robot;

  wander = new ArActionGroup(&robot);
  wander->addAction(new ArActionStallRecover("stall recover", 225, 50, 150, 45), 100);
  wander->addAction(new ArActionAvoidFront("Avoid Front Near", 225, 0, 15, true), 50);
  wander->addAction(new ArActionAvoidFront("avoid front obstacles", 450, 200, 15, true), 45);
  wander->addAction(new ArActionConstantVelocity("Constant Velocity", 400), 25);

  docking = new ArActionGroup(&robot);
  centro_pointer = new ActionCentro();
  docking->addAction(centro_pointer, 100);

  Aria::addExitCallback(&noteAriaExitCB, 1000);
  ArKeyHandler keyHandler(false, true);

  // Registered before ARIA takes the signals over, so that no signal can end
  // the process through ARIA without the vision program being told.
  Aria::addExitCallback(&stopVisionOnExitCB);
  Aria::init(Aria::SIGHANDLE_THREAD, true, true);
  if (stopRequested())
  {
    waitIfAriaExits();
    Aria::shutdown();
    sortOut(controller_link::interruptSignal());
    return 0;
  }

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
  simStatHandler = new ArGlobalRetFunctor1<bool, ArRobotPacket *>(&takeSimStat);
  robot.addPacketHandler(simStatHandler);

  if (!connector.connectRobot(&robot))
  {
    waitIfAriaExits();
    puts("Could not connect to robot... exiting");
    Aria::shutdown();
    return 1;
  }

  controller_link::startWatching();
  robot.comInt(4, 1);
  robot.comInt(92, 0);
  robot.runAsync(true);
  robot.comInt(230, 1);
  robot.com(225);
  wanderMode();

  while (robot.isRunning() && exitdocking != 1 && !stopRequested())
  {
    ArUtil::sleep(50);

    timeout--;
    if (timeout == 0)
      wanderMode();

    robot.lock();
    robot.com(237);
    robot.unlock();

    // The vision program gone, silent or its lock failing: nothing to steer
    // by. A silent one is still told to stop (sortOut does nothing when
    // nobody is left to tell).
    if (!controller_link::acknowledgeReport())
    {
      waitIfAriaExits();
      releaseRobot(robot);
      Aria::shutdown();
      sortOut(0);
      return 1;
    }
    // One reading per pass, so that the steps below agree; stale reports
    // read as no markers and are never taken for an arrival.
    TargetReport seen;
    bool fresh = controller_link::readPositions(&seen);
    int urRow = seen.urRow;
    int lrRow = seen.lrRow;
    int mlRow = seen.mlRow;
    int mlCol = seen.mlCol;

    if (urRow != 0 && lrRow != 0 && indice == 0)
      dockingMode();

    double estimate;
    if (report_meaning::distanceEstimate(urRow, lrRow, &estimate))
      distanza.store(estimate, std::memory_order_relaxed);
    double distance = distanza.load(std::memory_order_relaxed);

    chooseTargetColumn(distance, mlRow, mlCol);

    robot.lock();
    bool stalled = robot.isLeftMotorStalled() || robot.isRightMotorStalled();
    // A robot that feels its charger's power has arrived, even with the outer
    // markers still in the row band (a camera a degree or a centimetre off):
    // pushing on, its fallback would drive it off the charger. Robots that
    // report no charger never set the bit and keep the marker test alone.
    bool charging = indice == 1 && robot.isChargerPowerGood();
    robot.unlock();
    if ((stalled && distance <= 2.0 && fresh && urRow == 0 && lrRow == 0) || charging)
    {
      puts("\nRobot arrivato alla stazione....ora si sconette");
      exitdocking = 1;
      releaseRobot(robot);
    }
  }

  waitIfAriaExits();
  // Lost connection or an interrupt: the robot may still be moving.
  releaseRobot(robot);
  Aria::shutdown();
  sortOut(0);
  return 0;
}
