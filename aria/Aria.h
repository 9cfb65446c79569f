// ARIA-compatible robot library: the part of the ARIA 2.x C++ API that the
// docking controller uses, with ARIA's own declarations, so that the same
// program builds against this layer or against an installed ARIA 2.9.1.
//
// Units are ARIA's: millimetres, millimetres per second, degrees (positive
// turns counter-clockwise, to the left).
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ArFunctor.h"

class ArArg;
class ArRobot;
class ArKeyHandler;

// Implementation details of this layer; not part of ARIA's API.
namespace ariacompat {
class RobotAccess;
class RangeAccess;
class KeyAccess;
class RobotCore;
class RangeBuffers;
class PacketAccess;
} // namespace ariacompat

// Integer types of the robot's packets.
class ArTypes
{
public:
  typedef char Byte;
  typedef short Byte2;
  typedef int Byte4;
  typedef long long Byte8;
  typedef unsigned char UByte;
  typedef unsigned short UByte2;
  typedef unsigned int UByte4;
  typedef unsigned long long UByte8;
};

// Where an item goes in a list of callbacks.
class ArListPos
{
public:
  typedef enum {
    FIRST = 1, // first in the list
    LAST = 2   // last in the list
  } Pos;
};

// A packet's data, read in order from the first data byte. Multi-byte values
// are little-endian. Reading past the end gives 0 and makes the packet
// invalid.
class ArBasePacket
{
public:
  ArBasePacket();
  virtual ~ArBasePacket();

  virtual ArTypes::Byte bufToByte(void);
  virtual ArTypes::Byte2 bufToByte2(void);
  virtual ArTypes::Byte4 bufToByte4(void);
  virtual ArTypes::UByte bufToUByte(void);
  virtual ArTypes::UByte2 bufToUByte2(void);
  virtual ArTypes::UByte4 bufToUByte4(void);
  // Back to the first data byte; the packet is valid again.
  virtual void resetRead(void);
  virtual ArTypes::UByte2 getDataLength(void) const;
  // Data bytes read so far.
  virtual ArTypes::UByte2 getDataReadLength(void) const;
  bool isValid(void);

protected:
  // The data bytes; false (and nothing read) when fewer than `count` remain.
  bool take(unsigned char *into, size_t count);

private:
  friend class ariacompat::PacketAccess;
  std::vector<unsigned char> myData;
  size_t myReadPos;
  bool myIsValid;
};

// A packet from the robot: its type (ID) and data.
class ArRobotPacket : public ArBasePacket
{
public:
  ArRobotPacket(unsigned char sync1 = 0xfa, unsigned char sync2 = 0xfb);
  virtual ~ArRobotPacket();
  ArTypes::UByte getID(void);

private:
  friend class ariacompat::PacketAccess;
  ArTypes::UByte myID;
};

// What an action asks of the robot for one cycle: a velocity and a change of
// heading, each with a strength between NO_STRENGTH and MAX_STRENGTH.
class ArActionDesired
{
public:
  static const double NO_STRENGTH;
  static const double MIN_STRENGTH;
  static const double MAX_STRENGTH;

  ArActionDesired();
  virtual ~ArActionDesired();

  // Asks for a translational velocity (mm/s, negative backwards).
  virtual void setVel(double vel, double strength = MAX_STRENGTH);
  // Asks for a heading change relative to the robot's heading (degrees).
  virtual void setDeltaHeading(double deltaHeading, double strength = MAX_STRENGTH);
  // Forgets every request (all strengths back to NO_STRENGTH).
  virtual void reset(void);

  virtual double getVel(void) const { return myVel; }
  virtual double getVelStrength(void) const { return myVelStrength; }
  virtual double getDeltaHeading(void) const { return myDeltaHeading; }
  virtual double getDeltaHeadingStrength(void) const { return myDeltaHeadingStrength; }

private:
  double myVel;
  double myVelStrength;
  double myDeltaHeading;
  double myDeltaHeadingStrength;
};

