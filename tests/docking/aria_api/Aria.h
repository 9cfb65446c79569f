// Declarations only: exactly the ARIA 2.9.1 API the controller and undock
// may use, as listed in the project's notes on ARIA (same signatures, same
// defaults). Their sources are compiled against this header alone, which
// fails as soon as they use anything beyond that list.
//
// Like ARIA's own Aria.h it pulls in ariaUtil.h, whose code (as ARIA's does)
// trips our warning flags: it must be included as a system header.
#pragma once

#include <cstddef>
#include <cstdio>

#include "ariaUtil.h"

class ArRobot;
class ArArg;

class ArFunctor
{
public:
  virtual ~ArFunctor() {}
  virtual void invoke(void) = 0;
};

class ArGlobalFunctor : public ArFunctor
{
public:
  ArGlobalFunctor(void (*func)(void));
  virtual void invoke(void);
};

template <class Ret>
class ArRetFunctor : public ArFunctor
{
public:
  virtual ~ArRetFunctor() {}
  virtual void invoke(void) { invokeR(); }
  virtual Ret invokeR(void) = 0;
};

template <class Ret, class P1>
class ArRetFunctor1 : public ArRetFunctor<Ret>
{
public:
  virtual ~ArRetFunctor1() {}
  virtual Ret invokeR(void) = 0;
  virtual Ret invokeR(P1 p1) = 0;
};

template <class Ret, class P1>
class ArGlobalRetFunctor1 : public ArRetFunctor1<Ret, P1>
{
public:
  ArGlobalRetFunctor1(Ret (*func)(P1)) : myFunc(func), myP1() {}
  virtual Ret invokeR(void) { return (*myFunc)(myP1); }
  virtual Ret invokeR(P1 p1) { return (*myFunc)(p1); }

protected:
  Ret (*myFunc)(P1);
  P1 myP1;
};

template <class Ret, class T, class P1>
class ArRetFunctor1C : public ArRetFunctor1<Ret, P1>
{
public:
  ArRetFunctor1C(T &obj, Ret (T::*func)(P1)) : myObj(&obj), myFunc(func), myP1() {}
  ArRetFunctor1C(T *obj, Ret (T::*func)(P1)) : myObj(obj), myFunc(func), myP1() {}
  virtual Ret invokeR(void) { return (myObj->*myFunc)(myP1); }
  virtual Ret invokeR(P1 p1) { return (myObj->*myFunc)(p1); }

protected:
  T *myObj;
  Ret (T::*myFunc)(P1);
  P1 myP1;
};

class ArTypes
{
public:
  typedef char Byte;
  typedef short Byte2;
  typedef int Byte4;
  typedef unsigned char UByte;
  typedef unsigned short UByte2;
  typedef unsigned int UByte4;
};

class ArListPos
{
public:
  typedef enum { FIRST = 1, LAST = 2 } Pos;
};

class ArRobotPacket
{
public:
  ArTypes::UByte getID(void);
};

class ArActionDesired
{
public:
  static const double NO_STRENGTH, MIN_STRENGTH, MAX_STRENGTH;
  virtual ~ArActionDesired();
  virtual void setVel(double vel, double strength = MAX_STRENGTH);
  virtual void setDeltaHeading(double deltaHeading, double strength = MAX_STRENGTH);
  virtual void reset(void);
};

class ArAction
{
public:
  ArAction(const char *name, const char *description = "");
  virtual ~ArAction();
  virtual bool isActive(void) const;
  virtual void activate(void);
  virtual void deactivate(void);
  virtual ArActionDesired *fire(ArActionDesired currentDesired) = 0;
  virtual void setRobot(ArRobot *robot);
  virtual int getNumArgs(void) const;
  virtual const ArArg *getArg(int number) const;
  virtual ArArg *getArg(int number);
  virtual const char *getName(void) const;
  virtual const char *getDescription(void) const;
  virtual ArActionDesired *getDesired(void) { return NULL; }
  virtual const ArActionDesired *getDesired(void) const { return NULL; }
  virtual void log(bool verbose = true) const;

protected:
  ArRobot *myRobot;
};

