// The robot's connection, state and cycle thread.
#include "internal/RobotCore.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

#include "internal/Access.h"
#include "internal/Global.h"
#include "internal/Log.h"
#include "internal/Resolver.h"
#include "protocol/P3dx.h"

namespace ariacompat {

using namespace robotproto;
using std::chrono::milliseconds;

namespace {

// Each cycle waits this long at most for the robot's status packet.
const milliseconds kStatusWait{200};
const milliseconds kHandshakeWait{1000};
const milliseconds kConfigWait{1000};
const milliseconds kConfigResend{200};
// Velocity commands are repeated at least this often; PULSE is sent when
// nothing at all went out for longer.
const milliseconds kRefresh{500};
// ARIA's defaults for isMoveDone and isHeadingDone.
const double kMoveDoneDistance = 40;     // mm
const double kHeadingDoneDifference = 3; // degrees
// The p3dx's absolute top speed, for a robot that sent no configuration.
const double kMaxVelocity = 2200; // mm/s
const int kHandshakeMisses = 3;
const int kHandshakeTries = 50;

thread_local RobotCore *tlsCycleOwner = nullptr;

class ExitCallback : public ArFunctor {
public:
    explicit ExitCallback(RobotCore *core) : core_(core) {}
    void invoke(void) override { core_->onAriaExit(); }

private:
    RobotCore *core_;
};

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

constexpr milliseconds RobotCore::kConnectionTimeout;
constexpr milliseconds RobotCore::kCycle;

RobotCore::RobotCore(ArRobot *owner, const char *name, bool addExitCallback)
    : owner_(owner), name_(name ? name : "")
{
    registerRobot(this);
    if (addExitCallback) {
        exitCallback_.reset(new ExitCallback(this));
        Aria::addExitCallback(exitCallback_.get(), 60);
    }
}

RobotCore::~RobotCore()
{
    stopRunning();
    disconnect();
    closeSocket();
    if (exitCallback_)
        removeExitCallback(exitCallback_.get());
    unregisterRobot(this);
}

bool RobotCore::send(const std::vector<uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (fd_ < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 100) > 0)
                continue;
        }
        return false;
    }
    return true;
}

bool RobotCore::com(uint8_t command) { return send(commandPacket(command)); }

bool RobotCore::comInt(uint8_t command, int16_t argument)
{
    return send(commandIntPacket(command, argument));
}

void RobotCore::closeSocket()
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

namespace {

// Waits at most 50 ms (and not past the deadline) for bytes on the socket and
// feeds them to the receiver. False when the connection has ended or failed.
bool receiveUntil(int fd, PacketReceiver &rx, RobotCore::Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<milliseconds>(deadline - RobotCore::Clock::now()).count() + 1;
    pollfd pf{fd, POLLIN, 0};
    int r = poll(&pf, 1, static_cast<int>(std::max<long long>(0, std::min<long long>(left, 50))));
    if (r < 0)
        return errno == EINTR;
    if (r == 0)
        return true;
    uint8_t buf[1024];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0)
        return false;
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    rx.feed(buf, static_cast<size_t>(n), RobotCore::Clock::now());
    return true;
}

} // namespace

bool RobotCore::waitForPacket(PacketReceiver &rx, Packet &out, milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    int fd;
    {
        std::lock_guard<std::mutex> lock(sendMutex_);
        fd = fd_;
    }
    if (fd < 0)
        return false;
    for (;;) {
        auto now = Clock::now();
        if (rx.next(out, now))
            return true;
        if (now >= deadline)
            return false;
        if (!receiveUntil(fd, rx, deadline))
            return false;
    }
}