// A behaviour: the robot's cycle calls fire() once per cycle while the action
// is active and resolves the answers of all active actions by priority.
class ArAction
{
public:
  ArAction(const char *name, const char *description = "");
  virtual ~ArAction();

  virtual bool isActive(void) const;
  virtual void activate(void);
  virtual void deactivate(void);
  // Returns what the action wants this cycle, or NULL for nothing.
  // currentDesired is the resolved result of the higher priorities so far.
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

private:
  ArAction(const ArAction &);
  ArAction &operator=(const ArAction &);

  std::string myName;
  std::string myDescription;
  std::atomic<bool> myIsActive;
};

// Drives straight at a fixed velocity.
class ArActionConstantVelocity : public ArAction
{
public:
  ArActionConstantVelocity(const char *name = "Constant Velocity", double velocity = 400);
  virtual ~ArActionConstantVelocity();
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
  virtual ArActionDesired *getDesired(void) { return &myDesired; }
  virtual const ArActionDesired *getDesired(void) const { return &myDesired; }

protected:
  double myVelocity;
  ArActionDesired myDesired;
};

// Turns away from the closest obstacle in front and slows down near it.
class ArActionAvoidFront : public ArAction
{
public:
  ArActionAvoidFront(const char *name = "avoid front obstacles", double obstacleDistance = 450,
                     double avoidVelocity = 200, double turnAmount = 15,
                     bool useTableIRIfAvail = true);
  virtual ~ArActionAvoidFront();
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
  virtual ArActionDesired *getDesired(void) { return &myDesired; }
  virtual const ArActionDesired *getDesired(void) const { return &myDesired; }

protected:
  double myObsDist;
  double myAvoidVel;
  double myTurnAmount;
  bool myUseTableIRIfAvail;
  int myTurning; // -1 right, 1 left, 0 not avoiding
  ArActionDesired myDesired;
};

// Takes over for a while when a drive motor stalls: backs up (or goes forward
// when the back is blocked) while turning, then gives control back.
class ArActionStallRecover : public ArAction
{
public:
  ArActionStallRecover(const char *name = "stall recover", double obstacleDistance = 225,
                       int cyclesToMove = 50, double speed = 150, double degreesToTurn = 45,
                       bool enabled = true);
  virtual ~ArActionStallRecover();
  virtual ArActionDesired *fire(ArActionDesired currentDesired);
  virtual ArActionDesired *getDesired(void) { return &myDesired; }
  virtual const ArActionDesired *getDesired(void) const { return &myDesired; }

protected:
  double myObstacleDistance;
  int myCyclesToMove;
  double mySpeed;
  double myDegreesToTurn;
  bool myEnabled;
  int myCyclesLeft;      // cycles of the current recovery still to run, 0 when idle
  double myDirection;    // +1 forward, -1 backward, 0 blocked both ways
  double myTargetHeading; // odometric heading the recovery turns to (degrees)
  int myTurnSide;        // alternates between recoveries
  ArActionDesired myDesired;
};

// A set of actions switched on and off together.
class ArActionGroup
{
public:
  ArActionGroup(ArRobot *robot);
  virtual ~ArActionGroup();
  // Adds the action to the group and to the robot with the given priority.
  virtual void addAction(ArAction *action, int priority);
  // Deactivates every action of the robot, then activates this group's.
  virtual void activateExclusive(void);

protected:
  ArRobot *myRobot;

private:
  ArActionGroup(const ArActionGroup &);
  ArActionGroup &operator=(const ArActionGroup &);
  struct Members;
  std::unique_ptr<Members> myMembers;
};

// A sensor that gives obstacle points around the robot.
class ArRangeDevice
{
public:
  virtual ~ArRangeDevice();
  virtual const char *getName(void) const;
  virtual void setRobot(ArRobot *robot);
  // Distance (mm, from the robot's centre) of the closest current reading
  // between startAngle and endAngle (degrees relative to the robot's heading,
  // counter-clockwise from start to end); angle receives its direction.
  // Returns the device's maximum range when no reading lies there.
  virtual double currentReadingPolar(double startAngle, double endAngle,
                                     double *angle = NULL) const;

protected:
  ArRangeDevice(size_t currentBufferSize, size_t cumulativeBufferSize, const char *name,
                unsigned int maxRange);

