// Mouse operations on the library's window, driven by XTest clicks on a real
// X server.
#include "display_session.h"  // GoogleTest before any X header
#include "display_internal.h"
#include "test_support.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace kxtest {
namespace {

using namespace std::chrono_literals;

class MouseTest : public DisplayTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(open(24, 120, 100, 0), 24);
        ASSERT_NE(window_, 0u);
    }

    // Waits until the library's connection has an event queued.
    bool eventArrives()
    {
        auto deadline = std::chrono::steady_clock::now() + 2s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (kxEvent()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

TEST_F(MouseTest, GetPointReturnsTheButtonAndStoresThePosition)
{
    user_->click(window_, 12, 34, 3);
    kxPoint point{};
    EXPECT_EQ(kxGetPoint(&point), 3);
    EXPECT_EQ(point.x, 12);
    EXPECT_EQ(point.y, 34);
}

TEST_F(MouseTest, GetClickPromptsAndReturnsThePressEvent)
{
    user_->click(window_, 7, 8, 2);
    XEvent event{};
    std::string out = captureStdout([&] { event = kxGetClick(); });
    EXPECT_EQ(out, "click  corner\n");
    EXPECT_EQ(event.type, ButtonPress);
    EXPECT_EQ(event.xbutton.x, 7);
    EXPECT_EQ(event.xbutton.y, 8);
    EXPECT_EQ(event.xbutton.button, 2u);
}

TEST_F(MouseTest, ReturnPointGivesANewPointAtTheClick)
{
    user_->click(window_, 99, 1);
    kxPoint *point = kxReturnPoint();
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->x, 99);
    EXPECT_EQ(point->y, 1);
    kxPointDestroy(point);
}

TEST_F(MouseTest, GetRectOrdersEachCoordinateOnItsOwn)
{
    const int clicks[2][4] = {{50, 80, 10, 20}, {10, 80, 50, 20}};
    for (const auto &c : clicks) {
        user_->click(window_, c[0], c[1]);
        user_->click(window_, c[2], c[3]);
        kxWindow rect{};
        std::string out = captureStdout([&] { EXPECT_EQ(kxGetRect(&rect), 0); });
        EXPECT_EQ(out, "click first corner\nclick second corner\n");
        EXPECT_EQ(rect.x, 10);
        EXPECT_EQ(rect.y, 20);
        EXPECT_EQ(rect.width, 40);
        EXPECT_EQ(rect.height, 60);
    }
}

TEST_F(MouseTest, ButtonPressPeeksWithoutConsuming)
{
    EXPECT_EQ(kxButtonPress(), 0);
    user_->click(window_, 3, 4);
    ASSERT_TRUE(eventArrives());
    EXPECT_EQ(kxButtonPress(), 1);
    EXPECT_EQ(kxButtonPress(), 1);
    kxPoint point{};
    EXPECT_EQ(kxGetPoint(&point), 1);
    EXPECT_EQ(point.x, 3);
    EXPECT_EQ(point.y, 4);
    EXPECT_EQ(kxButtonPress(), 0);
}

TEST_F(MouseTest, StructureChangeCountsAsAnEvent)
{
    EXPECT_EQ(kxEvent(), 0);
    ImagePtr image(makeImage(GRAY, 30, 30));
    ASSERT_EQ(kxShow(image.get(), 0), 0);  // resizes the window: ConfigureNotify
    EXPECT_EQ(kxEvent(), 1);
    EXPECT_EQ(kxButtonPress(), 0);
}

TEST_F(MouseTest, PressDragReleaseGivesASegment)
{
    kxPoint point{};
    EXPECT_EQ(kxDefineRectWithMouse(&point), nullptr);  // starts reporting releases
    user_->moveTo(window_, 5, 6);
    user_->press(1);
    user_->moveTo(window_, 20, 15);
    user_->moveTo(window_, 40, 30);
    user_->release(1);
    kxSegment *segment = nullptr;
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!segment && std::chrono::steady_clock::now() < deadline) {
        segment = kxDefineRectWithMouse(&point);
        if (!segment) std::this_thread::sleep_for(5ms);
    }
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->x1, 5);
    EXPECT_EQ(segment->x2, 40);
    EXPECT_EQ(segment->y1, 6);
    EXPECT_EQ(segment->y2, 30);
    EXPECT_EQ(point.x, 5);
    EXPECT_EQ(point.y, 6);
    free(segment);
    EXPECT_EQ(kxDefineRectWithMouse(&point), nullptr);
}

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The show lasts until one click, consumes it, and does not spin while it
// waits.
TEST_F(MouseTest, ShowUntilClickEndsOnTheFirstClickWithoutSpinning)
{
    ImagePtr image(makeImage(RGB, 64, 48, 0));
    setRgb(image.get(), 0, 0, 255, 0, 0);
    for (int rotated : {0, 1}) {
        SCOPED_TRACE(rotated);
        std::thread clicker([&] {
            std::this_thread::sleep_for(600ms);
            user_->click(window_, 10, 10);
        });
        double cpuBefore = processSeconds();
        auto wallBefore = std::chrono::steady_clock::now();
        std::string out;
        out = captureStdout([&] {
            int result =
                rotated ? kxShowRotatedUntilClick(image.get()) : kxShowUntilClick(image.get());
            EXPECT_EQ(result, 0);
        });
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        double cpu = processSeconds() - cpuBefore;
        clicker.join();
        EXPECT_EQ(out, "click anywhere on the image to continue...\n");
        EXPECT_GE(wall, 0.5);
        EXPECT_LT(cpu, 0.5 * wall) << "the wait keeps the processor busy";
        EXPECT_EQ(kxButtonPress(), 0);
        // The red corner pixel is where the picture's orientation puts it.
        int x = rotated ? 63 : 0, y = rotated ? 47 : 0;
        auto pixels = user_->readPixels(window_, x, y, 1, 1);
        ASSERT_EQ(pixels.size(), 1u);
        EXPECT_EQ(pixels[0], 0xFF0000u);
    }
}

