#include "trials/trial_runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "camera/camera_feed.h"
#include "trials/imperfect_world.h"
#include "robot/charger.h"
#include "trials/child_process.h"
#include "trials/controller_output.h"
#include "camera/live_view.h"
#include "trials/report_watch.h"
#include "robot/robot_server.h"
#include "robot/sim_clock.h"

namespace dockworld {

namespace fs = std::filesystem;

const char *trialEndName(TrialEnd end)
{
    switch (end) {
    case TrialEnd::Docked: return "docked";
    case TrialEnd::ArrivedElsewhere: return "stopped away from the station";
    case TrialEnd::ControllerEnded: return "controller ended";
    case TrialEnd::TimeLimit: return "time limit";
    case TrialEnd::Interrupted: return "interrupted";
    case TrialEnd::Failed: return "failed";
    }
    return "?";
}

namespace {

const char *modeName(DriveMode mode)
{
    switch (mode) {
    case DriveMode::Wander: return "wander";
    case DriveMode::Docking: return "docking";
    case DriveMode::Unknown: break;
    }
    return "-";
}

// The trial's working directory, removed with its contents at the end.
class WorkDir {
public:
    bool create(std::string *error)
    {
        std::string pattern = (fs::temp_directory_path() / "dockingsim-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            *error = "mkdtemp failed";
            return false;
        }
        path_ = pattern;
        return true;
    }
    ~WorkDir()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
        }
    }
    std::string file(const char *name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

class Trial {
public:
    Trial(const TrialSetup &setup, const std::atomic<bool> &interrupt)
        : setup_(setup), interrupt_(interrupt), imp_(resolveImperfections(setup.imperfections, setup.seed)),
          room_(imperfectRoom(imp_, setup.hideStation))
    {
    }
    TrialResult run();

private:
    bool prepare();
    bool startPrograms();
    void watch();
    void windUp();
    void writePicture();
    std::string logPath(const char *what) const { return setup_.outputDir + "/" + setup_.name + "-" + what + ".log"; }
    std::string motionLogPath() const { return setup_.outputDir + "/" + setup_.name + "-robot.csv"; }

    const TrialSetup &setup_;
    const std::atomic<bool> &interrupt_;
    const Imperfections imp_; // as resolved for this trial
    DockingRoom room_;
    TrialResult result_;
    WorkDir dir_;
    std::unique_ptr<RobotServer> ownRobot_;
    RobotServer *robot_ = nullptr;
    std::unique_ptr<CameraFeed> feed_;
    std::unique_ptr<ReportWatch> report_;
    std::unique_ptr<PublishProbe> publishProbe_;
    ControllerOutput controllerOutput_;
    ChildProcess vision_;
    ChildProcess docking_;
    std::vector<PathPoint> path_;
    std::unique_ptr<FILE, int (*)(FILE *)> pathLog_{nullptr, std::fclose};
    Pose dockingStart_;
    FaultInjector faults_{setup_.fault};
    double faultClock_ = -1.0; // robot server clock when the fault fired
};

bool Trial::prepare()
{
    std::error_code ec;
    fs::create_directories(setup_.outputDir, ec);
    if (!dir_.create(&result_.error))
        return false;
    result_.workDir = dir_.path();
    if (setup_.progress)
        std::printf("working directory %s\n", dir_.path().c_str());
    // Both programs derive their IPC key from a file named quorvantel in
    // their working directory.
    const int key = ::open(dir_.file("quorvantel").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (key < 0) {
        result_.error = "cannot create the key file in " + dir_.path();
        return false;
    }
    ::close(key);
    if (::mkfifo(dir_.file("camera.y4m").c_str(), 0600) != 0) {
        result_.error = "cannot create the camera FIFO in " + dir_.path();
        return false;
    }
    report_ = std::make_unique<ReportWatch>(dir_.file("quorvantel"));
    // Ten lines per simulated second: time, true pose, mode, and the words
    // the controller steers by.
    pathLog_.reset(std::fopen((setup_.outputDir + "/" + setup_.name + "-path.csv").c_str(), "w"));
    if (pathLog_)
        std::fputs("t,x,y,heading_deg,mode,urRow,lrRow,ulCol,llCol\n", pathLog_.get());
    if (!setup_.robot && !room_.fits(setup_.start)) {
        result_.error = "the start pose is not clear of walls, furniture and the station";
        return false;
    }
    robot_ = setup_.robot;
    if (!robot_) {
        ownRobot_ = makeRobotServer(room_, setup_.speed, robotFlaws(imp_, setup_.seed));
        robot_ = ownRobot_.get();
        robot_->logMotion(motionLogPath());
        if (setup_.realTime)
            robot_->runAtRealTime();
        if (!robot_->start(setup_.start, &result_.error))
            return false;
    }
    RobotServer *robot = robot_;
    feed_ = std::make_unique<CameraFeed>(
        room_, mountedCamera(setup_.camera, imp_), [robot](double t) { return robot->bodyAt(t); },
        [robot] { return robot->clock(); }, setup_.seed, setup_.speed, feedTiming(imp_),
        renderSettingsFor(room_.lights()));
    feed_->start(dir_.file("camera.y4m"));
    return true;
}

bool Trial::startPrograms()
{
    std::string error;
    // Both programs run on the simulated clock.
    std::vector<std::string> env;
    if (!speedEnvironment(setup_.speed, env, &result_.error))
        return false;
    vision_.setExtraEnvironment(env);
    docking_.setExtraEnvironment(env);
    docking_.setRealTime(setup_.realTime);
    if (!vision_.start({setup_.visionProgram, dir_.file("camera.y4m")}, dir_.path(), -1, logPath("vision"),
                       &error)) {
        result_.error = error;
        return false;
    }
    // The controller needs the vision program's semaphore set; and, as on a
    // robot whose camera runs before the controller starts, it finds the
    // first report published (otherwise the vision program's start-up, which
    // takes N times longer in simulated time at speed N, would leave the
    // controller wandering blind for its first second).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!report_->visionReady() || !report_->attach() || report_->latest().newReport == 0) {
        if (!vision_.running()) {
            result_.error = "the vision program ended at start-up (see " + logPath("vision") + ")";
            return false;
        }
        if (interrupt_ || std::chrono::steady_clock::now() > until) {
            result_.error = interrupt_ ? "interrupted" : "the vision program did not start";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    RobotServer *robot = robot_;
    publishProbe_ = std::make_unique<PublishProbe>(dir_.file("quorvantel"), [robot] { return robot->clock(); },
                                                   setup_.speed);
    publishProbe_->start();
    if (!controllerOutput_.open(logPath("docking"), &error)) {
        result_.error = error;
        return false;
    }
    const std::string port = std::to_string(robot_->port());
    const bool started = docking_.start({setup_.dockingProgram, "-rh", "127.0.0.1", "-rrtp", port}, dir_.path(),
                                        controllerOutput_.childEnd(), "", &error);
    controllerOutput_.closeChildEnd();
    controllerOutput_.start();
    if (!started) {
        result_.error = error;
        return false;
    }
    return true;
}

void Trial::watch()
{
    double nextProgress = 1.0;
    double nextSample = 0.0;
    const double startClock = robot_->clock();
    Pose anchor = robot_->pose(); // where the robot last was when it moved on
    double anchorTime = 0.0;
    std::unique_ptr<LiveView> view;
    if (setup_.view)
        view = std::make_unique<LiveView>();
    while (true) {
        const double t = robot_->clock() - startClock;
        const Pose pose = robot_->pose();
        const DriveMode mode = controllerOutput_.mode();
        if (controllerOutput_.dockingSeen() && result_.dockingModeAt < 0.0) {
            result_.dockingModeAt = t;
            dockingStart_ = pose;
        }
        if (t >= nextSample) {
            path_.push_back({pose, mode});
            const TargetReport seen = report_->latest();
            if (pathLog_)
                std::fprintf(pathLog_.get(), "%.2f,%.4f,%.4f,%.2f,%s,%d,%d,%d,%d\n", t, pose.x, pose.y,
                             radToDeg(pose.heading), modeName(mode), seen.urRow, seen.lrRow, seen.ulCol, seen.llCol);
            nextSample += 0.1;
        }
        report_->attach();
        if (setup_.progress && t >= nextProgress) {
            const double distance = length(pose.position() - room_.station().dockedPose().position());
            std::printf("%6.1f s  mode %-7s  distance %5.2f m  markers %d\n", t, modeName(mode), distance,
                        report_->markersSeen());
            std::fflush(stdout);
            nextProgress += 1.0;
        }
        if (view) {
            YuvFrame frame;
            if (feed_->lastFrame(frame))
                view->show(frame, report_->latest());
        }
        if (length(pose.position() - anchor.position()) > 0.10 ||
            std::fabs(normalizeAngle(pose.heading - anchor.heading)) > degToRad(20.0)) {
            anchor = pose;
            anchorTime = t;
        }
        result_.seconds = t;
        if (!faults_.fired()) {
            faults_.poll(t, {[this](double s) { feed_->loseFor(s); }, [this](int sig) { vision_.signal(sig); },
                             [this] { robot_->dropClient(); }});
            if (faults_.fired()) {
                result_.faultAt = t;
                faultClock_ = robot_->clock();
            }
        }
        result_.finalMode = mode;
        result_.stillFor = t - anchorTime;
        if (interrupt_) {
            result_.end = TrialEnd::Interrupted;
            return;
        }
        if (!docking_.running()) {
            controllerOutput_.waitDrained(2.0); // its arrival line may still be in the terminal
            result_.end = controllerOutput_.arrived() ? TrialEnd::ArrivedElsewhere : TrialEnd::ControllerEnded;
            return;
        }
        if (!vision_.running() && report_->latest().running != 0 && !(faults_.fired() && faults_.hitsVision())) {
            // Gone without the controller's stop request (which clears the run
            // flag): the controller would steer by a frozen record.
            result_.end = TrialEnd::Failed;
            result_.error = "the vision program ended during the trial (see " + logPath("vision") + ")";
            return;
        }
        if (t >= setup_.timeLimit) {
            result_.end = TrialEnd::TimeLimit;
            return;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(std::max(0.002, 0.02 / setup_.speed)));
    }
}

void Trial::windUp()
{
    // The controller first: its own stop path tells the vision program to
    // finish. Then whatever is left, by force (a vision program the fault
    // stopped is let go on first).
    if (!docking_.running() && docking_.exitedNormally())
        result_.controllerExit = docking_.exitCode();
    docking_.stop(3.0);
    if (faults_.fired() && faults_.fault().kind == FaultKind::VisionStop)
        vision_.signal(SIGCONT);
    if (!vision_.waitFor(3.0))
        vision_.stop(2.0);
    controllerOutput_.close();
    if (publishProbe_ && feed_ && robot_)
        result_.timing = loopTiming(robot_->commandTimes(), feed_->writeTimes(), publishProbe_->stop());
    if (feed_) {
        feed_->stop();
        result_.framesWritten = feed_->framesWritten();
        result_.framesDropped = feed_->framesDropped();
        result_.renderMillis = feed_->renderMillis();
    }
    if (robot_) {
        result_.finalPose = robot_->pose();
        // Docked means charging too: ask the robot, now that the controller
        // has let it go.
        result_.charge = probeCharge(robot_->port());
    }
    if (ownRobot_)
        ownRobot_->stop();
    if (setup_.speed > 1.0)
        for (const ChildProcess *child : {&vision_, &docking_})
            if (child->pid() > 0)
                removeFakeTimeLeftovers(child->pid());
    bool ipcGone = true;
    if (report_)
        ipcGone = report_->removeIpc();
    result_.cleanedUp = !docking_.running() && !vision_.running() && ipcGone;
    if (faultClock_ >= 0.0)
        result_.standstill = standstillAfter(motionLogPath(), faultClock_);
}

void Trial::writePicture()
{
    TopDownMap map(room_.minCorner(), room_.maxCorner());
    map.drawWalls(room_.walls());
    map.drawGuide(room_.station().guideSegments());
    map.drawGuide(room_.station().housingSegments());
    map.drawPlate(room_.station().plateSegments());
    for (const Marker &m : room_.station().markers())
        map.drawMarker({m.centre.x, m.centre.y});
    map.drawPath(path_);
    map.drawStart(setup_.start);
    if (result_.dockingModeAt >= 0.0)
        map.drawDockingStart(dockingStart_);
    map.drawRobot(result_.finalPose, result_.end == TrialEnd::Docked);
    const std::string file = setup_.outputDir + "/" + setup_.name + ".png";
    std::string error;
    char title[160];
    std::snprintf(title, sizeof title, "%s: %s at %.1f s, sideways %+.1f cm, heading %+.1f deg", setup_.name.c_str(),
                  trialEndName(result_.end), result_.seconds, 100.0 * result_.offsets.lateral,
                  radToDeg(result_.offsets.heading));
    if (map.save(file, title, TopDownMap::trialLegend(result_.end == TrialEnd::Docked), &error))
        result_.picture = file;
    else if (result_.error.empty())
        result_.error = error;
}

TrialResult Trial::run()
{
    const auto began = std::chrono::steady_clock::now();
    result_.imperfections = describeImperfections(imp_);
    const bool ready = prepare() && startPrograms();
    if (ready)
        watch();
    else
        result_.end = interrupt_ ? TrialEnd::Interrupted : TrialEnd::Failed;
    windUp();
    result_.offsets = room_.station().offsets(result_.finalPose);
    if (result_.end == TrialEnd::ArrivedElsewhere && onTheContacts(result_.offsets) &&
        result_.charge.chargerPowerGood)
        result_.end = TrialEnd::Docked;
    if (robot_)
        writePicture();
    result_.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return result_;
}

} // namespace

TrialResult runTrial(const TrialSetup &setup, const std::atomic<bool> &interrupt)
{
    Trial trial(setup, interrupt);
    return trial.run();
}

} // namespace dockworld
