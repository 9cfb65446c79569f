// The robot's cycle: reading status packets into the robot's state, handing
// other packets to the program's handlers, running the actions and sending
// what they resolve to.
#include "internal/RobotCore.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "internal/Access.h"
#include "internal/Log.h"
#include "internal/Resolver.h"
#include "protocol/P3dx.h"

namespace ariacompat {

using namespace robotproto;
using std::chrono::milliseconds;

namespace {

// Each cycle waits this long at most for the robot's status packet.
const milliseconds kStatusWait{200};
// Velocity commands are repeated at least this often; PULSE is sent when
// nothing at all went out for longer.
const milliseconds kRefresh{500};

thread_local RobotCore *tlsCycleOwner = nullptr;

int16_t toShort(double v)
{
    long r = std::lround(v);
    return static_cast<int16_t>(std::max<long>(SHRT_MIN + 1, std::min<long>(SHRT_MAX, r)));
}

// Difference of two 15-bit position counters, unwrapped.
int tickDelta(uint16_t now, uint16_t before)
{
    int d = static_cast<int>(now) - static_cast<int>(before);
    if (d > 0x1000)
        d -= 0x8000;
    else if (d < -0x1000)
        d += 0x8000;
    return d;
}

} // namespace

void RobotCore::handlePacket(const Packet &p, Clock::time_point now)
{
    if (isStatusPacket(p.id)) {
        applyStatus(StatusPacket::decode(p), now);
    } else if (p.id == kConfigPacket) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!haveConfig_) {
            config_ = ConfigPacket::decode(p);
            haveConfig_ = true;
        }
    } else {
        offerToHandlers(p);
    }
}

void RobotCore::offerToHandlers(const Packet &p)
{
    std::vector<PacketHandler *> handlers;
    {
        // A handler may add or remove handlers while it runs.
        std::lock_guard<std::mutex> lock(handlersMutex_);
        handlers = packetHandlers_;
    }
    ArRobotPacket packet;
    PacketAccess::fill(packet, p.id, p.data);
    for (PacketHandler *h : handlers) {
        if (h->invokeR(&packet))
            return;
        packet.resetRead(); // the next handler reads from the start
    }
    logLine("No packet handler wanted packet with ID: 0x%x", p.id);
}

void RobotCore::addPacketHandler(PacketHandler *handler, bool first)
{
    if (handler == nullptr)
        return;
    std::lock_guard<std::mutex> lock(handlersMutex_);
    packetHandlers_.insert(first ? packetHandlers_.begin() : packetHandlers_.end(), handler);
}

void RobotCore::remPacketHandler(PacketHandler *handler)
{
    std::lock_guard<std::mutex> lock(handlersMutex_);
    packetHandlers_.erase(std::remove(packetHandlers_.begin(), packetHandlers_.end(), handler),
                          packetHandlers_.end());
}

void RobotCore::applyStatus(const StatusPacket &s, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    Odometry &o = odometry_;
    Pose before = o.pose;
    double th = normalizeDegrees(s.th * kAngleConv * 180 / M_PI);
    if (!o.haveReference) {
        // The first status packet only sets the reference for the deltas.
        o.haveReference = true;
        o.pose.th = th;
        before = o.pose;
    } else {
        o.pose.x += tickDelta(s.x, o.lastX) * kDistConv;
        o.pose.y += tickDelta(s.y, o.lastY) * kDistConv;
        o.pose.th = th;
    }
    o.lastX = s.x;
    o.lastY = s.y;
    // Readings are placed with the pose of the previous packet, as ARIA does.
    double c = std::cos(before.th * M_PI / 180), sn = std::sin(before.th * M_PI / 180);
    for (const SonarReading &r : s.sonars) {
        if (r.index < 0 || r.index >= kSonarCount)
            continue;
        sonarRanges_[static_cast<size_t>(r.index)] = static_cast<int>(r.range * kRangeConv);
        if (r.range * kRangeConv >= kSonarNoEcho)
            continue;
        const SonarUnit &u = kSonars[r.index];
        double range = r.range * kRangeConv;
        double lx = u.x + range * std::cos(u.th * M_PI / 180);
        double ly = u.y + range * std::sin(u.th * M_PI / 180);
        newReadings_.push_back({before.x + lx * c - ly * sn, before.y + lx * sn + ly * c});
    }
    stallBumpers_ = s.stallBumpers;
    flags_ = s.flags;
    // The tail's voltage is the finer one; the byte is all older robots send.
    batteryVolts_ = s.hasTail ? s.batteryTenths / 10.0 : s.battery / 10.0;
    chargeState_ = s.hasChargeState ? s.chargeState : -1;
    lastStatus_ = now;
}