TEST_F(MouseTest, NullArgumentsAreRefused)
{
    std::string out = captureStdout([] {
        EXPECT_EQ(kxGetPoint(nullptr), -1);
        EXPECT_EQ(kxGetRect(nullptr), -1);
        EXPECT_EQ(kxShowUntilClick(nullptr), -1);
        EXPECT_EQ(kxShowRotatedUntilClick(nullptr), -1);
    });
    EXPECT_EQ(out, "kxGetPoint: error: NULL point\nkxGetRect: error: NULL window\n"
                   "kxShowUntilClick: error: NULL image\nkxShowUntilClick: error: NULL image\n");
}

TEST(MouseWithoutDisplay, EveryOperationFailsInsteadOfBlocking)
{
    kxPoint point{};
    kxWindow rect{};
    XEvent event;
    std::string out = captureStdout([&] {
        EXPECT_EQ(kxEvent(), 0);
        EXPECT_EQ(kxButtonPress(), 0);
        event = kxGetClick();
        EXPECT_EQ(kxGetPoint(&point), -1);
        EXPECT_EQ(kxReturnPoint(), nullptr);
        EXPECT_EQ(kxGetRect(&rect), -1);
        EXPECT_EQ(kxDefineRectWithMouse(&point), nullptr);
    });
    EXPECT_EQ(event.type, 0);
    EXPECT_EQ(out, "kxGetClick: error: no display open\nkxGetPoint: error: no display open\n"
                   "kxReturnPoint: error: no display open\nkxGetRect: error: no display open\n"
                   "kxDefineRectWithMouse: error: no display open\n");
}

TEST(Distance, PrintsTheEuclideanDistance)
{
    std::string out = captureStdout([] { EXPECT_EQ(kxDistance(0, 0, 3, 4), 0); });
    EXPECT_EQ(out, "Distance: 5.00 \n");
    out = captureStdout([] { kxDistance(10, 10, 11, 11); });
    EXPECT_EQ(out, "Distance: 1.41 \n");
    // Far-apart points: the squares do not fit 32 bits.
    out = captureStdout([] { kxDistance(INT32_MIN, 0, INT32_MAX, 0); });
    EXPECT_EQ(out, "Distance: 4294967296.00 \n");
}

} // namespace
} // namespace kxtest
