// The viewer tool on a real X server: it shows the picture (or its test
// pattern), reports clicks in picture coordinates and ends on the right
// button.
#include "child_process.h"
#include "display_session.h"
#include "test_support.h"

namespace kxtest {
namespace {

class KxviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XvfbServer &server = serverFor(24);
        ASSERT_TRUE(server.ok()) << server.error();
        setenv("DISPLAY", server.name().c_str(), 1);
        user_ = std::make_unique<XUser>(server.name());
        ASSERT_TRUE(user_->ok());
    }

    // A 4 x 3 picture whose pixel (x, y) is (10x + y, 100 + x, 200 + y).
    std::string writePicture()
    {
        std::string ppm = "P6\n4 3\n255\n";
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ppm += {static_cast<char>(10 * x + y), static_cast<char>(100 + x),
                        static_cast<char>(200 + y)};
        std::string path = scratch_.file("small.ppm");
        EXPECT_TRUE(writeFile(path, ppm));
        return path;
    }

    ScratchDir scratch_;
    std::unique_ptr<XUser> user_;
};

TEST_F(KxviewTest, ReportsClicksOnTheLoadedPictureAndQuitsOnTheRightButton)
{
    ChildProcess viewer({KXVIEW_PATH, writePicture()});
    ASSERT_TRUE(viewer.waitForLine("Kelvix 1.9.2"));
    XWindowId window = user_->findWindow(kWindowTitle, 10000);
    ASSERT_NE(window, 0u);
    int width = 0, height = 0;
    ASSERT_TRUE(user_->windowSize(window, &width, &height));
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 3);

    user_->click(window, 2, 1, 1);
    std::string line;
    ASSERT_TRUE(viewer.readLine(&line));
    while (line.rfind("point", 0) != 0) ASSERT_TRUE(viewer.readLine(&line));
    EXPECT_EQ(line, "point 2 1 button 1 colour 21 102 201");
    auto pixels = user_->readPixels(window, 2, 1, 1, 1);
    ASSERT_EQ(pixels.size(), 1u);
    EXPECT_EQ(pixels[0], 0x1566C9u);

    user_->click(window, 3, 2, 2);
    ASSERT_TRUE(viewer.readLine(&line));
    EXPECT_EQ(line, "point 3 2 button 2 colour 32 103 202");
    user_->click(window, 0, 0, 3);
    EXPECT_EQ(viewer.wait(), 0);
}

TEST_F(KxviewTest, TurnedViewReportsPictureCoordinates)
{
    ChildProcess viewer({KXVIEW_PATH, "-r", "-s", writePicture()});
    XWindowId window = user_->findWindow(kWindowTitle, 10000);
    ASSERT_NE(window, 0u);
    user_->click(window, 0, 0, 1);
    ASSERT_TRUE(viewer.waitForLine("point 3 2 button 1 colour 32 103 202"));
    user_->click(window, 0, 0, 3);
    EXPECT_EQ(viewer.wait(), 0);
}

TEST_F(KxviewTest, WithoutAFileShowsTheTestPattern)
{
    ChildProcess viewer({KXVIEW_PATH});
    XWindowId window = user_->findWindow(kWindowTitle, 10000);
    ASSERT_NE(window, 0u);
    int width = 0, height = 0;
    ASSERT_TRUE(user_->windowSize(window, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    // White bar at the top left, black at the bottom left of the grey ramp.
    user_->click(window, 0, 0, 1);
    ASSERT_TRUE(viewer.waitForLine("point 0 0 button 1 colour 255 255 255"));
    EXPECT_EQ(user_->readPixels(window, 0, 0, 1, 1), std::vector<unsigned long>{0xFFFFFF});
    EXPECT_EQ(user_->readPixels(window, 0, 239, 1, 1), std::vector<unsigned long>{0});
    user_->click(window, 0, 0, 3);
    EXPECT_EQ(viewer.wait(), 0);
}

TEST_F(KxviewTest, UnreadableFileEndsWithAnError)
{
    ChildProcess viewer({KXVIEW_PATH, scratch_.file("missing.ppm")});
    EXPECT_EQ(viewer.wait(), 1);
}

} // namespace
} // namespace kxtest
