#include "controller_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dockingtest {

// The banner ends in "\n " (a blank after the line end); that blank reaches
// the terminal only with the next line, so waiting stops short of it.
const char kWanderBanner[] =
    "\n== Wander Mode ==\n    The robot will now just wander around avoiding things.\n";
const char kDockingBanner[] = "\n== Docking Mode ==\n";
const char kStopNotice[] = "\nInvio comando di terminazione processo di visione\n";
const char kArrival[] = "\nRobot arrivato alla stazione....ora si sconette\n";

int unusedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

int occurrences(const std::string &text, const std::string &needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

void ControllerRun::SetUp()
{
    ASSERT_NE(makeKeyFile(scratch.path()), -1);
}

void ControllerRun::startVision()
{
    vision = std::make_unique<ScriptedVision>(scratch.path());
    framesStop = false;
    frames = std::thread([this] {
        while (!framesStop) {
            TargetReport report;
            {
                std::lock_guard<std::mutex> guard(shownMutex);
                report = shown;
            }
            vision->publishWhileRunning(report);
            std::this_thread::sleep_for(milliseconds(40));
        }
    });
}

void ControllerRun::stopFrames()
{
    framesStop = true;
    if (frames.joinable()) frames.join();
}

void ControllerRun::TearDown()
{
    if (controller && HasFailure()) {
        std::cerr << "controller output:\n" << controller->output() << "\ncontroller errors:\n"
                  << controller->errors() << "\n";
    }
    controller.reset();
    if (simulator) simulator->sendLine("quit");
    simulator.reset();
    stopFrames();
    vision.reset();
}

bool ControllerRun::startSimulator()
{
    simulator = std::make_unique<RunningProgram>(
        std::vector<std::string>{ROBOTSIM_PATH, "--port", "0"}, scratch.path());
    const std::string banner = "listening on 127.0.0.1:";
    size_t at = simulator->waitForOutput(banner, seconds(10));
    if (at == std::string::npos) return false;
    if (simulator->waitForOutput("\n", seconds(2), at) == std::string::npos) return false;
    simulatorPort = atoi(simulator->output().c_str() + at);
    return simulatorPort > 0;
}

void ControllerRun::startController(const std::vector<std::string> &extra, int port)
{
    std::vector<std::string> argv{DOCKING_PATH, "-rh", "127.0.0.1", "-rrtp",
                                  std::to_string(port > 0 ? port : simulatorPort)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    controller = std::make_unique<RunningProgram>(argv, scratch.path(), true, outputThroughPipe);
    seen = 0;
}

void ControllerRun::show(int urRow, int lrRow, int ulCol, int llCol, int mlRow, int mlCol)
{
    // Columns of markers the controller does not read get plausible values;
    // a marker that is not seen is 0, 0.
    TargetReport report = makeReport(ulCol ? 170 : 0, ulCol, urRow, urRow ? 400 : 0, mlRow, mlCol, 0, 0,
                                     llCol ? 330 : 0, llCol, lrRow, lrRow ? 410 : 0);
    {
        std::lock_guard<std::mutex> guard(shownMutex);
        shown = report;
    }
    vision->publish(report);
}

::testing::AssertionResult ControllerRun::expectOutput(const std::string &text, milliseconds timeout)
{
    size_t end = controller->waitForOutput(text, timeout, seen);
    if (end == std::string::npos) {
        std::string tail = controller->output();
        if (tail.size() > 600) tail = "..." + tail.substr(tail.size() - 600);
        return ::testing::AssertionFailure() << "no \"" << text << "\" after position " << seen
                                             << "; output ends with:\n" << tail;
    }
    seen = end;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ControllerRun::startDocking()
{
    startVision();
    if (!startSimulator()) return ::testing::AssertionFailure() << "the simulator did not come up";
    startController();
    ::testing::AssertionResult wandering = expectOutput(kWanderBanner);
    if (!wandering) return wandering;
    show(150, 203, 300, 310, 250, 301);
    return expectOutput(kDockingBanner);
}

} // namespace dockingtest
