// The start and stop handshake between a real vision side and a real
// controller side, each in a process of its own.
#include <chrono>
#include <random>
#include <sched.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <thread>
#include <unistd.h>

#include "controller_link.h"
#include "link_fixture.h"
#include "vision_link.h"

namespace {

TargetReport frameNumber(int n)
{
    TargetReport frame{};
    frame.ulRow = n;
    return frame;
}

// Waits up to ten seconds for the vision side's semaphore set to appear.
bool waitForVisionStart(key_t key)
{
    for (int i = 0; i < 10000; ++i) {
        if (linktest::semaphoreExists(key) && linktest::readSegment(key).running == 1) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

int stopController()
{
    controller_link::initializeSemShm();
    controller_link::sortOut(0);
    return 0;
}

} // namespace

// The vision side finishes the frame in hand, publishes it, sees the cleared
// flag and quits: one publication after the stop, never two.
TEST_F(LinkTest, VisionPublishesAtMostOnceAfterTheStop)
{
    int toVision[2];
    ASSERT_EQ(pipe(toVision), 0);
    pid_t vision = linktest::startChild(dir(), [&] {
        vision_link::initializeSemShm();
        vision_link::setRunning();
        int frame = 0;
        char go;
        // One publication per byte from the test, until the flag reads 0.
        while (read(toVision[0], &go, 1) == 1) {
            if (!vision_link::publishReport(frameNumber(++frame))) {
                vision_link::shutdownSemShm();
                return frame;
            }
        }
        return 100;
    });
    close(toVision[0]);
    ASSERT_TRUE(waitForVisionStart(key));
    ASSERT_EQ(write(toVision[1], "g", 1), 1);
    for (int i = 0; i < 2000 && linktest::readSegment(key).newReport == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    EXPECT_EQ(linktest::runChild(dir(), stopController), 0);
    TargetReport stopped = linktest::readSegment(key);
    EXPECT_EQ(stopped.ulRow, 1);
    EXPECT_EQ(stopped.newReport, 0);
    EXPECT_EQ(stopped.running, 0);

    ASSERT_EQ(write(toVision[1], "gg", 2), 2);
    close(toVision[1]);
    EXPECT_EQ(linktest::waitChild(vision), 2) << "second frame should have been the last";
    TargetReport last = linktest::readSegment(key);
    EXPECT_EQ(last.ulRow, 2);
    EXPECT_EQ(last.newReport, 1);
    EXPECT_EQ(last.running, 0);
    EXPECT_FALSE(linktest::semaphoreExists(key));
}

// A free-running vision side against a controller that stops at a random
// moment: the controller's final unlock must never meet a removed set.
TEST_F(LinkTest, RepeatedStopRacesEndBothSidesCleanly)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> acknowledgements(0, 20);
    const int kHandshakes = 300;
    int failures = 0;
    for (int round = 0; round < kHandshakes && failures < 5; ++round) {
        pid_t vision = linktest::startChild(dir(), [] {
            vision_link::initializeSemShm();
            vision_link::setRunning();
            int frame = 0;
            while (vision_link::publishReport(frameNumber(++frame))) {
            }
            vision_link::shutdownSemShm();
            return 0;
        });
        ASSERT_TRUE(waitForVisionStart(key));
        int passes = acknowledgements(random);
        int controller = linktest::runChild(dir(), [passes] {
            controller_link::initializeSemShm();
            for (int i = 0; i < passes; ++i) controller_link::acknowledgeReport();
            controller_link::sortOut(0);
            return 0;
        });
        int visionStatus = linktest::waitChild(vision);
        TargetReport last = linktest::readSegment(key);
        bool clean = controller == 0 && visionStatus == 0 && last.running == 0 &&
                     !linktest::semaphoreExists(key);
        if (!clean) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": controller " << controller << ", vision "
                          << visionStatus << ", run flag " << last.running;
        }
    }
    EXPECT_EQ(failures, 0);
}

namespace {

// Both processes on one CPU, the vision side at idle priority while it
// publishes: when its unlock wakes the waiting controller, the controller
// runs first. (Without these settings the test still runs, less sharply.)
void runOn(int cpu)
{
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(cpu, &cpus);
    sched_setaffinity(0, sizeof cpus, &cpus);
}

void setPolicy(int policy)
{
    sched_param none{};
    sched_setscheduler(0, policy, &none);
}

} // namespace

// The worst case for the vision side's ordering: a controller that takes the
// lock the moment the vision side releases it, clears the run flag, and is
// then slow to unlock. A vision side that looked at the flag only after its
// unlock would see 0 in that gap and remove the set under the controller.
TEST_F(LinkTest, ASlowStopRightAfterAPublicationKeepsItsLock)
{
    const int kRounds = 5;
    const int cpu = sched_getcpu() >= 0 ? sched_getcpu() : 0;
    for (int round = 0; round < kRounds; ++round) {
        pid_t vision = linktest::startChild(dir(), [cpu] {
            runOn(cpu);
            vision_link::initializeSemShm();
            vision_link::setRunning();
            setPolicy(SCHED_IDLE);
            int frame = 0;
            while (vision_link::publishReport(frameNumber(++frame))) {
            }
            setPolicy(SCHED_OTHER);
            vision_link::shutdownSemShm();
            return 0;
        });
        ASSERT_TRUE(waitForVisionStart(key));
        int semid = semget(key, 1, 0);
        int controller = linktest::runChild(dir(), [semid, cpu, this] {
            runOn(cpu);
            auto *record = static_cast<TargetReport *>(shmat(shmget(key, 0, 0), nullptr, 0));
            sembuf take{0, -1, 0}, give{0, +1, 0};
            if (semop(semid, &take, 1) != 0) return 2;
            storeWord(record->running, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return semop(semid, &give, 1) == 0 ? 0 : 1;
        });
        EXPECT_EQ(controller, 0) << "round " << round << ": the final unlock failed";
        EXPECT_EQ(linktest::waitChild(vision), 0);
        if (HasFailure()) break;
    }
}
