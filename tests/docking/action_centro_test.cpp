// The centering action's arithmetic, cycle by cycle, on a real record.
//
// The controller is one source that includes only Aria.h and the link's
// header, so the test takes the class from that source, with the program's
// main renamed out of the way.
#define main dockingProgramMain
#include "docking.cpp"
#undef main

#include <cmath>
#include <gtest/gtest.h>
#include <unistd.h>

#include "scripted_vision.h"
#include "test_support.h"

namespace {

// One record for the whole program: the controller's side of the link is
// process-wide and attaches once.
class CentroTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch_ = new kxtest::ScratchDir;
        ASSERT_NE(makeKeyFile(scratch_->path()), -1);
        vision_ = new ScriptedVision(scratch_->path());
        char here[4096];
        ASSERT_TRUE(getcwd(here, sizeof here));
        ASSERT_EQ(chdir(scratch_->path().c_str()), 0);
        controller_link::initializeSemShm();
        ASSERT_EQ(chdir(here), 0);
    }
    static void TearDownTestSuite()
    {
        delete vision_;
        delete scratch_;
    }
    void SetUp() override { distanza.store(0.0); }

    // Publishes the two steering columns (every other word 0) and takes them
    // in as a control pass does: positions count only while fresh.
    static void columns(int ulCol, int llCol)
    {
        vision_->publish(makeReport(0, ulCol, 0, 0, 0, 0, 0, 0, 0, llCol, 0, 0));
        controller_link::acknowledgeReport();
    }

    // One firing: returns the diagnostic line and the answer.
    static std::string fire(ActionCentro &action, double &heading, double &speed)
    {
        ArActionDesired *answer = nullptr;
        std::string line = kxtest::captureStdout([&] { answer = action.fire(ArActionDesired()); });
        heading = answer ? answer->getDeltaHeading() : 1e9;
        speed = answer ? answer->getVel() : 1e9;
        return line;
    }

    static kxtest::ScratchDir *scratch_;
    static ScriptedVision *vision_;
};

kxtest::ScratchDir *CentroTest::scratch_ = nullptr;
ScriptedVision *CentroTest::vision_ = nullptr;

TEST_F(CentroTest, SteersByTheUnroundedMeanOfTheLeftColumns)
{
    ActionCentro action;
    double heading, speed;
    columns(300, 310);
    EXPECT_EQ(fire(action, heading, speed), "\n 3.461538 350 0.000000");
    EXPECT_NEAR(heading, 45.0 / 13, 1e-12);
    EXPECT_EQ(speed, 200);

    columns(301, 302); // mean 301.5, not 301
    distanza.store(2.0);
    EXPECT_EQ(fire(action, heading, speed), "\n 3.730769 350 2.000000");
    EXPECT_NEAR(heading, 48.5 / 13, 1e-12);
}

TEST_F(CentroTest, LimitsTheTurnToFiveDegreesEitherWay)
{
    ActionCentro action;
    double heading, speed;
    action.setOB_Y(575);
    columns(100, 120); // (575 - 110) / 13 = 35.77
    EXPECT_EQ(fire(action, heading, speed), "\n 5.000000 575 0.000000");
    EXPECT_EQ(heading, 5.0);

    action.setOB_Y(300);
    columns(400, 420); // (300 - 410) / 13 = -8.46
    fire(action, heading, speed);
    EXPECT_EQ(heading, -5.0);
    EXPECT_EQ(speed, 200);
}

TEST_F(CentroTest, OneSteeringMarkerKeepsTheLastTurnAndDrives)
{
    ActionCentro action;
    double heading, speed;
    action.setOB_Y(575);
    columns(100, 120);
    fire(action, heading, speed);
    columns(0, 250);
    EXPECT_EQ(fire(action, heading, speed), "\n 5.000000 575 0.000000");
    EXPECT_EQ(speed, 200);
    columns(90, 0);
    fire(action, heading, speed);
    EXPECT_EQ(heading, 5.0);
    EXPECT_EQ(speed, 200);
}

TEST_F(CentroTest, WithoutSteeringMarkersStopsAndTurnsClockwise)
{
    ActionCentro action;
    double heading, speed;
    columns(311, 311); // (350 - 311) / 13 = 3
    fire(action, heading, speed);
    ASSERT_EQ(heading, 3.0);

    columns(0, 0);
    EXPECT_EQ(fire(action, heading, speed), "\n -6.000000 350 0.000000");
    EXPECT_EQ(speed, 0);
    fire(action, heading, speed);
    EXPECT_EQ(heading, -10.0); // limited to -5, then doubled
    fire(action, heading, speed);
    EXPECT_EQ(heading, -10.0);
    EXPECT_EQ(speed, 0);

    // Markers back: steering starts again from the report.
    columns(300, 310);
    fire(action, heading, speed);
    EXPECT_NEAR(heading, 45.0 / 13, 1e-12);
    EXPECT_EQ(speed, 200);
}

TEST_F(CentroTest, WithoutMarkersFromTheStartStandsStill)
{
    ActionCentro action;
    double heading, speed;
    columns(0, 0);
    std::string line = fire(action, heading, speed);
    EXPECT_EQ(heading, 0.0);
    EXPECT_EQ(speed, 0);
    EXPECT_EQ(line, "\n -0.000000 350 0.000000"); // -2 x |0| is a negative zero
}

TEST_F(CentroTest, ReadsOnlyTheUpperLeftAndLowerLeftColumns)
{
    ActionCentro action;
    double heading, speed;
    vision_->publish(makeReport(170, 0, 171, 300, 250, 301, 251, 310, 330, 0, 331, 311));
    fire(action, heading, speed);
    EXPECT_EQ(heading, 0.0);
    EXPECT_EQ(speed, 0);
}

} // namespace

namespace {

// The control loop's choice of target column, seen through the action's
// diagnostic line.
int targetAfter(double distance, int mlRow, int mlCol, int before)
{
    ActionCentro action;
    action.setOB_Y(before);
    centro_pointer = &action;
    chooseTargetColumn(distance, mlRow, mlCol);
    centro_pointer = nullptr;
    std::string line = kxtest::captureStdout([&] { action.fire(ArActionDesired()); });
    int target = -1;
    double c, d;
    sscanf(line.c_str(), "\n %lf %d %lf", &c, &target, &d);
    return target;
}

TEST(TargetColumn, FollowsDistanceAndTheMiddleLeftMarker)
{
    EXPECT_EQ(targetAfter(3.0, 0, 0, 1), 575);
    EXPECT_EQ(targetAfter(106.0 / 42, 0, 0, 1), 575); // 2.524 counts as far
    EXPECT_EQ(targetAfter(3.0, 250, 301, 1), 350);
    EXPECT_EQ(targetAfter(2.5, 0, 0, 1), 540);
    EXPECT_EQ(targetAfter(0.0, 0, 0, 1), 540); // no estimate yet
    EXPECT_EQ(targetAfter(2.0, 250, 301, 1), 300);
    EXPECT_EQ(targetAfter(HUGE_VAL, 250, 301, 1), 350); // rows equal: infinitely far
    EXPECT_EQ(targetAfter(3.0, 0, 120, 7), 7);  // half a marker changes nothing
    EXPECT_EQ(targetAfter(2.0, 250, 0, 7), 7);
}

} // namespace
