// The library half of a stand-in ARIA install (scripts/checks/aria-system):
// one definition for each declaration of Aria.h beside this file, doing
// nothing, so that the controller links against the install as it would
// against libAria. Programs linked with it are built, never run.
#include "Aria.h"

ArGlobalFunctor::ArGlobalFunctor(void (*)(void)) {}
void ArGlobalFunctor::invoke(void) {}

ArTypes::UByte ArRobotPacket::getID(void) { return 0; }

const double ArActionDesired::NO_STRENGTH = 0.0;
const double ArActionDesired::MIN_STRENGTH = 0.000001;
const double ArActionDesired::MAX_STRENGTH = 1.0;
ArActionDesired::~ArActionDesired() {}
void ArActionDesired::setVel(double, double) {}
void ArActionDesired::setDeltaHeading(double, double) {}
void ArActionDesired::reset(void) {}

ArAction::ArAction(const char *, const char *) : myRobot(NULL) {}
ArAction::~ArAction() {}
bool ArAction::isActive(void) const { return false; }
void ArAction::activate(void) {}
void ArAction::deactivate(void) {}
void ArAction::setRobot(ArRobot *robot) { myRobot = robot; }
int ArAction::getNumArgs(void) const { return 0; }
const ArArg *ArAction::getArg(int) const { return NULL; }
ArArg *ArAction::getArg(int) { return NULL; }
const char *ArAction::getName(void) const { return ""; }
const char *ArAction::getDescription(void) const { return ""; }
void ArAction::log(bool) const {}

ArActionStallRecover::ArActionStallRecover(const char *name, double, int, double, double, bool)
    : ArAction(name)
{
}
ArActionDesired *ArActionStallRecover::fire(ArActionDesired) { return NULL; }

ArActionAvoidFront::ArActionAvoidFront(const char *name, double, double, double, bool) : ArAction(name) {}
ArActionDesired *ArActionAvoidFront::fire(ArActionDesired) { return NULL; }

ArActionConstantVelocity::ArActionConstantVelocity(const char *name, double) : ArAction(name) {}
ArActionDesired *ArActionConstantVelocity::fire(ArActionDesired) { return NULL; }

ArActionGroup::ArActionGroup(ArRobot *) {}
ArActionGroup::~ArActionGroup() {}
void ArActionGroup::addAction(ArAction *, int) {}
void ArActionGroup::activateExclusive(void) {}

ArRangeDevice::~ArRangeDevice() {}
ArSonarDevice::ArSonarDevice(size_t, size_t, const char *) {}

ArKeyHandler::ArKeyHandler(bool, bool, FILE *, bool) {}
ArKeyHandler::~ArKeyHandler() {}
void ArKeyHandler::restore(void) {}

ArRobot::ArRobot(const char *, bool, bool, bool, bool) {}
ArRobot::~ArRobot() {}
void ArRobot::runAsync(bool, bool) {}
bool ArRobot::isRunning(void) const { return false; }
void ArRobot::stopRunning(bool) {}
ArRobot::WaitState ArRobot::waitForRunExit(unsigned int) { return WAIT_RUN_EXIT; }
bool ArRobot::disconnect(void) { return false; }
void ArRobot::stop(void) {}
bool ArRobot::com(unsigned char) { return false; }
bool ArRobot::comInt(unsigned char, short int) { return false; }
bool ArRobot::isLeftMotorStalled(void) const { return false; }
bool ArRobot::isRightMotorStalled(void) const { return false; }
bool ArRobot::isChargerPowerGood(void) const { return false; }
void ArRobot::addRangeDevice(ArRangeDevice *) {}
void ArRobot::attachKeyHandler(ArKeyHandler *, bool, bool) {}
void ArRobot::addPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *, ArListPos::Pos) {}
void ArRobot::remPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *) {}
int ArRobot::lock() { return 0; }
int ArRobot::unlock() { return 0; }

ArSimpleConnector::ArSimpleConnector(int *, char **) {}
ArSimpleConnector::~ArSimpleConnector() {}
bool ArSimpleConnector::parseArgs(void) { return false; }
void ArSimpleConnector::logOptions(void) const {}
bool ArSimpleConnector::connectRobot(ArRobot *) { return false; }

void Aria::init(SigHandleMethod, bool, bool) {}
void Aria::shutdown() {}
void Aria::exit(int) {}
void Aria::setKeyHandler(ArKeyHandler *) {}
void Aria::addExitCallback(ArFunctor *, int) {}

void ArUtil::sleep(unsigned int) {}
