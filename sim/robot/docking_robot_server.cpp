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
#include <deque>
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
#include "robot/realtime.h"
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
    DockingRobotServer(const DockingRoom &room, double speed, const RobotFlaws &flaws)
        : room_(room), motion_(&room.obstacles()), flaws_(flaws), clock_(speed)
    {
        // The sonar hears everything the body can hit.
        for (const Segment &s : room.sonarSegments())
            sonarWorld_.addWall({s.a.x * 1000.0, s.a.y * 1000.0}, {s.b.x * 1000.0, s.b.y * 1000.0});
        model_ = std::make_unique<robotsim::RobotModel>(sonarWorld_);
        model_->setWheelFactors(flaws.leftWheelFactor, flaws.rightWheelFactor, RobotBody::wheelTrack * 1000.0);
        model_->setSonarNoise(flaws.sonarNoise, flaws.seed);
    }
    ~DockingRobotServer() override { stop(); }

    bool start(const Pose &start, std::string *error) override;
    int port() const override { return port_; }
    Pose pose() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return fromModel(model_->truePose());
    }
    BodyPose bodyAt(double t) const override;
    double clock() const override { return std::chrono::duration<double>(clock_.now() - started_).count(); }
    bool connected() const override { return connected_.load(); }
    void setResetPose(const Pose &pose) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = toModel(pose);
    }
    void stop() override;
    std::vector<double> commandTimes() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return commandTimes_;
    }
    void dropClient() override { dropRequested_ = true; }
    void runAtRealTime() override { realTime_ = true; }
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
    RobotFlaws flaws_;
    struct Sample {
        double t;
        BodyPose body;
    };
    std::deque<Sample> history_; // one per physics step, the last 1.5 s; guarded by mutex_
    double pitch_ = 0.0;         // body pitch now, radians
    double lastVelocity_ = 0.0;  // m/s, at the last physics step
    double physicsTime_ = 0.0;   // simulated seconds of the physics steps taken
    StallDetector stall_;
    Charger charger_;
    robotsim::World sonarWorld_;
    std::unique_ptr<robotsim::RobotModel> model_;
    robotsim::Pose start_;
    std::unique_ptr<robotsim::Session> session_;
    robotproto::PacketReceiver rx_;
    mutable std::mutex mutex_; // guards the model between the loop and pose()
    std::vector<double> commandTimes_; // guarded by mutex_
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> dropRequested_{false};
    std::unique_ptr<FILE, int (*)(FILE *)> motionLog_{nullptr, std::fclose};
    double nextMotionLine_ = 0.0;
    int listenFd_ = -1;
    int clientFd_ = -1;
    bool realTime_ = false;
    int port_ = 0;
    SimClock clock_; // every period here is simulated time
    SimClock::time_point started_ = clock_.now();
};

bool DockingRobotServer::start(const Pose &start, std::string *error)
{
    start_ = toModel(start);
    model_->reset(start_);
    history_.clear();
    history_.push_back({0.0, {start, 0.0}});
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
        bool any = false;
        while (session_ && rx_.next(packet, now)) {
            session_->handle(packet, out);
            any = true;
        }
        // Bounded: ten hours of 100 ms passes.
        if (any && commandTimes_.size() < 360000)
            commandTimes_.push_back(std::chrono::duration<double>(now - started_).count());
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

    // The body rocks on its tyres and caster: it leans in proportion to the
    // drive's acceleration, settling with a tenth of a second's lag.
    const double velocity = model_->velocity() / 1000.0;
    // Tyres grip up to about half a g, which bounds what a sudden stop does.
    const double accel = std::clamp((velocity - lastVelocity_) / dt, -4.9, 4.9);
    const double lean = flaws_.pitchPerAccel * accel;
    lastVelocity_ = velocity;
    pitch_ += (lean - pitch_) * std::min(1.0, dt / 0.1);
    physicsTime_ += dt;
    history_.push_back({physicsTime_, {reached, pitch_}});
    while (history_.size() > 2 && history_.front().t < physicsTime_ - 1.5)
        history_.pop_front();

    const double track = RobotBody::wheelTrack;
    const double v = model_->velocity() / 1000.0;
    const double w = degToRad(model_->rotVelocity());
    double left = 0.0, right = 0.0;
    wheelTravel(from, reached, track, left, right);
    stall_.update(v - w * track / 2.0, v + w * track / 2.0, left, right, dt);
    model_->forceStall(stall_.leftStalled() || stall_.rightStalled());
    charger_.update(onTheContacts(room_.station().offsets(reached)), dt);
}

BodyPose DockingRobotServer::bodyAt(double t) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (history_.empty())
        return {fromModel(model_->truePose()), pitch_};
    if (t >= history_.back().t)
        return history_.back().body;
    if (t <= history_.front().t)
        return history_.front().body;
    // The first sample at or after t, and the one before it.
    size_t hi = history_.size() - 1;
    while (hi > 0 && history_[hi - 1].t >= t)
        --hi;
    const Sample &a = history_[hi - 1], &b = history_[hi];
    const double f = b.t > a.t ? (t - a.t) / (b.t - a.t) : 1.0;
    const Pose &p = a.body.pose, &q = b.body.pose;
    BodyPose out;
    out.pose = {p.x + f * (q.x - p.x), p.y + f * (q.y - p.y),
                normalizeAngle(p.heading + f * normalizeAngle(q.heading - p.heading))};
    out.pitch = a.body.pitch + f * (b.body.pitch - a.body.pitch);
    return out;
}

void DockingRobotServer::run()
{
    if (realTime_)
        runThisThreadAtRealTime(); // where not permitted, ordinary scheduling
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

std::unique_ptr<RobotServer> makeRobotServer(const DockingRoom &room, double speed, const RobotFlaws &flaws)
{
    return std::make_unique<DockingRobotServer>(room, speed, flaws);
}

} // namespace dockworld