bool RobotCore::handshake(PacketReceiver &rx)
{
    int step = 0;
    int misses = 0;
    for (int tries = 0; tries < kHandshakeTries && step < 3; ++tries) {
        logLine("Syncing %d", step);
        if (!com(static_cast<uint8_t>(step)))
            return false;
        Packet reply;
        if (!waitForPacket(rx, reply, kHandshakeWait)) {
            if (++misses > kHandshakeMisses) {
                logLine("Robot may be connected but is not responding (no answer to sync).");
                return false;
            }
            continue;
        }
        if (reply.id == step) {
            if (step == 2) {
                PacketReader r(reply);
                std::string name = r.str();
                std::string type = r.str();
                std::string subtype = r.str();
                std::transform(subtype.begin(), subtype.end(), subtype.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                logLine("Connected to robot.");
                logLine("Name: %s", name.c_str());
                logLine("Type: %s", type.c_str());
                logLine("Subtype: %s", subtype.c_str());
                if (subtype != "p3dx")
                    logLine("Have parameters only for a p3dx; using them for this %s.",
                            subtype.c_str());
            }
            ++step;
            continue;
        }
        if (isStatusPacket(reply.id)) {
            // The robot is still open from an earlier client: close it first.
            comInt(CLOSE, 1);
            std::this_thread::sleep_for(kCycle);
        }
        step = 0;
    }
    return step == 3;
}

bool RobotCore::connectSocket(int fd)
{
    if (isRunning() || connected_.load()) {
        logLine("The robot is already connected.");
        ::close(fd);
        return false;
    }
    closeSocket();
    {
        std::lock_guard<std::mutex> lock(sendMutex_);
        fd_ = fd;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        odometry_ = Odometry();
        stallBumpers_ = 0;
        flags_ = 0;
        chargeState_ = -1;
        batteryVolts_ = 0;
        sonarRanges_.assign(kSonarCount, kSonarNoEcho);
        haveConfig_ = false;
        newReadings_.clear();
        direct_ = Direct();
    }
    rx_ = PacketReceiver();
    if (!handshake(rx_)) {
        closeSocket();
        return false;
    }
    std::this_thread::sleep_for(kCycle);
    comInt(OPEN, 1);
    auto opened = Clock::now();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        lastStatus_ = opened;
    }
    // Ask for the configuration until it comes or the wait is over: without
    // it the robot's speed limits stay unknown.
    auto lastAsk = opened - kConfigResend;
    for (;;) {
        auto now = Clock::now();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (haveConfig_ || now - opened >= kConfigWait)
                break;
        }
        if (now - lastAsk >= kConfigResend) {
            comInt(CONFIG, 1);
            lastAsk = now;
        }
        Packet p;
        if (waitForPacket(rx_, p, milliseconds(50)))
            handlePacket(p, Clock::now());
    }
    connected_.store(true);
    reflection_ = Reflection();
    return true;
}

bool RobotCore::isConnected() const { return connected_.load(); }

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

void RobotCore::stop()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        direct_.trans = TransMode::Stopped;
        direct_.rot = RotMode::Stopped;
    }
    comInt(VEL, 0);
    comInt(RVEL, 0);
}

bool RobotCore::setTransVelMax(double vel)
{
    if (!(vel > 0))
        return false;
    std::lock_guard<std::mutex> lock(stateMutex_);
    double top = haveConfig_ && config_.transVelTop > 0 ? config_.transVelTop : kMaxVelocity;
    transVelMax_ = static_cast<int>(std::lround(std::min(vel, top)));
    return true;
}

void RobotCore::move(double distance)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    direct_.trans = TransMode::Distance;
    direct_.distance = distance;
    direct_.moveStart = odometry_.pose;
    direct_.moveSent = false;
}

bool RobotCore::isMoveDone(double delta) const
{
    if (std::fabs(delta) < 0.001)
        delta = kMoveDoneDistance;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (direct_.trans != TransMode::Distance)
        return true;
    const Pose &a = direct_.moveStart, &b = odometry_.pose;
    return std::fabs(std::hypot(b.x - a.x, b.y - a.y) - std::fabs(direct_.distance)) < delta;
}