class ArActionStallRecover : public ArAction
{
public:
  ArActionStallRecover(const char *name = "stall recover", double obstacleDistance = 225,
                       int cyclesToMove = 50, double speed = 150, double degreesToTurn = 45,
                       bool enabled = true);
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
};

class ArActionAvoidFront : public ArAction
{
public:
  ArActionAvoidFront(const char *name = "avoid front obstacles", double obstacleDistance = 450,
                     double avoidVelocity = 200, double turnAmount = 15,
                     bool useTableIRIfAvail = true);
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
};

class ArActionConstantVelocity : public ArAction
{
public:
  ArActionConstantVelocity(const char *name = "Constant Velocity", double velocity = 400);
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
};

class ArActionGroup
{
public:
  ArActionGroup(ArRobot *robot);
  virtual ~ArActionGroup();
  virtual void addAction(ArAction *action, int priority);
  virtual void activateExclusive(void);
};

class ArRangeDevice
{
public:
  virtual ~ArRangeDevice();
};

class ArSonarDevice : public ArRangeDevice
{
public:
  ArSonarDevice(size_t currentBufferSize = 24, size_t cumulativeBufferSize = 64,
                const char *name = "sonar");
};

class ArKeyHandler
{
public:
  ArKeyHandler(bool blocking = false, bool addAriaExitCB = true, FILE *stream = NULL,
               bool takeKeysInConstructor = true);
  ~ArKeyHandler();
  void restore(void);
};

class ArRobot
{
public:
  enum WaitState { WAIT_CONNECTED, WAIT_FAILED_CONN, WAIT_RUN_EXIT, WAIT_TIMEDOUT, WAIT_INTR,
                   WAIT_FAIL };
  ArRobot(const char *name = NULL, bool ignored = true, bool doSigHandle = true,
          bool normalInit = true, bool addAriaExitCallback = true);
  ~ArRobot();
  void runAsync(bool stopRunIfNotConnected, bool runNonThreadedPacketReader = false);
  bool isRunning(void) const;
  void stopRunning(bool doDisconnect = true);
  WaitState waitForRunExit(unsigned int msecs = 0);
  bool disconnect(void);
  void stop(void);
  bool com(unsigned char command);
  bool comInt(unsigned char command, short int argument);
  bool isLeftMotorStalled(void) const;
  bool isRightMotorStalled(void) const;
  bool isConnected(void) const;
  enum ChargeState {
    CHARGING_UNKNOWN = -1,
    CHARGING_NOT = 0,
    CHARGING_BULK = 1,
    CHARGING_OVERCHARGE = 2,
    CHARGING_FLOAT = 3,
    CHARGING_BALANCE = 4
  };
  ChargeState getChargeState(void) const;
  bool isChargerPowerGood(void) const;
  double getRealBatteryVoltage(void) const;
  bool setTransVelMax(double vel);
  void move(double distance);
  bool isMoveDone(double delta = 0.0);
  void setDeltaHeading(double deltaHeading);
  bool isHeadingDone(double delta = 0.0) const;
  int getClosestSonarRange(double startAngle, double endAngle) const;
  void addRangeDevice(ArRangeDevice *device);
  void attachKeyHandler(ArKeyHandler *keyHandler, bool exitOnEscape = true,
                        bool useExitNotShutdown = true);
  void addPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor,
                        ArListPos::Pos position = ArListPos::LAST);
  void remPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor);
  int lock();
  int unlock();
};

class ArSimpleConnector
{
public:
  ArSimpleConnector(int *argc, char **argv);
  ~ArSimpleConnector();
  bool parseArgs(void);
  void logOptions(void) const;
  bool connectRobot(ArRobot *robot);
};

class Aria
{
public:
  typedef enum { SIGHANDLE_SINGLE, SIGHANDLE_THREAD, SIGHANDLE_NONE } SigHandleMethod;
  static void init(SigHandleMethod method = SIGHANDLE_THREAD, bool initSockets = true,
                   bool sigHandleExitNotShutdown = true);
  static void shutdown();
  static void exit(int exitCode = 0);
  static void setKeyHandler(ArKeyHandler *keyHandler);
  static void addExitCallback(ArFunctor *functor, int position = 50);
};

class ArUtil
{
public:
  static void sleep(unsigned int ms);
};
