// The vision program's side: creation, reuse, publication and shutdown.
#include <csignal>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include "link_fixture.h"
#include "vision_link.h"

namespace {

const TargetReport kFrame = {170, 300, 171, 309, 250, 301, 251, 310, 330, 302, 331, 311, 7, 7};

// The vision program's start as far as the frame loop.
void startVision()
{
    vision_link::initializeSemShm();
    vision_link::setRunning();
}

} // namespace

TEST_F(LinkTest, StartCreatesAFreeLockAndASharedRecord)
{
    ASSERT_EQ(linktest::runChild(dir(), [] { startVision(); return 0; }), 0);

    int semid = semget(key, 1, 0);
    ASSERT_NE(semid, -1);
    EXPECT_EQ(semctl(semid, 0, GETVAL), 1);
    shmid_ds segment{};
    ASSERT_EQ(shmctl(shmget(key, 0, 0), IPC_STAT, &segment), 0);
    EXPECT_EQ(segment.shm_segsz, 56u);
    EXPECT_EQ(segment.shm_perm.mode & 0777, 0666u);
    EXPECT_EQ(linktest::readSegment(key).running, 1);
}

TEST_F(LinkTest, StartWithoutTheKeyFileFailsWithFtok)
{
    ASSERT_EQ(unlink(scratch.file("quorvantel").c_str()), 0);
    std::string where = dir();
    EXPECT_EXIT(
        {
            if (chdir(where.c_str()) == 0) vision_link::initializeSemShm();
        },
        ::testing::ExitedWithCode(1), "^ftok: ");
}

TEST_F(LinkTest, PublicationCopiesPositionsAndSetsNewReportOnly)
{
    int status = linktest::runChild(dir(), [] {
        startVision();
        return vision_link::publishReport(kFrame) ? 0 : 1;
    });
    ASSERT_EQ(status, 0);

    TargetReport expected = kFrame;
    expected.newReport = 1;
    expected.running = 1; // set by the start, not by the publication
    EXPECT_TRUE(sameReport(linktest::readSegment(key), expected));
}

TEST_F(LinkTest, AVisionProcessKilledHoldingTheLockGivesItBackAndARestartReusesTheObjects)
{
    // Killed while holding the lock: SEM_UNDO gives it back.
    int killed = linktest::runChild(dir(), [] {
        startVision();
        vision_link::publishReport(kFrame);
        vision_link::lock();
        raise(SIGKILL);
        return 0;
    });
    ASSERT_EQ(killed, 128 + SIGKILL);
    int semid = semget(key, 1, 0);
    int shmid = shmget(key, 0, 0);
    ASSERT_NE(semid, -1);
    ASSERT_EQ(semctl(semid, 0, GETVAL), 1);

    // Until its first publication the new run shows the old positions.
    int restarted = linktest::runChild(dir(), [] {
        vision_link::initializeSemShm();
        TargetReport seen = loadReport(*vision_link::attachedReport());
        return seen.ulRow == kFrame.ulRow && seen.lrCol == kFrame.lrCol ? 0 : 1;
    });
    EXPECT_EQ(restarted, 0);
    EXPECT_EQ(semget(key, 1, 0), semid);
    EXPECT_EQ(shmget(key, 0, 0), shmid);
    EXPECT_EQ(semctl(semid, 0, GETVAL), 1);
}

TEST_F(LinkTest, ShutdownRemovesTheLockAndLeavesTheRecord)
{
    int status = linktest::runChild(dir(), [] {
        startVision();
        vision_link::publishReport(kFrame);
        vision_link::shutdownSemShm();
        return vision_link::attachedReport() == nullptr ? 0 : 1;
    });
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(linktest::semaphoreExists(key));
    ASSERT_TRUE(linktest::segmentExists(key));
    EXPECT_EQ(linktest::readSegment(key).lrCol, kFrame.lrCol);

    // A second run finds the same record again.
    ASSERT_EQ(linktest::runChild(dir(), [] {
        vision_link::initializeSemShm();
        return vision_link::attachedReport()->lrCol == kFrame.lrCol ? 0 : 1;
    }), 0);
}