  ArRobot *myRobot;

private:
  friend class ariacompat::RangeAccess;
  ArRangeDevice(const ArRangeDevice &);
  ArRangeDevice &operator=(const ArRangeDevice &);
  std::string myName;
  std::unique_ptr<ariacompat::RangeBuffers> myBuffers;
};

// The robot's ring of sonars, read from the robot's status packets.
class ArSonarDevice : public ArRangeDevice
{
public:
  ArSonarDevice(size_t currentBufferSize = 24, size_t cumulativeBufferSize = 64,
                const char *name = "sonar");
  virtual ~ArSonarDevice();
};

// Reads keys from the terminal without blocking.
class ArKeyHandler
{
public:
  ArKeyHandler(bool blocking = false, bool addAriaExitCB = true, FILE *stream = NULL,
               bool takeKeysInConstructor = true);
  ~ArKeyHandler();
  // Gives the terminal back the settings it had before the keys were taken.
  void restore(void);

private:
  friend class ariacompat::KeyAccess;
  ArKeyHandler(const ArKeyHandler &);
  ArKeyHandler &operator=(const ArKeyHandler &);
  struct State;
  std::unique_ptr<State> myState;
};

// The robot: its connection, its state and its 100 ms cycle.
class ArRobot
{
public:
  // What waitForRunExit() saw.
  enum WaitState {
    WAIT_CONNECTED,   // the robot has connected
    WAIT_FAILED_CONN, // the robot failed to connect
    WAIT_RUN_EXIT,    // the cycle has ended
    WAIT_TIMEDOUT,    // the time given ran out first
    WAIT_INTR,        // a signal interrupted the wait
    WAIT_FAIL         // the wait could not be done
  };

  ArRobot(const char *name = NULL, bool ignored = true, bool doSigHandle = true,
          bool normalInit = true, bool addAriaExitCallback = true);
  virtual ~ArRobot();

  // Starts the robot's cycle in a thread of its own. With
  // stopRunIfNotConnected the cycle ends when the connection is lost.
  void runAsync(bool stopRunIfNotConnected, bool runNonThreadedPacketReader = false);
  bool isRunning(void) const;
  // Gives the attached key handler's terminal back and ends the cycle. With
  // doDisconnect (and a connection), waits for the cycle to end, then
  // disconnects. Not from the cycle itself.
  void stopRunning(bool doDisconnect = true);
  // Waits until the cycle has ended, at most msecs milliseconds (0: no
  // limit). WAIT_RUN_EXIT when it has, WAIT_TIMEDOUT when time ran out,
  // WAIT_FAIL when called from the cycle itself.
  WaitState waitForRunExit(unsigned int msecs = 0);
  // Sends ENABLE 0 and CLOSE and closes the connection.
  bool disconnect(void);
  // Sends velocity 0 and rotational velocity 0; actions no longer move the
  // robot afterwards.
  void stop(void);

  // Sends a command without argument.
  bool com(unsigned char command);
  // Sends a command with an integer argument.
  bool comInt(unsigned char command, short int argument);

  bool isLeftMotorStalled(void) const;
  bool isRightMotorStalled(void) const;

  // Whether the connection to the robot is up.
  bool isConnected(void) const;

  // What the robot's charger is doing, from the status packet's optional
  // charge-state byte; CHARGING_UNKNOWN when the robot does not send it.
  enum ChargeState {
    CHARGING_UNKNOWN = -1,
    CHARGING_NOT = 0,
    CHARGING_BULK = 1,
    CHARGING_OVERCHARGE = 2,
    CHARGING_FLOAT = 3,
    CHARGING_BALANCE = 4
  };
  ChargeState getChargeState(void) const;
  // Bit 10 of the status flags: the charger's power reaches the robot.
  bool isChargerPowerGood(void) const;
  // Battery voltage (V) as the robot last reported it.
  double getRealBatteryVoltage(void) const;

