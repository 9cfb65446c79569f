#include "robot/Server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace robotsim {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const milliseconds kPhysicsStep{20};
const milliseconds kStatusPeriod{100};
// Like a robot's firmware watchdog: no packet from the client for this long
// stops the robot.
const milliseconds kWatchdog{2000};

int signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    unsigned char b = static_cast<unsigned char>(sig);
    ssize_t r = write(signalPipe[1], &b, 1);
    (void)r;
}

void installSignals()
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

Server::Server(const World &world, const ServerOptions &options)
    : options_(options), robot_(world)
{
    robot_.reset(options_.start);
}

Server::~Server()
{
    if (clientFd_ >= 0)
        close(clientFd_);
    if (listenFd_ >= 0)
        close(listenFd_);
}

void Server::log(const std::string &message)
{
    fprintf(stderr, "robotsim: %s\n", message.c_str());
}

bool Server::listen()
{
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        perror("robotsim: socket");
        return false;
    }
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    // Only the loopback address: the simulator is never reachable from outside.
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        fprintf(stderr, "robotsim: cannot listen on 127.0.0.1:%d: %s\n", options_.port,
                strerror(errno));
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    options_.port = ntohs(addr.sin_port);
    printf("robotsim: listening on 127.0.0.1:%d\n", options_.port);
    fflush(stdout);
    return true;
}

void Server::acceptClient()
{
    int fd = accept4(listenFd_, NULL, NULL, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    if (clientFd_ >= 0) {
        // One client at a time, as with a robot's serial line.
        log("refusing a second client");
        close(fd);
        return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    clientFd_ = fd;
    rx_ = robotproto::PacketReceiver();
    // Motors start disabled, as on a robot that has just been switched on.
    robot_.setEnabled(false);
    session_.reset(new Session(robot_, options_.start, [this](const std::string &m) { log(m); }));
    session_->setPower(power_);
    lastClientPacket_ = Clock::now();
    log("client connected");
}

void Server::dropClient(const char *why)
{
    if (clientFd_ < 0)
        return;
    close(clientFd_);
    clientFd_ = -1;
    session_.reset();
    robot_.setEnabled(false);
    log(std::string("client gone (") + why + "); waiting for the next one");
}

void Server::sendToClient(const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (clientFd_ >= 0 && done < bytes.size()) {
        ssize_t n = send(clientFd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{clientFd_, POLLOUT, 0};
            if (poll(&p, 1, 100) <= 0) {
                dropClient("not reading");
                return;
            }
        } else {
            dropClient("write failed");
            return;
        }
    }
}

bool Server::readClient()
{
    uint8_t buf[1024];
    ssize_t n = recv(clientFd_, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        dropClient(n == 0 ? "disconnected" : "read failed");
        return false;
    }
    if (n < 0)
        return false;
    auto now = Clock::now();
    rx_.feed(buf, static_cast<size_t>(n), now);
    size_t droppedBefore = rx_.dropped();
    robotproto::Packet p;
    std::vector<uint8_t> out;
    while (session_ && rx_.next(p, now)) {
        lastClientPacket_ = now;
        session_->handle(p, out);
    }
    if (rx_.dropped() != droppedBefore)
        log("dropped " + std::to_string(rx_.dropped() - droppedBefore) + " malformed packet(s)");
    sendToClient(out);
    if (session_ && session_->closed())
        dropClient("closed");
    return true;
}

void Server::takeCommands()
{
    while (clientFd_ >= 0 && readClient()) {
    }
}

void Server::controlCommand(const std::string &line)
{
    std::istringstream words(line);
    std::string cmd;
    if (!(words >> cmd))
        return;
    if (cmd == "quit") {
        quit_ = true;
    } else if (cmd == "where") {
        const Pose &p = robot_.truePose();
        printf("pose %.0f %.0f %.1f\n", p.x, p.y, p.th);
        fflush(stdout);
    } else if (cmd == "stall") {
        std::string state;
        words >> state;
        if (state == "on" || state == "off")
            robot_.forceStall(state == "on");
        else
            log("usage: stall on|off");
    } else if (cmd == "charger") {
        std::string state;
        words >> state;
        if (state == "on" || state == "off") {
            // A robot set on a charger: power good, charging in bulk.
            power_.chargerPowerGood = state == "on";
            power_.chargeState = state == "on" ? 1 : 0;
            if (session_)
                session_->setPower(power_);
        } else {
            log("usage: charger on|off");
        }
    } else if (cmd == "pose") {
        Pose p;
        if (words >> p.x >> p.y >> p.th && std::isfinite(p.x) && std::isfinite(p.y) &&
            std::isfinite(p.th))
            robot_.setTruePose(p);
        else
            log("usage: pose X Y TH");
    } else {
        log("unknown command '" + cmd + "' (stall on|off, charger on|off, pose X Y TH, where, quit)");
    }
}

bool Server::controlInForeground() const
{
    // Reading a terminal from a background job would stop the simulator
    // (SIGTTIN) and with it the robot's status packets: wait until it is
    // in the foreground again.
    if (!isatty(STDIN_FILENO))
        return true;
    pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground < 0 || foreground == getpgrp();
}

void Server::readControl()
{
    char buf[512];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            controlOpen_ = false; // keep running without a control channel
        return;
    }
    controlBuffer_.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = controlBuffer_.find('\n')) != std::string::npos) {
        std::string line = controlBuffer_.substr(0, nl);
        controlBuffer_.erase(0, nl + 1);
        controlCommand(line);
    }
    // A line without end that keeps growing is not a command.
    if (controlBuffer_.size() > 4096)
        controlBuffer_.clear();
}