bool RobotCore::readForCycle(PacketReceiver &rx)
{
    auto deadline = Clock::now() + kStatusWait;
    {
        // Wake up in time to notice the connection's end without delay.
        std::lock_guard<std::mutex> lock(stateMutex_);
        deadline = std::min(deadline, lastStatus_ + kConnectionTimeout + milliseconds(1));
    }
    int fd;
    {
        std::lock_guard<std::mutex> lock(sendMutex_);
        fd = fd_;
    }
    if (fd < 0)
        return false;
    bool gotStatus = false;
    for (;;) {
        Packet p;
        while (rx.next(p, Clock::now())) {
            if (p.id == 0xFF || p.id == 0xFE) {
                logLine("Robot reset its microcontroller; connection lost.");
                return false;
            }
            handlePacket(p, Clock::now());
            gotStatus = gotStatus || isStatusPacket(p.id);
        }
        auto now = Clock::now();
        if (gotStatus || now >= deadline || endRequested_.load())
            return true;
        if (!receiveUntil(fd, rx, deadline))
            return false;
    }
}

void RobotCore::runAsync(bool stopRunIfNotConnected)
{
    std::thread old;
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        if (running_.load())
            return;
        old = std::move(thread_);
    }
    if (old.joinable())
        old.join();
    std::lock_guard<std::mutex> lock(runMutex_);
    endRequested_.store(false);
    releaseOnEnd_.store(false);
    stopRunIfNotConnected_ = stopRunIfNotConnected;
    running_.store(true);
    thread_ = std::thread(&RobotCore::cycleLoop, this);
}

bool RobotCore::isRunning() const { return running_.load(); }

bool RobotCore::requestEnd(bool release)
{
    if (!running_.load())
        return false;
    if (release)
        releaseOnEnd_.store(true);
    endRequested_.store(true);
    return true;
}

bool RobotCore::isCycleThread() const { return tlsCycleOwner == this; }

bool RobotCore::waitForRunExit(milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(runMutex_);
    auto ended = [this] { return !running_.load(); };
    if (timeout.count() == 0) {
        runEnded_.wait(lock, ended);
        return true;
    }
    return runEnded_.wait_for(lock, timeout, ended);
}

void RobotCore::stopRunningThenDisconnect(bool doDisconnect)
{
    ArKeyHandler *keys;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        keys = keyHandler_;
    }
    if (keys != nullptr)
        keys->restore();
    requestEnd(false);
    // Disconnecting under a running cycle would leave it reading a closed
    // connection: the cycle ends first.
    if (doDisconnect && connected_.load() && !isCycleThread()) {
        waitForRunExit(milliseconds(0));
        disconnect();
    }
}

void RobotCore::stopRunning()
{
    requestEnd();
    if (tlsCycleOwner == this)
        return;
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        t = std::move(thread_);
    }
    if (t.joinable())
        t.join();
}

void RobotCore::cycleLoop()
{
    tlsCycleOwner = this;
    for (;;) {
        if (connected_.load()) {
            bool alive = readForCycle(rx_);
            auto now = Clock::now();
            if (alive) {
                std::lock_guard<std::mutex> lock(stateMutex_);
                if (now - lastStatus_ >= kConnectionTimeout) {
                    logLine("Lost connection to the robot: no status for %lld ms.",
                            static_cast<long long>(kConnectionTimeout.count()));
                    alive = false;
                }
            } else if (connected_.load()) {
                logLine("Lost connection to the robot.");
            }
            if (!alive) {
                connected_.store(false);
                closeSocket();
            }
        } else if (!stopRunIfNotConnected_) {
            std::this_thread::sleep_for(kCycle);
        }
        if (endRequested_.load())
            break;
        if (!connected_.load() && stopRunIfNotConnected_)
            break;
        runCycle(Clock::now());
        if (endRequested_.load())
            break;
    }
    if (endRequested_.load() && releaseOnEnd_.load() && connected_.load()) {
        stop();
        disconnect();
    }
    std::lock_guard<std::mutex> lock(runMutex_);
    // A cycle ended by stopRunning(false) leaves the connection to the caller.
    if (!connected_.load())
        closeSocket();
    running_.store(false);
    tlsCycleOwner = nullptr;
    runEnded_.notify_all();
}

