// stationview's window on a private X server: the overlays lie on the
// markers of the picture, and a click reports the camera's colour there.
#include <chrono>
#include <thread>

#include "child_process.h"
#include "display_session.h"
#include "test_support.h"
#include "y4m_video.h"

namespace kxtest {
namespace {

constexpr unsigned long kGreen = 0x00FF00, kRed = 0xFF0000, kYellow = 0xFFFF00, kBand = 0x0060FF;
constexpr unsigned long kGround = 0x040404;  // luma 20 after the grabber's conversion

TEST(StationviewWindow, OverlaysLieOnTheMarkers)
{
    XvfbServer &server = serverFor(24);
    ASSERT_TRUE(server.ok()) << server.error();
    setenv("DISPLAY", server.name().c_str(), 1);
    XUser user(server.name());
    ASSERT_TRUE(user.ok());

    ScratchDir dir;
    visiontest::LumaFrame frame;
    const int rows[6] = {200, 202, 250, 251, 300, 299}, cols[6] = {250, 400, 248, 402, 252, 398};
    for (int k = 0; k < 6; ++k) frame.disc(rows[k], cols[k], 5);
    ASSERT_TRUE(visiontest::writeY4m(dir.file("station.y4m"), {frame}));

    ChildProcess viewer({STATIONVIEW_PATH, dir.file("station.y4m")});
    XWindowId window = user.findWindow(kWindowTitle, 10000);
    ASSERT_NE(window, 0u);
    auto pixel = [&](int x, int y) {
        std::vector<unsigned long> read = user.readPixels(window, x, y, 1, 1);
        return read.size() == 1 ? read[0] : ~0ul;
    };
    // The first picture and its overlays may still be on their way: wait for every cross.
    auto allCrossesShown = [&] {
        for (int k = 0; k < 6; ++k)
            if (pixel(cols[k], rows[k]) != (k % 2 == 0 ? kGreen : kRed)) return false;
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!allCrossesShown() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    int width = 0, height = 0;
    ASSERT_TRUE(user.windowSize(window, &width, &height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    // Crosses on each marker's centre: left column green, right column red.
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(pixel(cols[k], rows[k]), k % 2 == 0 ? kGreen : kRed) << "marker " << k;
    EXPECT_EQ(pixel(250 + 7, 200), kGreen);           // an arm of the upper-left cross
    EXPECT_EQ(pixel(250 - 6, 200 - 6), kYellow);      // the candidate square's corner
    EXPECT_EQ(pixel(0, 166), kBand);                  // the band's top row
    EXPECT_EQ(pixel(0, 364), kBand);                  // and its bottom row
    EXPECT_EQ(pixel(0, 165), kGround);
    EXPECT_EQ(pixel(320, 240), kGround);              // between the markers

    // A click reports the picture's own colour, not the overlay's.
    user.click(window, 250, 200, 1);
    EXPECT_TRUE(viewer.waitForLine("point 250 200 button 1 colour 249 249 249"));
    user.click(window, 10, 10, 3);
    EXPECT_EQ(viewer.wait(), 0);
}

} // namespace
} // namespace kxtest
