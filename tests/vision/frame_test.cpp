// Whole frames through the vision loop's image work: threshold, labelling,
// candidate band, recognition and the count rule.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "drawing.h"
#include "frame.h"
#include "test_support.h"

using visiontest::discShape;
using visiontest::drawShapeRgb;
using visiontest::rectShape;

namespace {

// The vision program's state with a dark frame ready to draw on.
class Frame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(createVisionImages(state));
        for (int i = 0; i < 640 * 480 * 3; ++i) state.pic->data[i] = (i * 7) % 16;  // mean <= 15
        clearGoalPositions(state.goal);
    }
    void TearDown() override { destroyVisionImages(state); }

    // Runs one frame; returns the candidate count and keeps the output.
    int run()
    {
        clearGoalPositions(state.goal);
        int n = 0;
        output = kxtest::captureStdout([&] { n = processFrame(state); });
        return n;
    }
    std::pair<int, int> at(int marker) const { return {state.goal[marker].row, state.goal[marker].col}; }
    bool nothingPublished() const
    {
        for (int g = 0; g < 6; ++g)
            if (state.goal[g].row || state.goal[g].col) return false;
        return true;
    }
    // Pixels where greyPic differs from the labelled binPic: only the
    // centroid marks may.
    int greyDifferences() const
    {
        int differences = 0;
        for (int i = 0; i < 640 * 480; ++i)
            if (state.greyPic->data[i] != state.binPic->data[i] && state.greyPic->data[i] != 253) ++differences;
        return differences;
    }
    // A 5 x 5 square whose centroid is (row, col).
    void marker(int row, int col) { drawShapeRgb(state.pic, rectShape(5, 5), row - 2, col - 2); }

    VisionState state;
    std::string output;
};

} // namespace

TEST_F(Frame, DarkFrameHasNoCandidates)
{
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(nothingPublished());
    EXPECT_EQ(output, "");
}

TEST_F(Frame, SixMarkersArePlacedAtTheirCentroids)
{
    drawShapeRgb(state.pic, discShape(4), 196, 96);  // centre (200, 100)
    drawShapeRgb(state.pic, discShape(3), 199, 297); // centre (202, 300)
    marker(250, 98);
    marker(251, 305);
    drawShapeRgb(state.pic, rectShape(6, 7), 297, 100);  // rows 297..302, cols 100..106: (299, 103)
    marker(298, 296);
    EXPECT_EQ(run(), 6);
    EXPECT_EQ(at(kUpperLeft), std::make_pair(200, 100));
    EXPECT_EQ(at(kUpperRight), std::make_pair(202, 300));
    EXPECT_EQ(at(kMiddleLeft), std::make_pair(250, 98));
    EXPECT_EQ(at(kMiddleRight), std::make_pair(251, 305));
    EXPECT_EQ(at(kLowerLeft), std::make_pair(299, 103));
    EXPECT_EQ(at(kLowerRight), std::make_pair(298, 296));
    EXPECT_EQ(state.greyPic->data[200 * 640 + 100], 253);
}

TEST_F(Frame, OnlyTheRowBandGivesCandidates)
{
    // Centroid rows 165 and 365 lie just outside, 166 and 364 just inside.
    marker(165, 100);
    marker(166, 200);
    marker(364, 300);
    marker(365, 400);
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(state.recon[0].row, 166);
    EXPECT_EQ(state.recon[1].row, 364);
    EXPECT_EQ(state.blobs[0].valid, 0);
    EXPECT_EQ(state.blobs[3].valid, 0);
}

TEST_F(Frame, SmallBlobsTakeNumbersButNeverBecomeCandidates)
{
    drawShapeRgb(state.pic, rectShape(1, 5), 180, 500);  // 5 pixels, first in raster order
    marker(200, 100);
    marker(200, 300);
    marker(300, 100);
    marker(300, 300);
    EXPECT_EQ(run(), 4);
    EXPECT_EQ(state.blobs[0].count, 5);
    EXPECT_EQ(state.recon[0].seed, 198 * 640 + 98);
    EXPECT_EQ(at(kLowerRight), std::make_pair(300, 300));
}

TEST_F(Frame, CountRulePublishesNothingBelowFourOrAboveTen)
{
    marker(200, 100);
    marker(200, 300);
    marker(300, 100);
    EXPECT_EQ(run(), 3);
    EXPECT_TRUE(nothingPublished());

    marker(300, 300);
    // Extras on rows of their own, which pair with nothing.
    for (int extra = 0; extra < 6; ++extra) marker(175 + 33 * extra, 450 + extra * 25);
    EXPECT_EQ(run(), 10);
    EXPECT_EQ(at(kUpperLeft), std::make_pair(200, 100));

    marker(350, 600);  // an eleventh candidate
    EXPECT_EQ(run(), 11);
    EXPECT_TRUE(nothingPublished());
}

TEST_F(Frame, TooManyBlobsStopsTheScanAtTheTableSize)
{
    // 254 dots above the band, then the four markers: the first marker is blob
    // 254, the last one the table has room for.
    for (int d = 0; d < 254; ++d) kxtest::setRgb(state.pic, 2 + 2 * (d % 300), 10 + 2 * (d / 300), 99, 99, 99);
    marker(200, 100);
    marker(200, 300);
    marker(300, 100);
    marker(300, 300);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(output, "Too many blobs!!!\n");
    EXPECT_EQ(state.recon[0].seed, 198 * 640 + 98);
    EXPECT_TRUE(nothingPublished());
    // The grey copy holds the labels, and after the stop the three markers
    // left unlabelled.
    EXPECT_EQ(greyDifferences(), 0);
    EXPECT_EQ(state.greyPic->data[300 * 640 + 300], 255);

    // Exactly 255 regions also fill the table; 254 do not.
    for (int r = 190; r < 310; ++r)
        for (int c = 90; c < 310; ++c) kxtest::setRgb(state.pic, c, r, 0, 0, 0);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(output, "");
    marker(200, 100);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(output, "Too many blobs!!!\n");
}

TEST_F(Frame, FrameWithoutPixelsHasNoBlobs)
{
    marker(200, 100);
    free(state.pic->data);  // as after a grab whose re-initialisation failed
    state.pic->data = nullptr;
    state.goal[kUpperLeft].row = 5;
    EXPECT_EQ(processFrame(state), 0);
    EXPECT_TRUE(nothingPublished());
}
