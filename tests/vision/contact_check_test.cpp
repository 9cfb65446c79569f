// stationview --check-contact on recordings of a station seen from its
// contacts: the verdict for a well built station, a camera pitched up and an
// upper pair set too low, and for a picture without the station.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tool_process.h"
#include "y4m_video.h"

using visiontest::LumaFrame;

namespace {

// Six markers: upper, middle and lower pairs, left column 300, right 390.
LumaFrame stationAt(int upperRow, int lowerRow)
{
    LumaFrame frame;
    for (int row : {upperRow, (upperRow + lowerRow) / 2, lowerRow}) {
        frame.disc(row, 300, 8);
        frame.disc(row, 390, 8);
    }
    return frame;
}

std::string checkContact(const LumaFrame &frame, int *status)
{
    kxtest::ScratchDir dir;
    EXPECT_TRUE(visiontest::writeY4m(dir.file("contact.y4m"), {frame}));
    linktest::ToolResult run = linktest::runTool(
        dir.path(), {STATIONVIEW_PATH, "--check-contact", "--no-window", "-n", "3", "contact.y4m"});
    *status = run.status;
    return run.out;
}

} // namespace

TEST(ContactCheck, TellsWhatToChangeAtContact)
{
    int status = -1;
    // The simulated station at contact (camera 0.51 m from the markers): both
    // pairs a few rows outside the band, in its proportions.
    EXPECT_EQ(checkContact(stationAt(162, 370), &status),
              "contact upper 162,162 margin 4.0 lower 370,370 margin 6.0 verdict ok\n");
    EXPECT_EQ(status, 0);

    // Pitched up a degree (6 rows down): the upper pair stays in the band.
    // The common shift (74 x 12 + 125 x 2) / 199 = 5.7 rows, atan(5.7 / 355).
    EXPECT_EQ(checkContact(stationAt(168, 376), &status),
              "contact upper 168,168 margin -2.0 lower 376,376 margin 12.0 verdict tilt-down 0.9 deg\n");

    // Upper pair on the band's top row, the rest balanced: raise it to 3 rows
    // out, 0.2986 m / 201 rows = 1.49 mm a row.
    EXPECT_EQ(checkContact(stationAt(166, 367), &status),
              "contact upper 166,166 margin 0.0 lower 367,367 margin 3.0 verdict raise-upper 4 mm\n");

    EXPECT_EQ(checkContact(LumaFrame(), &status),
              "contact upper -,- margin - lower -,- margin - verdict no-markers\n");
    EXPECT_NE(status, 0);
}