int Server::run()
{
    installSignals();
    auto nextPhysics = Clock::now() + kPhysicsStep;
    auto nextStatus = Clock::now() + kStatusPeriod;
    while (!quit_) {
        pollfd fds[4];
        int n = 0;
        int listenAt = -1, clientAt = -1, controlAt = -1, signalAt = -1;
        if (clientFd_ < 0) {
            listenAt = n;
            fds[n++] = {listenFd_, POLLIN, 0};
        } else {
            // Pending connections wait in the backlog; check them too.
            listenAt = n;
            fds[n++] = {listenFd_, POLLIN, 0};
            // Before OPEN the handshake is answered as it comes; after it
            // the status cycle takes the commands.
            if (!session_ || !session_->opened()) {
                clientAt = n;
                fds[n++] = {clientFd_, POLLIN, 0};
            }
        }
        if (controlOpen_ && controlInForeground()) {
            controlAt = n;
            fds[n++] = {STDIN_FILENO, POLLIN, 0};
        }
        if (signalPipe[0] >= 0) {
            signalAt = n;
            fds[n++] = {signalPipe[0], POLLIN, 0};
        }
        auto now = Clock::now();
        auto wait = std::chrono::duration_cast<milliseconds>(nextPhysics - now).count();
        int r = poll(fds, static_cast<nfds_t>(n), static_cast<int>(std::max<long long>(0, wait)));
        if (r < 0 && errno != EINTR) {
            perror("robotsim: poll");
            return 1;
        }
        if (r > 0) {
            if (signalAt >= 0 && (fds[signalAt].revents & POLLIN)) {
                log("signal received, stopping");
                break;
            }
            if (clientAt >= 0 && (fds[clientAt].revents & (POLLIN | POLLHUP | POLLERR)))
                readClient();
            if (listenAt >= 0 && (fds[listenAt].revents & POLLIN))
                acceptClient();
            if (controlAt >= 0 && (fds[controlAt].revents & (POLLIN | POLLHUP | POLLERR)))
                readControl();
        }
        now = Clock::now();
        while (now >= nextPhysics) {
            robot_.step(std::chrono::duration<double>(kPhysicsStep).count());
            nextPhysics += kPhysicsStep;
        }
        if (session_ && session_->opened() && now - lastClientPacket_ > kWatchdog) {
            if (!watchdogTripped_) {
                log("no command for 2 s: stopping the robot");
                robot_.stop();
                watchdogTripped_ = true;
            }
        } else {
            watchdogTripped_ = false;
        }
        if (now >= nextStatus) {
            nextStatus += kStatusPeriod;
            if (nextStatus < now)
                nextStatus = now + kStatusPeriod;
            if (session_ && session_->opened()) {
                std::vector<uint8_t> out;
                session_->tick(out);
                sendToClient(out);
                std::vector<uint8_t> scan;
                if (session_)
                    session_->laserScan(scan);
                sendToClient(scan);
                takeCommands();
            }
        }
    }
    dropClient("simulator ending");
    return 0;
}

} // namespace robotsim