void RobotCore::runCycle(Clock::time_point now)
{
    std::lock_guard<std::mutex> user(userMutex_);
    ArKeyHandler *keys;
    bool exitOnEscape;
    std::vector<RangePoint> readings;
    std::vector<ArRangeDevice *> devices;
    Pose pose;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        keys = keyHandler_;
        exitOnEscape = exitOnEscape_;
        readings.swap(newReadings_);
        devices = rangeDevices_;
        pose = odometry_.pose;
    }
    if (keys != nullptr && KeyAccess::escapePressed(keys) && exitOnEscape) {
        logLine("Escape pressed: stopping the robot.");
        releaseOnEnd_.store(true);
        endRequested_.store(true);
        return;
    }
    for (ArRangeDevice *d : devices)
        RangeAccess::buffers(d).add(readings, pose, now);
    if (connected_.load())
        resolveAndSend(now);
}

void RobotCore::resolveAndSend(Clock::time_point now)
{
    ArActionDesired result;
    bool anyActive = false;
    {
        std::lock_guard<std::mutex> lock(actionsMutex_);
        result = resolveActions(actions_, &anyActive);
    }
    Direct d;
    bool haveConfig;
    ConfigPacket config;
    double th;
    int transVelMax;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        d = direct_;
        direct_.moveSent = true; // sent below when it was not yet
        haveConfig = haveConfig_;
        config = config_;
        th = odometry_.pose.th;
        transVelMax = transVelMax_;
    }
    Reflection &r = reflection_;
    if (r.firstCycle) {
        r.firstCycle = false;
        if (haveConfig) {
            // Start from the limits the robot reported as its own.
            comInt(SETV, toShort(config.transVelMax));
            comInt(SETA, toShort(config.transAccel));
            comInt(SETA, toShort(-static_cast<double>(config.transDecel)));
            comInt(SETRV, toShort(config.rotVelMax));
            comInt(SETRA, toShort(config.rotAccel));
            comInt(SETRA, toShort(-static_cast<double>(config.rotDecel)));
        }
        r.lastTransSent = r.lastRotSent = r.lastAnySent = now - kRefresh;
        r.lastVel = r.lastRotVel = INT_MIN;
    }
    if (transVelMax > 0 && transVelMax != r.lastTransVelMax) {
        comInt(SETV, static_cast<int16_t>(transVelMax));
        r.lastTransVelMax = transVelMax;
    }
    // Idle: no action active and no direct motion. The robot is told once
    // to stand still, then only kept awake with PULSE.
    bool idle = d.trans == TransMode::Actions && d.rot == RotMode::Actions && !anyActive;
    bool sentMotion = false;
    if (d.trans == TransMode::Distance) {
        // The robot drives the distance itself; MOVE goes out once.
        if (!d.moveSent) {
            comInt(MOVE, toShort(d.distance));
            r.lastVel = INT_MIN;
            r.lastTransSent = now;
            sentMotion = true;
        }
    } else {
        int vel = 0;
        if (d.trans == TransMode::Actions && result.getVelStrength() >= ArActionDesired::MIN_STRENGTH)
            vel = toShort(result.getVel());
        if (vel != r.lastVel || (!idle && now - r.lastTransSent >= kRefresh)) {
            comInt(VEL, static_cast<int16_t>(vel));
            r.lastVel = vel;
            r.lastTransSent = now;
            sentMotion = true;
        }
    }
    bool head = d.rot == RotMode::Actions &&
                result.getDeltaHeadingStrength() >= ArActionDesired::MIN_STRENGTH &&
                result.getDeltaHeading() != 0;
    if (d.rot == RotMode::Heading) {
        // Repeated while more than a degree away, as ARIA does.
        if (std::fabs(normalizeDegrees(d.heading - th)) > 1.0) {
            comInt(HEAD, toShort(d.heading));
            r.lastRotVel = INT_MIN;
            r.lastRotSent = now;
            sentMotion = true;
        }
    } else if (head) {
        // HEAD is absolute, in the robot's odometric frame.
        comInt(HEAD, toShort(normalizeDegrees(th + result.getDeltaHeading())));
        r.lastRotVel = INT_MIN;
        r.lastRotSent = now;
        sentMotion = true;
    } else if (r.lastRotVel != 0 || (!idle && now - r.lastRotSent >= kRefresh)) {
        comInt(RVEL, 0);
        r.lastRotVel = 0;
        r.lastRotSent = now;
        sentMotion = true;
    }
    if (sentMotion) {
        r.lastAnySent = now;
    } else if (now - r.lastAnySent > kRefresh) {
        com(PULSE);
        r.lastAnySent = now;
    }
}

void RobotCore::attachKeyHandler(ArKeyHandler *handler, bool exitOnEscape)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    keyHandler_ = handler;
    exitOnEscape_ = exitOnEscape;
}

} // namespace ariacompat
