// The controller's side: attachment, acknowledgement, the stop, interrupts.
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

#include "controller_link.h"
#include "link_clock.h"
#include "link_fixture.h"
#include "scripted_vision.h"

namespace {

const TargetReport kFrame = makeReport(170, 300, 171, 309, 250, 301, 251, 310, 330, 302, 331, 311);
const char kStopNotice[] = "\nInvio comando di terminazione processo di visione\n";

} // namespace

TEST_F(LinkTest, ControllerWithoutAVisionProgramFailsWithSemget)
{
    std::string where = dir();
    EXPECT_EXIT(
        {
            if (chdir(where.c_str()) == 0) controller_link::initializeSemShm();
        },
        ::testing::ExitedWithCode(1), "^semget: ");
    EXPECT_FALSE(linktest::semaphoreExists(key));
}

TEST_F(LinkTest, StopBeforeAttachingEndsQuietlyWithStatus0)
{
    EXPECT_EXIT(controller_link::lock(), ::testing::ExitedWithCode(0), "^$");
    std::string out = scratch.file("out");
    EXPECT_EXIT(
        {
            if (freopen(out.c_str(), "w", stdout)) controller_link::sortOut(SIGINT);
        },
        ::testing::ExitedWithCode(0), "^$");
    EXPECT_EQ(kxtest::readFile(out), kStopNotice);
}

TEST_F(LinkTest, ControllerReadsWordsAndAcknowledgesReports)
{
    ScriptedVision vision(dir());

    int status = linktest::runChild(dir(), [&] {
        controller_link::initializeSemShm();
        vision.publish(kFrame);
        // Positions count only once a new report has been seen.
        if (controller_link::readWord(&TargetReport::ulCol) != 0) return 1;
        if (!controller_link::acknowledgeReport()) return 2;
        if (controller_link::readWord(&TargetReport::newReport) != 0) return 3;
        if (controller_link::readWord(&TargetReport::running) != 1) return 4;
        if (controller_link::readWord(&TargetReport::ulCol) != 300) return 5;
        return controller_link::readWord(&TargetReport::lrRow) == 331 ? 0 : 6;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(vision.newReport());
    EXPECT_TRUE(vision.running());
    EXPECT_EQ(vision.semaphoreValue(), 1);
}

TEST_F(LinkTest, StopClearsTheFlagsOnceAndLetsGoOfTheRecord)
{
    ScriptedVision vision(dir());
    vision.publish(kFrame);
    std::string out = scratch.file("out");

    int status = linktest::runChild(dir(), [&] {
        if (!freopen(out.c_str(), "w", stdout)) return 9;
        controller_link::initializeSemShm();
        controller_link::sortOut(0);
        controller_link::sortOut(SIGINT); // a second stop does nothing
        controller_link::acknowledgeReport();
        if (!controller_link::stopHasRun()) return 1;
        // The mapping is gone: reads give 0, not the record's 300.
        return controller_link::readWord(&TargetReport::ulCol) == 0 ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kxtest::readFile(out), kStopNotice);

    TargetReport expected = kFrame;
    expected.newReport = 0;
    expected.running = 0;
    EXPECT_TRUE(sameReport(vision.snapshot(), expected));
    EXPECT_EQ(vision.semaphoreValue(), 1);
}

// The stop may come from another thread (ARIA's exit callbacks) while the
// robot's cycle thread and the control loop still read the record: none of
// them may touch the mapping once it is detached (that would fault).
TEST_F(LinkTest, StopFromAnotherThreadWhileTheRecordIsInUse)
{
    ScriptedVision vision(dir());
    vision.publish(kFrame);
    int status = linktest::runChild(dir(), [] {
        controller_link::initializeSemShm();
        std::atomic<bool> done{false};
        std::atomic<long> nonZeroAfterStop{0};
        auto reader = [&] {
            while (!done.load()) {
                bool stoppedBefore = controller_link::stopHasRun();
                int32_t column = controller_link::readWord(&TargetReport::ulCol);
                if (stoppedBefore && column != 0) ++nonZeroAfterStop;
            }
        };
        std::thread cycle(reader);
        std::thread loop([&] {
            while (!done.load()) controller_link::acknowledgeReport();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::thread stopper([] { controller_link::sortOut(SIGINT); });
        stopper.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        done = true;
        cycle.join();
        loop.join();
        return nonZeroAfterStop.load() == 0 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(vision.running());
    EXPECT_EQ(vision.semaphoreValue(), 1);
}

TEST_F(LinkTest, StopWaitsForTheVisionSideToReleaseTheLock)
{
    ScriptedVision vision(dir());
    vision.lock();
    pid_t controller = linktest::startChild(dir(), [] {
        controller_link::initializeSemShm();
        controller_link::sortOut(0);
        return 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(vision.running()) << "cleared without the lock";
    vision.unlock();
    EXPECT_EQ(linktest::waitChild(controller), 0);
    EXPECT_FALSE(vision.running());
}

TEST_F(LinkTest, InterruptsBeforeAriaAreOnlyNoted)
{
    int status = linktest::runChild(dir(), [] {
        controller_link::installInterruptHandlers();
        if (controller_link::interruptSignal() != 0) return 1;
        raise(SIGINT);
        if (controller_link::interruptSignal() != SIGINT) return 2;
        raise(SIGHUP);
        raise(SIGTERM);
        return controller_link::interruptSignal() == SIGTERM ? 0 : 3;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(LinkTest, AnInheritedIgnoreOfSigintIsKept)
{
    int status = linktest::runChild(dir(), [] {
        signal(SIGINT, SIG_IGN);
        controller_link::installInterruptHandlers();
        raise(SIGINT);
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        if (now.sa_handler != SIG_IGN) return 1;
        return controller_link::interruptSignal() == 0 ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

// The freshness rule at its edges, on the link's own clock: a report left
// set before the attachment is not new; a new one counts for 499 ms, not
// 500, and all twelve words together; five seconds of silence are counted
// from the robot's connection, and the controller that gives up on a silent
// vision program still clears its run flag.
TEST_F(LinkTest, FreshnessAtItsEdges)
{
    ScriptedVision vision(dir());
    vision.publish(kFrame); // the last report of a vision program since killed
    std::string out = scratch.file("out");
    static std::atomic<int64_t> clockMs{1000000};
    int status = linktest::runChild(dir(), [&] {
        if (!freopen(out.c_str(), "w", stdout)) return 9;
        link_clock::setSource([] { return clockMs.load(); });
        controller_link::initializeSemShm();
        TargetReport seen;
        if (!controller_link::acknowledgeReport() || controller_link::readPositions(&seen)) return 1;
        clockMs += 60000; // connecting takes a minute: no silence counted yet
        if (!controller_link::acknowledgeReport()) return 2;
        controller_link::startWatching();

        vision.publish(kFrame);
        if (!controller_link::acknowledgeReport()) return 3;
        clockMs += 499;
        if (!controller_link::readPositions(&seen) || seen.ulCol != 300 || seen.lrRow != 331) return 4;
        clockMs += 1;
        if (controller_link::readPositions(&seen) || seen.ulCol != 0 || seen.lrRow != 0) return 5;
        if (controller_link::readWord(&TargetReport::urRow) != 0) return 6;

        clockMs += 4499; // 4999 ms after the last report
        if (!controller_link::acknowledgeReport()) return 7;
        clockMs += 1;
        if (controller_link::acknowledgeReport()) return 8;
        controller_link::sortOut(0);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kxtest::readFile(out),
              "\nVision program gone (no new report for 5 s): stopping the robot\n" + std::string(kStopNotice));
    EXPECT_FALSE(vision.running());
}
