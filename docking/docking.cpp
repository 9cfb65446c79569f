// The docking controller: wanders about avoiding obstacles until the vision
// program reports the station's right-hand markers, then steers onto the
// station by the left-hand markers and stops when a motor stalls against it.
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
// One more, with the robot stopped but nothing told to stop: the vision
// program gone (the link says so), status 1.
// The record is only ever read through the link, which refuses every access
// once sortOut has detached it, whichever thread is still running: on the
// Aria::exit path the cycle thread may still be firing the centering action.
#include "Aria.h"
#include "controller_link.h"

using controller_link::readWord;
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
  // Each column is read once per cycle, so the tests below agree.
  int ulCol = readWord(&TargetReport::ulCol);
  int llCol = readWord(&TargetReport::llCol);
  int target = ob_centro.load(std::memory_order_relaxed);

  if (ulCol != 0 && llCol != 0)
    c = (target - ((double)ulCol + (double)llCol) / 2) / 13;
  if (c > 5)
    c = 5;
  if (c < -5)
    c = -5;
  if (ulCol != 0 || llCol != 0)
  {
    velocita = 200;
  }
  else
  {
    velocita = 0;
    c = -2 * (c < 0 ? -c : c);
  }
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

// True when an interrupt arrived before ARIA's signal handling took over, or
// the vision program has already been told to stop.
bool stopRequested()
{
  return controller_link::interruptSignal() != 0 || controller_link::stopHasRun();
}

// Stops the robot's motion and closes the connection, once.
void releaseRobot(ArRobot &robot)
{
  static bool released = false;
  if (released)
    return;
  released = true;
  robot.lock();
  robot.stop();
  robot.unlock();
  robot.disconnect();
}

// Target column by distance and by the middle-left marker; with exactly one
// of the marker's words 0 the column stays as it was.
void chooseTargetColumn(double distance, int mlRow, int mlCol)
{
  bool mlMissing = mlRow == 0 && mlCol == 0;
  bool mlSeen = mlRow != 0 && mlCol != 0;
  if (distance > 2.5 && mlMissing)
    centro_pointer->setOB_Y(575);
  else if (distance > 2.5 && mlSeen)
    centro_pointer->setOB_Y(350);
  else if (distance <= 2.5 && mlMissing)
    centro_pointer->setOB_Y(540);
  else if (distance <= 2.5 && mlSeen)
    centro_pointer->setOB_Y(300);
}

int main(int argc, char **argv)
{
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

  ArKeyHandler keyHandler(false, true);

  // Registered before ARIA takes the signals over, so that no signal can end
  // the process through ARIA without the vision program being told.
  Aria::addExitCallback(&stopVisionOnExitCB);
  Aria::init(Aria::SIGHANDLE_THREAD, true, true);
  if (stopRequested())
  {
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

  if (!connector.connectRobot(&robot))
  {
    puts("Could not connect to robot... exiting");
    Aria::shutdown();
    return 1;
  }

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

    // The vision program gone or its lock failing: nothing to steer by.
    if (!controller_link::acknowledgeReport())
    {
      releaseRobot(robot);
      Aria::shutdown();
      return 1;
    }
    // One read of each word per pass, so that the steps below agree.
    int urRow = readWord(&TargetReport::urRow);
    int lrRow = readWord(&TargetReport::lrRow);
    int mlRow = readWord(&TargetReport::mlRow);
    int mlCol = readWord(&TargetReport::mlCol);

    if (urRow != 0 && lrRow != 0 && indice == 0)
      dockingMode();

    // The row difference is taken in 64 bits: the words come from another
    // process and must not overflow whatever they hold.
    if (lrRow != 0 && urRow != 0)
      distanza.store(106.0 / ((long long)lrRow - urRow), std::memory_order_relaxed);
    double distance = distanza.load(std::memory_order_relaxed);

    chooseTargetColumn(distance, mlRow, mlCol);

    robot.lock();
    bool stalled = robot.isLeftMotorStalled() || robot.isRightMotorStalled();
    robot.unlock();
    if (stalled && distance <= 2.0 && urRow == 0 && lrRow == 0)
    {
      puts("\nRobot arrivato alla stazione....ora si sconette");
      exitdocking = 1;
      releaseRobot(robot);
    }
  }

  // Lost connection or an interrupt: the robot may still be moving.
  releaseRobot(robot);
  Aria::shutdown();
  sortOut(0);
  return 0;
}
