// The interactive line tool, driven by XTest clicks on a private Xvfb server.
#include <gtest/gtest.h>  // before any X header

#include "pixel_helpers.h"
#include "xvfb_server.h"

using kxtest::captureStdout;
using kxtest::ImagePtr;
using pixeltest::paintedPixels;
using pixeltest::Pixels;
using pixeltest::pixelsOfColour;

namespace {

class DrawLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new kxtest::XvfbServer(); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    // Opens the library's window (larger than the test pictures, so that
    // clicks can also land beside them).
    void SetUp() override
    {
        ASSERT_TRUE(server_->ok()) << server_->error();
        ASSERT_GT(kxDisplayInit(100, 80, 0), 0);
        user_ = std::make_unique<kxtest::XUser>(server_->name());
        ASSERT_TRUE(user_->ok());
        window_ = user_->findWindow("Kelvix 1.9.2");
        ASSERT_NE(window_, 0u);
    }
    void TearDown() override { kxDisplayShutdown(); }

    // Clicks (x1, y1) then (x2, y2) and runs the line tool on `image`;
    // returns what it printed.
    std::string drawLine(kxImage *image, int x1, int y1, int x2, int y2, kxSegment *segment)
    {
        user_->click(window_, x1, y1);
        user_->click(window_, x2, y2, 3);  // any button will do
        return captureStdout([&] { *segment = kxDrawLine(image, 10, 20, 30); });
    }

    static kxtest::XvfbServer *server_;
    std::unique_ptr<kxtest::XUser> user_;
    kxtest::XWindowId window_ = 0;
};

kxtest::XvfbServer *DrawLineTest::server_ = nullptr;

Pixels rowRun(int y, int x0, int x1)
{
    Pixels p;
    for (int x = x0; x <= x1; ++x) p.insert({x, y});
    return p;
}

} // namespace

TEST_F(DrawLineTest, ShallowLineFromTwoClicks)
{
    ImagePtr image(kxtest::makeImage(RGB, 40, 30, 0));
    kxSegment segment{};
    EXPECT_EQ(drawLine(image.get(), 0, 0, 10, 1, &segment), "click  corner\nclick  corner\nDistance: 10.05 \n");
    EXPECT_EQ(segment.x1, 0);
    EXPECT_EQ(segment.x2, 10);
    EXPECT_EQ(segment.y1, 0);
    EXPECT_EQ(segment.y2, 1);
    Pixels expected = rowRun(0, 0, 8);
    expected.insert({{9, 1}, {10, 1}});
    EXPECT_EQ(pixelsOfColour(image.get(), 10, 20, 30), expected);
    EXPECT_EQ(paintedPixels(image.get()), expected);
}

TEST_F(DrawLineTest, SteepLineAndSinglePoint)
{
    ImagePtr image(kxtest::makeImage(RGB, 40, 30, 0));
    kxSegment segment{};
    EXPECT_EQ(drawLine(image.get(), 0, 0, 2, 10, &segment), "click  corner\nclick  corner\nDistance: 10.20 \n");
    Pixels painted = paintedPixels(image.get());
    EXPECT_EQ(painted.size(), 11u);
    EXPECT_EQ(painted.count({2, 10}), 1u);

    ImagePtr dot(kxtest::makeImage(RGB, 40, 30, 0));
    EXPECT_EQ(drawLine(dot.get(), 3, 3, 3, 3, &segment), "click  corner\nclick  corner\nDistance: 0.00 \n");
    EXPECT_EQ(paintedPixels(dot.get()), (Pixels{{3, 3}}));
    EXPECT_EQ(segment.x2, 3);
    EXPECT_EQ(segment.y2, 3);
}

TEST_F(DrawLineTest, ClicksBesideThePictureAreClipped)
{
    // The window is 100 x 80, the picture 40 x 30: the line runs off its
    // right edge and only the part inside is painted.
    ImagePtr image(kxtest::makeImage(RGB, 40, 30, 0));
    kxSegment segment{};
    EXPECT_EQ(drawLine(image.get(), 35, 5, 90, 5, &segment), "click  corner\nclick  corner\nDistance: 55.00 \n");
    EXPECT_EQ(segment.x2, 90);
    EXPECT_EQ(paintedPixels(image.get()), rowRun(5, 35, 39));

    ImagePtr missed(kxtest::makeImage(RGB, 40, 30, 0));
    drawLine(missed.get(), 60, 50, 99, 79, &segment);
    EXPECT_TRUE(paintedPixels(missed.get()).empty());
}

TEST(DrawLineWithoutDisplay, ReportsAndPaintsNothing)
{
    ImagePtr image(kxtest::makeImage(RGB, 10, 10, 0));
    kxSegment segment{1, 1, 1, 1};
    std::string out = captureStdout([&] { segment = kxDrawLine(image.get(), 1, 1, 1); });
    EXPECT_EQ(out, "kxGetClick: error: no display open\n");
    EXPECT_EQ(segment.x1, 0);
    EXPECT_EQ(segment.y2, 0);
    EXPECT_TRUE(paintedPixels(image.get()).empty());
    EXPECT_EQ(captureStdout([&] { segment = kxDrawLine(nullptr, 1, 1, 1); }), "kxDrawLine: error: NULL image\n");
}
