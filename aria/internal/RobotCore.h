// The robot behind ArRobot: its connection, the state read from its status
// packets, the action list and the 100 ms cycle thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RangeBuffers.h"
#include "protocol/Messages.h"
#include "protocol/Packet.h"

class ArAction;
class ArActionDesired;
class ArKeyHandler;
class ArRangeDevice;
class ArRobot;
class ArFunctor;
class ArRobotPacket;
template <class Ret, class P1> class ArRetFunctor1;

namespace ariacompat {

class RobotCore {
public:
    using Clock = std::chrono::steady_clock;
    // No status packet for this long means the connection is lost.
    static constexpr std::chrono::milliseconds kConnectionTimeout{8000};
    static constexpr std::chrono::milliseconds kCycle{100};
    static constexpr std::chrono::milliseconds kCloseDrain{1000};

    RobotCore(ArRobot *owner, const char *name, bool addExitCallback);
    ~RobotCore();

    // Runs the handshake over a connected socket, which the robot then owns
    // (closed on failure too). True when the robot answered.
    bool connectSocket(int fd);
    bool isConnected() const;
    bool disconnect();

    void runAsync(bool stopRunIfNotConnected);
    bool isRunning() const;
    // Asks the cycle to end (any thread, returns at once); with `release`
    // it stops the robot and disconnects on its way out. False when no
    // cycle was running.
    bool requestEnd(bool release = true);
    // Ends the cycle and waits for its thread (not from the cycle itself).
    void stopRunning();
    // ArRobot::stopRunning: ends the cycle, keeping the connection; with
    // doDisconnect waits for the cycle's end, then disconnects.
    void stopRunningThenDisconnect(bool doDisconnect);
    // True when the cycle ended within `timeout` (zero: no limit).
    bool waitForRunExit(std::chrono::milliseconds timeout);
    bool isCycleThread() const;

    bool send(const std::vector<uint8_t> &bytes);
    bool com(uint8_t command);
    bool comInt(uint8_t command, int16_t argument);
    void stop();

    bool isLeftMotorStalled() const;
    bool isRightMotorStalled() const;
    // From the status packets: ArRobot::ChargeState's value, flags bit 10,
    // volts.
    int chargeState() const;
    bool chargerPowerGood() const;
    double batteryVoltage() const;
    int closestSonarRange(double startAngle, double endAngle) const;

    // Direct motion (see ArRobot).
    bool setTransVelMax(double vel);
    void move(double distance);
    bool isMoveDone(double delta) const;
    // An absolute heading, or a change of the present one when `relative`.
    void setHeading(double heading, bool relative);
    bool isHeadingDone(double delta) const;

    void addRangeDevice(ArRangeDevice *device);
    void attachKeyHandler(ArKeyHandler *handler, bool exitOnEscape);
    void addAction(ArAction *action, int priority);
    using PacketHandler = ArRetFunctor1<bool, ArRobotPacket *>;
    void addPacketHandler(PacketHandler *handler, bool first);
    void remPacketHandler(PacketHandler *handler);
    // Deactivates every action, then activates `actions`, in one step that a
    // cycle never sees half done.
    void activateExclusive(const std::vector<ArAction *> &actions);

    // For actions, during the cycle.
    double heading() const;
    double closestCurrentReading(double startAngle, double endAngle, double *angle) const;

    int lockUser();
    int unlockUser();

    // Called by Aria::exit for robots added with addAriaExitCallback.
    void onAriaExit();

private:
    struct Odometry {
        bool haveReference = false;
        uint16_t lastX = 0, lastY = 0;
        Pose pose;
    };
    // Direct motion takes a channel from the actions until the next
    // connection, as ARIA's direct commands do.
    enum class TransMode { Actions, Stopped, Distance };
    enum class RotMode { Actions, Stopped, Heading };
    struct Direct {
        TransMode trans = TransMode::Actions;
        RotMode rot = RotMode::Actions;
        double distance = 0; // mm, of the move under way
        Pose moveStart;      // odometry when it was asked for
        bool moveSent = false;
        double heading = 0; // target of the odometric frame, degrees
    };
    struct Reflection {
        bool firstCycle = true;
        int lastTransVelMax = 0;
        int lastVel = 0;
        int lastRotVel = 0;
        Clock::time_point lastTransSent{};
        Clock::time_point lastRotSent{};
        Clock::time_point lastAnySent{};
    };

    bool handshake(robotproto::PacketReceiver &rx);
    bool waitForPacket(robotproto::PacketReceiver &rx, robotproto::Packet &out,
                       std::chrono::milliseconds timeout);
    void handlePacket(const robotproto::Packet &p, Clock::time_point now);
    // Offers a packet that is not the robot's own to the packet handlers.
    void offerToHandlers(const robotproto::Packet &p);
    void applyStatus(const robotproto::StatusPacket &s, Clock::time_point now);
    void cycleLoop();
    // Reads until a status packet arrives or the cycle's wait is over; false
    // when the connection is gone.
    bool readForCycle(robotproto::PacketReceiver &rx);
    void runCycle(Clock::time_point now);
    void resolveAndSend(Clock::time_point now);
    void sendDisconnect();
    void closeSocket();

    ArRobot *owner_;
    std::string name_;
    std::unique_ptr<ArFunctor> exitCallback_;

    // The user's lock: the cycle holds it while it runs.
    std::mutex userMutex_;

    // Connection; the socket is closed only by whoever owns the read side:
    // the cycle thread while it runs, otherwise the caller.
    mutable std::mutex sendMutex_;
    int fd_ = -1;
    std::atomic<bool> connected_{false};
    // Set by disconnect once our side is shut for writing: closing then
    // first reads what the robot still sends, until it ends the connection
    // or kCloseDrain has passed.
    std::atomic<bool> halfClosed_{false};
    robotproto::PacketReceiver rx_;

    // State from the status packets.
    mutable std::mutex stateMutex_;
    Odometry odometry_;
    uint16_t stallBumpers_ = 0;
    uint16_t flags_ = 0;
    int chargeState_ = -1;
    double batteryVolts_ = 0;
    // Latest raw range of each sonar (mm); 5000 until one is reported.
    std::vector<int> sonarRanges_ = std::vector<int>(robotproto::kSonarCount, robotproto::kSonarNoEcho);
    int transVelMax_ = 0;          // asked for by the program; 0 = the robot's
    Clock::time_point lastStatus_{};
    bool haveConfig_ = false;
    robotproto::ConfigPacket config_;
    std::vector<RangePoint> newReadings_;
    std::vector<ArRangeDevice *> rangeDevices_;
    ArKeyHandler *keyHandler_ = nullptr;
    bool exitOnEscape_ = true;
    Direct direct_;

    // Actions by priority (highest resolved first).
    mutable std::mutex actionsMutex_;
    std::multimap<int, ArAction *> actions_;

    std::mutex handlersMutex_;
    std::vector<PacketHandler *> packetHandlers_;

    // The cycle thread.
    mutable std::mutex runMutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> endRequested_{false};
    std::atomic<bool> releaseOnEnd_{false};
    std::condition_variable runEnded_;
    bool stopRunIfNotConnected_ = true;
    Reflection reflection_;
};

// Waits at most 50 ms (and not past the deadline) for bytes on the socket and
// feeds them to the receiver. False when the connection has ended or failed.
bool receiveUntil(int fd, robotproto::PacketReceiver &rx, RobotCore::Clock::time_point deadline);

} // namespace ariacompat
