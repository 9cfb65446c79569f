// Aria's start and stop, signal handling, exit callbacks; ArUtil.
#include "Aria.h"

#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "internal/Access.h"
#include "internal/Global.h"
#include "internal/Log.h"

namespace ariacompat {
namespace {

const int kHandledSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

// Never destroyed: exit() may run from any thread while others still use it.
struct Globals {
    std::mutex mutex;
    std::vector<RobotCore *> robots;
    std::multimap<int, ArFunctor *> exitCallbacks;
    ArKeyHandler *keyHandler = nullptr;
    bool initialised = false;
    Aria::SigHandleMethod method = Aria::SIGHANDLE_NONE;
    bool exitNotShutdown = true;
    std::thread signalThread;
    std::atomic<bool> signalThreadStop{false};
    bool cyclesEnded = false;
    std::chrono::steady_clock::time_point cyclesEndedAt{};
};

const std::chrono::seconds kGraceAfterEnd{3};

Globals &globals()
{
    static Globals *g = new Globals;
    return *g;
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGHUP: return "SIGHUP";
    case SIGINT: return "SIGINT";
    case SIGQUIT: return "SIGQUIT";
    case SIGTERM: return "SIGTERM";
    case SIGPIPE: return "SIGPIPE";
    default: return "unknown";
    }
}

sigset_t handledSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kHandledSignals)
        sigaddset(&set, sig);
    return set;
}

// A signal ends the robots' cycles cleanly (robot stopped and disconnected)
// so that the program's own end path runs. When no cycle runs, it ends the
// process as ARIA does, unless cycles were ended by a signal moments ago:
// then the program is on its way out (tools like `timeout` send a signal
// twice) and must be left to finish its end path.
void handleSignal(int sig)
{
    Globals &g = globals();
    logLine("Aria: Received signal '%s'. Exiting.", signalName(sig));
    auto now = std::chrono::steady_clock::now();
    if (requestEndOfAllCycles() > 0) {
        std::lock_guard<std::mutex> lock(g.mutex);
        g.cyclesEndedAt = now;
        g.cyclesEnded = true;
        return;
    }
    bool exitNotShutdown;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        if (g.cyclesEnded && now - g.cyclesEndedAt < kGraceAfterEnd)
            return;
        exitNotShutdown = g.exitNotShutdown;
    }
    if (exitNotShutdown)
        Aria::exit(0);
    stopAllRobots();
}

void signalThreadMain()
{
    Globals &g = globals();
    sigset_t set = handledSet();
    while (!g.signalThreadStop.load()) {
        // A short timeout lets shutdown() end this thread without a signal.
        timespec wait{0, 100 * 1000 * 1000};
        int sig = sigtimedwait(&set, NULL, &wait);
        if (sig > 0)
            handleSignal(sig);
    }
}

std::atomic<int> singlePendingSignal{0};
std::atomic<bool> singleWatcherStop{false};

void singleHandler(int sig) { singlePendingSignal.store(sig); }

} // namespace

void registerRobot(RobotCore *robot)
{
    Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.robots.push_back(robot);
}

void unregisterRobot(RobotCore *robot)
{
    Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.robots.erase(std::remove(g.robots.begin(), g.robots.end(), robot), g.robots.end());
}

int requestEndOfAllCycles()
{
    Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    int running = 0;
    for (RobotCore *r : g.robots)
        if (r->requestEnd())
            ++running;
    return running;
}

void stopAllRobots()
{
    Globals &g = globals();
    std::vector<RobotCore *> robots;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        robots = g.robots;
    }
    for (RobotCore *r : robots)
        r->onAriaExit();
}

void removeExitCallback(ArFunctor *functor)
{
    Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    for (auto it = g.exitCallbacks.begin(); it != g.exitCallbacks.end();) {
        if (it->second == functor)
            it = g.exitCallbacks.erase(it);
        else
            ++it;
    }
}

} // namespace ariacompat

using ariacompat::globals;

void Aria::init(SigHandleMethod method, bool, bool sigHandleExitNotShutdown)
{
    ariacompat::Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    if (g.initialised)
        return;
    g.initialised = true;
    g.method = method;
    g.exitNotShutdown = sigHandleExitNotShutdown;
    g.cyclesEnded = false;
    if (method == SIGHANDLE_THREAD) {
        // Blocked here, the signals stay blocked in every thread started
        // later, so only the waiting thread ever takes them.
        sigset_t set = ariacompat::handledSet();
        pthread_sigmask(SIG_BLOCK, &set, NULL);
        g.signalThreadStop.store(false);
        g.signalThread = std::thread(ariacompat::signalThreadMain);
    } else if (method == SIGHANDLE_SINGLE) {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = ariacompat::singleHandler;
        sigemptyset(&sa.sa_mask);
        for (int sig : ariacompat::kHandledSignals)
            sigaction(sig, &sa, NULL);
        // The handler only records the signal; this thread acts on it.
        ariacompat::singleWatcherStop.store(false);
        g.signalThread = std::thread([] {
            while (!ariacompat::singleWatcherStop.load()) {
                int sig = ariacompat::singlePendingSignal.exchange(0);
                if (sig != 0)
                    ariacompat::handleSignal(sig);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
}

void Aria::shutdown()
{
    ariacompat::stopAllRobots();
    ariacompat::Globals &g = globals();
    std::thread signalThread;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        if (!g.initialised)
            return;
        g.initialised = false;
        signalThread = std::move(g.signalThread);
    }
    g.signalThreadStop.store(true);
    ariacompat::singleWatcherStop.store(true);
    if (signalThread.joinable() && signalThread.get_id() != std::this_thread::get_id())
        signalThread.join();
    else if (signalThread.joinable())
        signalThread.detach();
}

void Aria::exit(int exitCode)
{
    ariacompat::Globals &g = globals();
    std::vector<ArFunctor *> callbacks;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        for (auto it = g.exitCallbacks.rbegin(); it != g.exitCallbacks.rend(); ++it)
            callbacks.push_back(it->second);
    }
    for (ArFunctor *f : callbacks)
        f->invoke();
    fflush(stdout);
    ::exit(exitCode);
}

void Aria::setKeyHandler(ArKeyHandler *keyHandler)
{
    ariacompat::Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.keyHandler = keyHandler;
}

void Aria::addExitCallback(ArFunctor *functor, int position)
{
    if (functor == NULL)
        return;
    ariacompat::Globals &g = globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.exitCallbacks.emplace(position, functor);
}

void ArUtil::sleep(unsigned int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
