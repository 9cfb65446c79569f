// ArRobot: the program's handle on the robot; the work is done by RobotCore.
#include "Aria.h"

#include "internal/Access.h"

ArRobot::ArRobot(const char *name, bool, bool, bool, bool addAriaExitCallback)
    : myCore(new ariacompat::RobotCore(this, name, addAriaExitCallback))
{
}

ArRobot::~ArRobot() {}

void ArRobot::runAsync(bool stopRunIfNotConnected, bool)
{
    myCore->runAsync(stopRunIfNotConnected);
}

bool ArRobot::isRunning(void) const { return myCore->isRunning(); }
bool ArRobot::disconnect(void) { return myCore->disconnect(); }
void ArRobot::stop(void) { myCore->stop(); }
bool ArRobot::com(unsigned char command) { return myCore->com(command); }

bool ArRobot::comInt(unsigned char command, short int argument)
{
    return myCore->comInt(command, argument);
}

bool ArRobot::isLeftMotorStalled(void) const { return myCore->isLeftMotorStalled(); }
bool ArRobot::isRightMotorStalled(void) const { return myCore->isRightMotorStalled(); }
bool ArRobot::isConnected(void) const { return myCore->isConnected(); }

ArRobot::ChargeState ArRobot::getChargeState(void) const
{
    return static_cast<ChargeState>(myCore->chargeState());
}

bool ArRobot::isChargerPowerGood(void) const { return myCore->chargerPowerGood(); }
double ArRobot::getRealBatteryVoltage(void) const { return myCore->batteryVoltage(); }
bool ArRobot::setTransVelMax(double vel) { return myCore->setTransVelMax(vel); }
void ArRobot::move(double distance) { myCore->move(distance); }
bool ArRobot::isMoveDone(double delta) { return myCore->isMoveDone(delta); }
void ArRobot::setHeading(double heading) { myCore->setHeading(heading, false); }
void ArRobot::setDeltaHeading(double deltaHeading) { myCore->setHeading(deltaHeading, true); }
bool ArRobot::isHeadingDone(double delta) const { return myCore->isHeadingDone(delta); }

int ArRobot::getClosestSonarRange(double startAngle, double endAngle) const
{
    return myCore->closestSonarRange(startAngle, endAngle);
}

void ArRobot::addRangeDevice(ArRangeDevice *device) { myCore->addRangeDevice(device); }

void ArRobot::attachKeyHandler(ArKeyHandler *keyHandler, bool exitOnEscape, bool)
{
    myCore->attachKeyHandler(keyHandler, exitOnEscape);
}

int ArRobot::lock() { return myCore->lockUser(); }
int ArRobot::unlock() { return myCore->unlockUser(); }

void ArRobot::stopRunning(bool doDisconnect) { myCore->stopRunningThenDisconnect(doDisconnect); }

ArRobot::WaitState ArRobot::waitForRunExit(unsigned int msecs)
{
  if (myCore->isCycleThread())
    return WAIT_FAIL; // the cycle would wait for itself
  return myCore->waitForRunExit(std::chrono::milliseconds(msecs)) ? WAIT_RUN_EXIT : WAIT_TIMEDOUT;
}

void ArRobot::addPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor, ArListPos::Pos position)
{
  myCore->addPacketHandler(functor, position == ArListPos::FIRST);
}

void ArRobot::remPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor)
{
  myCore->remPacketHandler(functor);
}
