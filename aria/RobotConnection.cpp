// The robot's connection: opening it, the handshake and configuration,
// sending commands, closing it.
#include "internal/RobotCore.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "internal/Access.h"
#include "internal/Global.h"
#include "internal/Log.h"
#include "protocol/P3dx.h"

namespace ariacompat {

using namespace robotproto;
using std::chrono::milliseconds;

namespace {

const milliseconds kHandshakeWait{1000};
const milliseconds kConfigWait{1000};
const milliseconds kConfigResend{200};
const int kHandshakeMisses = 3;
const int kHandshakeTries = 50;

class ExitCallback : public ArFunctor {
public:
    explicit ExitCallback(RobotCore *core) : core_(core) {}
    void invoke(void) override { core_->onAriaExit(); }

private:
    RobotCore *core_;
};

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

namespace {

// Reads and drops what arrives on `fd` until the other side ends the
// connection, reading fails, or `limit` has passed.
void drainUntilClosed(int fd, milliseconds limit)
{
    const auto deadline = RobotCore::Clock::now() + limit;
    uint8_t buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - RobotCore::Clock::now()).count();
        if (left <= 0)
            return;
        pollfd pf{fd, POLLIN, 0};
        int r = poll(&pf, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return;
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return;
    }
}

} // namespace

// After a disconnect the robot may still be sending (status, laser scans)
// and may not have read our last commands yet. Closing with its data unread
// would reset the connection, and a robot that sends before it reads would
// then lose the motors-off and CLOSE. So the socket is closed only once the
// robot has ended the connection (it does on CLOSE), or after kCloseDrain.
void RobotCore::closeSocket()
{
    int fd;
    {
        std::lock_guard<std::mutex> lock(sendMutex_);
        fd = fd_;
    }
    if (fd >= 0 && halfClosed_.exchange(false))
        drainUntilClosed(fd, kCloseDrain);
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

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
        // Half-close: the robot reads both commands and then the end of
        // our stream; the closing of the socket drains its side.
        std::lock_guard<std::mutex> send(sendMutex_);
        if (fd_ >= 0 && ::shutdown(fd_, SHUT_WR) == 0)
            halfClosed_.store(true);
    }
    logLine("Disconnected from the robot.");
    // The cycle thread closes the socket itself when it is running.
    if (!running_.load() || isCycleThread())
        closeSocket();
    return true;
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