  // Direct motion: each of these takes its channel (translation or
  // rotation) away from the actions until the next connection.
  // Limits the translational speed (mm/s), also of move(); false for vel <= 0.
  bool setTransVelMax(double vel);
  // Drives `distance` mm along the heading (negative backwards).
  void move(double distance);
  // True when the last move() is within delta mm of its distance (40 mm
  // when delta is 0), or when no move is under way.
  bool isMoveDone(double delta = 0.0);
  // Turns to an absolute heading of the odometric frame (degrees).
  void setHeading(double heading);
  // Turns by deltaHeading degrees from the present heading.
  void setDeltaHeading(double deltaHeading);
  // True when the heading is within delta degrees of the target (3 when
  // delta is 0), or when no heading was asked for.
  bool isHeadingDone(double delta = 0.0) const;
  // Range (mm, from the transducer) of the closest of the sonars that face
  // between startAngle and endAngle (degrees, counter-clockwise
  // from start to end, 0 ahead); -1 when no sonar faces there.
  int getClosestSonarRange(double startAngle, double endAngle) const;

  void addRangeDevice(ArRangeDevice *device);
  void attachKeyHandler(ArKeyHandler *keyHandler, bool exitOnEscape = true,
                        bool useExitNotShutdown = true);

  // Packets that are not the robot's status or configuration go to these
  // handlers in list order, in the robot's cycle; the first that returns
  // true takes the packet. A packet nobody takes is logged. The functor
  // stays the caller's and must outlive its registration.
  void addPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor,
                        ArListPos::Pos position = ArListPos::LAST);
  void remPacketHandler(ArRetFunctor1<bool, ArRobotPacket *> *functor);

  // The robot's lock; the cycle holds it while it runs. 0 on success.
  int lock();
  int unlock();

private:
  friend class ariacompat::RobotAccess;
  ArRobot(const ArRobot &);
  ArRobot &operator=(const ArRobot &);
  std::unique_ptr<ariacompat::RobotCore> myCore;
};

// Connection options from the command line, and the connection itself.
class ArSimpleConnector
{
public:
  ArSimpleConnector(int *argc, char **argv);
  ~ArSimpleConnector();
  // Takes the connection options out of argv; false when one lacks its value.
  bool parseArgs(void);
  // Prints the options this connector understands.
  void logOptions(void) const;
  // Connects the robot: TCP first, then the serial port (see the README).
  bool connectRobot(ArRobot *robot);

private:
  ArSimpleConnector(const ArSimpleConnector &);
  ArSimpleConnector &operator=(const ArSimpleConnector &);
  int *myArgc;
  char **myArgv;
  std::string myRemoteHost;
  std::string mySerialPort;
  int mySerialBaud;
  int myRemoteTcpPort;
};

// Library start and stop.
class Aria
{
public:
  typedef enum {
    SIGHANDLE_SINGLE, // signal handlers in whichever thread receives them
    SIGHANDLE_THREAD, // one thread waits for the signals (the default)
    SIGHANDLE_NONE    // the library leaves signals alone
  } SigHandleMethod;

  static void init(SigHandleMethod method = SIGHANDLE_THREAD, bool initSockets = true,
                   bool sigHandleExitNotShutdown = true);
  // Stops and joins the library's threads (robot cycles, signal thread).
  static void shutdown();
  // Runs the exit callbacks, then ends the process with exitCode.
  static void exit(int exitCode = 0);
  static void setKeyHandler(ArKeyHandler *keyHandler);
  // Adds a callback that exit() runs; higher positions run first.
  static void addExitCallback(ArFunctor *functor, int position = 50);
};

// Small utilities.
class ArUtil
{
public:
  // Sleeps about ms milliseconds.
  static void sleep(unsigned int ms);
};
