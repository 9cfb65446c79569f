// The simulated robot of a docking trial: the robot simulator's protocol
// session and drive model, with the docking room's body model deciding where
// the body really goes, in a thread of the trial runner.
//
// The drive model's own collision test treats the robot as a 250 mm disc,
// which could never enter the station's rails (1.5 cm wider than the body).
// So the drive model steps the motion in open space, and the body model then
// moves the Pioneer-shaped body as far as walls, furniture, plate and guide
// let it; its stall detector drives the motor-stall bits.
#include "robot/robot_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "robot/RobotModel.h"
#include "robot/Session.h"
#include "world/World.h"
#include "world/body_contact.h"
#include "robot/charger.h"
#include "robot/sim_clock.h"
#include "protocol/Packet.h"

namespace dockworld {

namespace {

constexpr double kPhysicsStep = 0.01; // s
constexpr auto kStatusPeriod = std::chrono::milliseconds(100);
// Far from every wall of the drive model's world: where it steps the motion.
constexpr double kOpenSpace = 1.0e7; // mm

robotsim::Pose toModel(const Pose &p) { return {p.x * 1000.0, p.y * 1000.0, radToDeg(p.heading)}; }
Pose fromModel(const robotsim::Pose &p) { return {p.x / 1000.0, p.y / 1000.0, normalizeAngle(degToRad(p.th))}; }

class DockingRobotServer : public RobotServer {
public:
    DockingRobotServer(const DockingRoom &room, double speed)
        : room_(room), motion_(&room.obstacles()), clock_(speed)
    {
        // The sonar hears everything the body can hit.
        for (const Segment &s : room.sonarSegments())
            sonarWorld_.addWall({s.a.x * 1000.0, s.a.y * 1000.0}, {s.b.x * 1000.0, s.b.y * 1000.0});
        model_ = std::make_unique<robotsim::RobotModel>(sonarWorld_);
    }
    ~DockingRobotServer() override { stop(); }

    bool start(const Pose &start, std::string *error) override;
    int port() const override { return port_; }
    Pose pose() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return fromModel(model_->truePose());
    }
    double clock() const override { return std::chrono::duration<double>(clock_.now() - started_).count(); }
    bool connected() const override { return connected_.load(); }
    void setResetPose(const Pose &pose) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = toModel(pose);
    }
    void stop() override;
    void dropClient() override { dropRequested_ = true; }
    void logMotion(const std::string &path) override
    {
        motionLog_.reset(std::fopen(path.c_str(), "w"));
        if (motionLog_)
            std::fputs("t,commanded,speed,connected\n", motionLog_.get());
    }

private:
    void writeMotion(double t);

    void run();
    void physics(double dt);
    void accept();
    void readClient();
    void send(const std::vector<uint8_t> &bytes);
    void drop();

    const DockingRoom &room_;
    BodyMotion motion_;
    StallDetector stall_;
    Charger charger_;
    robotsim::World sonarWorld_;
    std::unique_ptr<robotsim::RobotModel> model_;
    robotsim::Pose start_;
    std::unique_ptr<robotsim::Session> session_;
    robotproto::PacketReceiver rx_;
    mutable std::mutex mutex_; // guards the model between the loop and pose()
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> dropRequested_{false};
    std::unique_ptr<FILE, int (*)(FILE *)> motionLog_{nullptr, std::fclose};
    double nextMotionLine_ = 0.0;
    int listenFd_ = -1;
    int clientFd_ = -1;
    int port_ = 0;
    SimClock clock_; // every period here is simulated time
    SimClock::time_point started_ = clock_.now();
};

bool DockingRobotServer::start(const Pose &start, std::string *error)
{
    start_ = toModel(start);
    model_->reset(start_);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0; // a free port: trials may run side by side
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 2) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        if (error)
            *error = std::string("robot server: ") + std::strerror(errno);
        return false;
    }
    port_ = ntohs(addr.sin_port);
    started_ = clock_.now();
    thread_ = std::thread(&DockingRobotServer::run, this);
    return true;
}

void DockingRobotServer::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    drop();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
    if (motionLog_)
        std::fflush(motionLog_.get());
}

void DockingRobotServer::drop()
{
    if (clientFd_ >= 0)
        ::close(clientFd_);
    clientFd_ = -1;
    session_.reset();
    connected_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    model_->setEnabled(false);
}

