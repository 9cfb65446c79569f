#include "trials/charge_probe.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "protocol/Messages.h"
#include "protocol/P3dx.h"

namespace dockworld {

namespace {

using Clock = std::chrono::steady_clock;
using namespace robotproto;

class Link {
public:
    Link(int port, Clock::time_point deadline) : deadline_(deadline)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Link()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool send(const std::vector<uint8_t> &bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // The next packet that `wanted` accepts; false at the deadline.
    template <class Wanted> bool receive(Packet &p, Wanted wanted)
    {
        for (;;) {
            while (rx_.next(p, Clock::now()))
                if (wanted(p))
                    return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd pf{fd_, POLLIN, 0};
            if (::poll(&pf, 1, static_cast<int>(left)) <= 0)
                continue;
            uint8_t buffer[512];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            rx_.feed(buffer, static_cast<size_t>(n), Clock::now());
        }
    }

private:
    int fd_ = -1;
    Clock::time_point deadline_;
    PacketReceiver rx_;
};

// One connection; false when the robot did not answer the handshake.
bool askOnce(int port, Clock::time_point deadline, ChargeReport &report)
{
    Link link(port, deadline);
    if (!link.ok())
        return false;
    Packet p;
    for (uint8_t step = 0; step < 3; ++step) {
        if (!link.send(commandPacket(step)) || !link.receive(p, [step](const Packet &q) { return q.id == step; }))
            return false;
    }
    link.send(commandIntPacket(OPEN, 1));
    if (link.receive(p, [](const Packet &q) { return isStatusPacket(q.id); })) {
        const StatusPacket s = StatusPacket::decode(p);
        report.answered = true;
        report.chargerPowerGood = (s.flags & kFlagChargerPowerGood) != 0;
        report.chargeState = s.hasChargeState ? s.chargeState : -1;
        report.volts = (s.hasTail ? s.batteryTenths : s.battery) / 10.0;
    }
    link.send(commandIntPacket(CLOSE, 1));
    return true;
}

} // namespace

ChargeReport probeCharge(int port, double timeoutSeconds)
{
    ChargeReport report;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    // The robot serves one client at a time: the one before may not have
    // been let go yet.
    while (!askOnce(port, deadline, report) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return report;
}

const char *chargeStateName(int state)
{
    switch (state) {
    case 0: return "not charging";
    case 1: return "bulk";
    case 2: return "overcharge";
    case 3: return "float";
    case 4: return "balance";
    }
    return "unknown";
}

} // namespace dockworld