void RobotCore::setHeading(double heading, bool relative)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    direct_.rot = RotMode::Heading;
    direct_.heading = normalizeDegrees(relative ? odometry_.pose.th + heading : heading);
}

bool RobotCore::isHeadingDone(double delta) const
{
    if (std::fabs(delta) < 0.001)
        delta = kHeadingDoneDifference;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (direct_.rot != RotMode::Heading)
        return true;
    return std::fabs(normalizeDegrees(odometry_.pose.th - direct_.heading)) < delta;
}

bool RobotCore::disconnect()
{
    // A running cycle that sees the connection gone ends and closes the
    // socket under this lock: held here, ENABLE 0 and CLOSE still go out.
    std::lock_guard<std::mutex> lock(runMutex_);
    if (!connected_.exchange(false))
        return false;
    comInt(ENABLE, 0);
    comInt(CLOSE, 1);
    {
        std::lock_guard<std::mutex> send(sendMutex_);
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
    }
    logLine("Disconnected from the robot.");
    // The cycle thread closes the socket itself when it is running.
    if (!running_.load() || tlsCycleOwner == this)
        closeSocket();
    return true;
}

bool RobotCore::isLeftMotorStalled() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (stallBumpers_ & kLeftStallBit) != 0;
}

bool RobotCore::isRightMotorStalled() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (stallBumpers_ & kRightStallBit) != 0;
}

int RobotCore::chargeState() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return chargeState_;
}

bool RobotCore::chargerPowerGood() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return (flags_ & kFlagChargerPowerGood) != 0;
}

double RobotCore::batteryVoltage() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return batteryVolts_;
}

int RobotCore::closestSonarRange(double startAngle, double endAngle) const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    int closest = -1;
    for (int i = 0; i < kSonarCount; ++i)
        if (angleBetween(kSonars[i].th, startAngle, endAngle) &&
            (closest < 0 || sonarRanges_[static_cast<size_t>(i)] < closest))
            closest = sonarRanges_[static_cast<size_t>(i)];
    return closest;
}

void RobotCore::addRangeDevice(ArRangeDevice *device)
{
    if (device == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (std::find(rangeDevices_.begin(), rangeDevices_.end(), device) != rangeDevices_.end())
            return;
        rangeDevices_.push_back(device);
    }
    device->setRobot(owner_);
}

void RobotCore::attachKeyHandler(ArKeyHandler *handler, bool exitOnEscape)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    keyHandler_ = handler;
    exitOnEscape_ = exitOnEscape;
}

void RobotCore::addAction(ArAction *action, int priority)
{
    {
        std::lock_guard<std::mutex> lock(actionsMutex_);
        actions_.emplace(priority, action);
    }
    action->setRobot(owner_);
}

void RobotCore::activateExclusive(const std::vector<ArAction *> &actions)
{
    std::lock_guard<std::mutex> lock(actionsMutex_);
    for (auto &entry : actions_)
        entry.second->deactivate();
    for (ArAction *a : actions)
        a->activate();
}

double RobotCore::heading() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return odometry_.pose.th;
}

double RobotCore::closestCurrentReading(double startAngle, double endAngle, double *angle) const
{
    std::vector<ArRangeDevice *> devices;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        devices = rangeDevices_;
    }
    double best = kSonarNoEcho;
    for (ArRangeDevice *d : devices) {
        double a = 0;
        double dist = d->currentReadingPolar(startAngle, endAngle, &a);
        if (dist < best) {
            best = dist;
            if (angle != nullptr)
                *angle = a;
        }
    }
    return best;
}

int RobotCore::lockUser()
{
    userMutex_.lock();
    return 0;
}

int RobotCore::unlockUser()
{
    userMutex_.unlock();
    return 0;
}

void RobotCore::onAriaExit()
{
    stopRunning();
    if (connected_.load()) {
        stop();
        disconnect();
    }
}

} // namespace ariacompat