void DockingRobotServer::accept()
{
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    if (clientFd_ >= 0) {
        ::close(fd); // one controller at a time
        return;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    clientFd_ = fd;
    rx_ = robotproto::PacketReceiver();
    std::lock_guard<std::mutex> lock(mutex_);
    model_->setEnabled(false);
    session_ = std::make_unique<robotsim::Session>(*model_, start_, [](const std::string &) {});
    connected_ = true;
}

void DockingRobotServer::send(const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (clientFd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(clientFd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{clientFd_, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0) {
                drop();
                return;
            }
        } else {
            drop();
            return;
        }
    }
}

void DockingRobotServer::readClient()
{
    uint8_t buffer[1024];
    const ssize_t n = ::recv(clientFd_, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        drop();
        return;
    }
    if (n < 0)
        return;
    const auto now = clock_.now();
    rx_.feed(buffer, static_cast<size_t>(n), now);
    robotproto::Packet packet;
    std::vector<uint8_t> out;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (session_ && rx_.next(packet, now))
            session_->handle(packet, out);
    }
    send(out);
    if (session_ && session_->closed())
        drop();
}

void DockingRobotServer::physics(double dt)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const robotsim::Pose before = model_->truePose();
    // Step the drive in open space, then bring the motion back into the room.
    model_->setTruePose({kOpenSpace, kOpenSpace, before.th});
    model_->step(dt);
    const robotsim::Pose moved = model_->truePose();
    const Pose from = fromModel(before);
    const Pose free{from.x + (moved.x - kOpenSpace) / 1000.0, from.y + (moved.y - kOpenSpace) / 1000.0,
                    normalizeAngle(degToRad(moved.th))};
    const Pose reached = motion_.move(from, free, dt);
    model_->setTruePose(toModel(reached));

    const double track = RobotBody::wheelTrack;
    const double v = model_->velocity() / 1000.0;
    const double w = degToRad(model_->rotVelocity());
    double left = 0.0, right = 0.0;
    wheelTravel(from, reached, track, left, right);
    stall_.update(v - w * track / 2.0, v + w * track / 2.0, left, right, dt);
    model_->forceStall(stall_.leftStalled() || stall_.rightStalled());
    charger_.update(onTheContacts(room_.station().offsets(reached)), dt);
}

void DockingRobotServer::run()
{
    auto nextPhysics = clock_.now();
    auto nextStatus = clock_.now() + kStatusPeriod;
    const auto step = std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(kPhysicsStep));
    while (!stopping_) {
        pollfd fds[2];
        nfds_t n = 0;
        fds[n++] = {listenFd_, POLLIN, 0};
        if (clientFd_ >= 0)
            fds[n++] = {clientFd_, POLLIN, 0};
        // Until the next physics step, in wall-clock time (a fraction of a
        // millisecond when running fast).
        const long long wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   clock_.toReal(nextPhysics - clock_.now())).count();
        const long long ns = std::clamp<long long>(wait, 0, 20'000'000);
        const timespec timeout{0, static_cast<long>(ns)};
        const int ready = ::ppoll(fds, n, &timeout, nullptr);
        if (ready > 0) {
            if (n > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
                readClient();
            if (fds[0].revents & POLLIN)
                accept();
        }
        if (dropRequested_.exchange(false))
            drop();
        const auto now = clock_.now();
        while (now >= nextPhysics) {
            physics(kPhysicsStep);
            nextPhysics += step;
        }
        writeMotion(clock());
        if (now >= nextStatus) {
            nextStatus += kStatusPeriod;
            if (nextStatus < now)
                nextStatus = now + kStatusPeriod;
            std::vector<uint8_t> out;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (session_) {
                    session_->setPower(charger_.report());
                    session_->tick(out);
                }
            }
            send(out);
        }
    }
}

void DockingRobotServer::writeMotion(double t)
{
    if (!motionLog_ || t < nextMotionLine_)
        return;
    nextMotionLine_ = t + 0.02;
    double commanded, speed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commanded = model_->enabled() ? model_->velocityTarget() : 0.0;
        speed = model_->velocity();
    }
    std::fprintf(motionLog_.get(), "%.3f,%.1f,%.1f,%d\n", t, commanded, speed, connected_ ? 1 : 0);
}

} // namespace

std::unique_ptr<RobotServer> makeRobotServer(const DockingRoom &room, double speed)
{
    return std::make_unique<DockingRobotServer>(room, speed);
}

} // namespace dockworld
