#include "FakeRobot.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "protocol/Messages.h"
#include "protocol/P3dx.h"

namespace ariatest {

using namespace robotproto;
using Clock = std::chrono::steady_clock;

FakeRobot::FakeRobot()
{
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0; // a free port, so tests can run side by side
    bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    listen(listenFd_, 2);
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&FakeRobot::run, this);
}

FakeRobot::~FakeRobot()
{
    stop_ = true;
    thread_.join();
    close(listenFd_);
}

void FakeRobot::setStall(uint16_t bits)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stall_ = bits;
}

void FakeRobot::setOdometry(uint16_t x, uint16_t y, int16_t th)
{
    std::lock_guard<std::mutex> lock(mutex_);
    x_ = x;
    y_ = y;
    th_ = th;
}

void FakeRobot::setSonar(int index, int range)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sonarIndex_ = index;
    sonarRange_ = range;
}

void FakeRobot::pauseStatus(bool paused)
{
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = paused;
}

void FakeRobot::answerConfig(bool answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerConfig_ = answer;
}

void FakeRobot::dropClient()
{
    std::lock_guard<std::mutex> lock(mutex_);
    drop_ = true;
}

void FakeRobot::inject(const std::vector<uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    injected_.insert(injected_.end(), bytes.begin(), bytes.end());
}

bool FakeRobot::connected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

bool FakeRobot::opened() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

std::vector<ReceivedCommand> FakeRobot::commands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<ReceivedCommand> FakeRobot::commands(uint8_t id, Clock::time_point since) const
{
    std::vector<ReceivedCommand> out;
    for (const ReceivedCommand &c : commands())
        if (c.id == id && c.at >= since)
            out.push_back(c);
    return out;
}

bool FakeRobot::waitFor(const std::function<bool(const std::vector<ReceivedCommand> &)> &done,
                        std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(commands_); });
}

void FakeRobot::run()
{
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        int fd = accept(listenFd_, NULL, NULL);
        if (fd >= 0)
            serve(fd);
    }
}

void FakeRobot::serve(int fd)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connected_ = true;
        opened_ = false;
        drop_ = false;
    }
    PacketReceiver rx;
    auto nextStatus = Clock::now();
    bool open = false;
    while (!stop_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (drop_)
                break;
        }
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, 10);
        std::vector<uint8_t> out;
        if (r > 0) {
            uint8_t buf[512];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            rx.feed(buf, static_cast<size_t>(n), Clock::now());
            Packet pk;
            while (rx.next(pk, Clock::now())) {
                if (!open && pk.id <= 2 && pk.data.empty()) {
                    std::vector<uint8_t> reply =
                        pk.id == 2 ? frame(sync2Reply("FakeBot", "Pioneer", "P3DX"))
                                   : frame(Packet{pk.id, {}});
                    out.insert(out.end(), reply.begin(), reply.end());
                    continue;
                }
                ReceivedCommand c;
                c.id = pk.id;
                c.hasArg = !pk.data.empty();
                c.arg = PacketReader(pk).commandInt();
                c.at = Clock::now();
                bool answer;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    commands_.push_back(c);
                    if (pk.id == OPEN && !open) {
                        open = true;
                        opened_ = true;
                    }
                    answer = answerConfig_;
                }
                changed_.notify_all();
                if (pk.id == CONFIG && answer) {
                    ConfigPacket cfg;
                    cfg.type = "Pioneer";
                    cfg.subtype = "p3dx";
                    cfg.transVelTop = 2200;
                    cfg.rotVelTop = 500;
                    cfg.transVelMax = 1500;
                    cfg.transAccel = 300;
                    cfg.transDecel = 300;
                    cfg.rotVelMax = 100;
                    cfg.rotAccel = 150;
                    cfg.rotDecel = 150;
                    std::vector<uint8_t> reply = frame(cfg.encode());
                    out.insert(out.end(), reply.begin(), reply.end());
                }
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            out.insert(out.end(), injected_.begin(), injected_.end());
            injected_.clear();
        }
        if (open && Clock::now() >= nextStatus) {
            nextStatus += std::chrono::milliseconds(100);
            StatusPacket s;
            bool paused;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                paused = paused_;
                s.x = x_;
                s.y = y_;
                s.th = th_;
                s.stallBumpers = stall_;
                s.flags = kFlagMotorsEnabled;
                for (int i = 0; i < kSonarCount; ++i)
                    s.sonars.push_back({i, i == sonarIndex_ ? sonarRange_ : kSonarNoEcho});
            }
            if (!paused) {
                std::vector<uint8_t> bytes = frame(s.encode());
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
        }
        if (!out.empty() && send(fd, out.data(), out.size(), MSG_NOSIGNAL) < 0)
            break;
    }
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = false;
}

} // namespace ariatest
