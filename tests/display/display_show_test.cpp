// Pictures shown on real X servers of depth 8, 16, 24 and 32, read back from
// the window and compared with the packing each depth must have.
#include "display_session.h"
#include "test_support.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include <X11/Xutil.h>

namespace kxtest {
namespace {

// The pixel value a window of `depth` must hold for one RGB triple: only the
// low eight bits of a channel count; 8 bits are BBGGGRRR, 16 bits RRRRRGGG
// GGGBBBBB, 24 and 32 bits 0x00RRGGBB.
unsigned long expectedPixel(int depth, unsigned r, unsigned g, unsigned b)
{
    r &= 255;
    g &= 255;
    b &= 255;
    switch (depth) {
    case 8: return (r >> 5) | ((g >> 5) << 3) | ((b >> 6) << 6);
    case 16: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    default: return (r << 16) | (g << 8) | b;
    }
}

// An RGB picture where neighbouring pixels differ in every channel; some red
// values exceed 255 to show that only the low byte is used.
kxImage *pattern(int width, int height)
{
    kxImage *image = makeImage(RGB, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setRgb(image, x, y, (x * 37 + y * 11) % 300, (x * 5 + y * 29) % 256,
                   (x * 13 + y * 7 + 100) % 256);
    return image;
}

struct Screen {
    int depth;       // of the visual the library must choose
    int shm;
    // Xvfb has no 32-bit screens; a 24-bit screen with Composite offers
    // 32-bit TrueColor visuals.
    int screenDepth() const { return depth == 32 ? 24 : depth; }
    bool composite() const { return depth == 32; }
};

std::string screenName(const ::testing::TestParamInfo<Screen> &info)
{
    return "depth" + std::to_string(info.param.depth) + (info.param.shm ? "_shared" : "_plain");
}

class PackingTest : public DisplayTest, public ::testing::WithParamInterface<Screen> {
protected:
    // Shows the pattern (upright or turned) and compares every window pixel.
    void showAndCompare(bool rotated)
    {
        const Screen screen = GetParam();
        ASSERT_EQ(open(screen.screenDepth(), 64, 48, screen.shm, screen.composite()), screen.depth);
        ASSERT_NE(window_, 0u);
        const int width = 37, height = 23;
        ImagePtr image(pattern(width, height));
        ASSERT_EQ(rotated ? kxShowRotated(image.get(), 0) : kxShow(image.get(), 0), 0);

        int shownWidth = 0, shownHeight = 0;
        ASSERT_TRUE(user_->windowSize(window_, &shownWidth, &shownHeight));
        EXPECT_EQ(shownWidth, width);
        EXPECT_EQ(shownHeight, height);
        auto pixels = user_->readPixels(window_, 0, 0, width, height);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(width * height));
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int sx = rotated ? width - 1 - x : x;
                int sy = rotated ? height - 1 - y : y;
                unsigned long want =
                    expectedPixel(screen.depth, channelAt(image.get(), sx, sy, 0),
                                  channelAt(image.get(), sx, sy, 1),
                                  channelAt(image.get(), sx, sy, 2));
                unsigned long got = pixels[static_cast<size_t>(y) * width + x];
                if (got != want && ++wrong <= 5)
                    ADD_FAILURE() << "window pixel (" << x << ", " << y << ") is 0x" << std::hex
                                  << got << ", expected 0x" << want;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_P(PackingTest, UprightPictureReadsBackWithTheDepthsPacking) { showAndCompare(false); }

TEST_P(PackingTest, TurnedPictureIsMirroredBothWays) { showAndCompare(true); }

INSTANTIATE_TEST_SUITE_P(AllDepths, PackingTest,
                         ::testing::Values(Screen{8, 0}, Screen{8, 1}, Screen{16, 0},
                                           Screen{16, 1}, Screen{24, 0}, Screen{24, 1},
                                           Screen{32, 0}, Screen{32, 1}),
                         screenName);

using ShowTest = DisplayTest;

TEST_F(ShowTest, SixteenBitPackingOfDocumentedValues)
{
    ASSERT_EQ(open(16, 8, 8, 0), 16);
    ImagePtr image(makeImage(RGB, 2, 1));
    setRgb(image.get(), 0, 0, 255, 255, 255);
    setRgb(image.get(), 1, 0, 8, 4, 8);
    ASSERT_EQ(kxShow(image.get(), 0), 0);
    auto pixels = user_->readPixels(window_, 0, 0, 2, 1);
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], 0xFFFFu);
    EXPECT_EQ(pixels[1], 0x0821u);
}

TEST_F(ShowTest, TurnedTwoPixelPictureSwapsItsPixels)
{
    ASSERT_EQ(open(24, 8, 8, 0), 24);
    ImagePtr image(makeImage(RGB, 2, 1));
    setRgb(image.get(), 0, 0, 0x11, 0x22, 0x33);  // A
    setRgb(image.get(), 1, 0, 0x44, 0x55, 0x66);  // B
    ASSERT_EQ(kxShowRotated(image.get(), 0), 0);
    auto pixels = user_->readPixels(window_, 0, 0, 2, 1);
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], 0x445566u);
    EXPECT_EQ(pixels[1], 0x112233u);
}

// Every format but RGB reaches the window through the display buffer.
TEST_F(ShowTest, FormatsConvertToGreyLevelsAndColours)
{
    ASSERT_EQ(open(24, 16, 16, 1), 24);

    ImagePtr gray(makeImage(GRAY, 3, 1));
    gray->data[0] = 0;
    gray->data[1] = 100;
    gray->data[2] = 255;
    ASSERT_EQ(kxShow(gray.get(), 0), 0);
    auto pixels = user_->readPixels(window_, 0, 0, 3, 1);
    EXPECT_EQ(pixels, (std::vector<unsigned long>{0x000000, 0x646464, 0xFFFFFF}));

    ImagePtr binary(makeImage(BINARY, 3, 1));
    binary->data[0] = 0;
    binary->data[1] = 1;
    binary->data[2] = 255;
    ASSERT_EQ(kxShow(binary.get(), 0), 0);
    pixels = user_->readPixels(window_, 0, 0, 3, 1);
    EXPECT_EQ(pixels, (std::vector<unsigned long>{0x000000, 0xFFFFFF, 0xFFFFFF}));

    // Only the hue is shown, scaled from 0..65535 to 0..255 with the
    // fraction dropped.
    ImagePtr hsi(makeImage(HSI, 3, 1, 9999));
    hsi->data[0] = 65535;
    hsi->data[3] = 256;
    hsi->data[6] = 257;
    ASSERT_EQ(kxShow(hsi.get(), 0), 0);
    pixels = user_->readPixels(window_, 0, 0, 3, 1);
    EXPECT_EQ(pixels, (std::vector<unsigned long>{0xFFFFFF, 0x000000, 0x010101}));

    ImagePtr nrg(makeImage(NRG, 1, 1));
    nrg->data[0] = 0x12;
    nrg->data[1] = 0x34;
    ASSERT_EQ(kxShow(nrg.get(), 0), 0);
    pixels = user_->readPixels(window_, 0, 0, 1, 1);
    EXPECT_EQ(pixels, (std::vector<unsigned long>{0x123400}));
}

TEST_F(ShowTest, UnknownFormatKeepsThePictureShownBefore)
{
    ASSERT_EQ(open(24, 16, 16, 0), 24);
    ImagePtr gray(makeImage(GRAY, 2, 2, 77));
    ASSERT_EQ(kxShow(gray.get(), 0), 0);
    ImagePtr strange(makeImage(GRAY, 2, 2, 200));
    strange->format = static_cast<kxFormat>(7);
    ASSERT_EQ(kxShow(strange.get(), 0), 0);
    auto pixels = user_->readPixels(window_, 0, 0, 2, 2);
    EXPECT_EQ(pixels, std::vector<unsigned long>(4, 0x4D4D4D));
}

TEST_F(ShowTest, NoneImageIsRefusedAndTheWindowKeepsItsSize)
{
    ASSERT_EQ(open(24, 40, 30, 0), 24);
    ImagePtr none(kxImageCreate(NONE, 10, 10));
    std::string out = captureStdout([&] { EXPECT_EQ(kxShow(none.get(), 0), -1); });
    EXPECT_EQ(out, "can't display image with format NONE\n");
    int width = 0, height = 0;
    ASSERT_TRUE(user_->windowSize(window_, &width, &height));
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 30);
}

TEST_F(ShowTest, NullAndEmptyImagesAreRefused)
{
    ASSERT_EQ(open(24, 16, 16, 0), 24);
    std::string out = captureStdout([] { EXPECT_EQ(kxShowRotated(nullptr, 0), -1); });
    EXPECT_EQ(out, "kxShow: error: NULL image\n");
    ImagePtr empty(makeImage(GRAY, 0, 5));
    out = captureStdout([&] { EXPECT_EQ(kxShow(empty.get(), 0), -1); });
    EXPECT_EQ(out, "kxShow: error: illegal image\n");
    kxImage noPixels{RGB, 4, 4, nullptr};
    out = captureStdout([&] { EXPECT_EQ(kxShow(&noPixels, 0), -1); });
    EXPECT_EQ(out, "kxShow: error: NULL image\n");
}

TEST_F(ShowTest, WindowFollowsThePictureSizeAndItsMaximumHint)
{
    ASSERT_EQ(open(24, 64, 48, 1), 24);
    ImagePtr small(makeImage(GRAY, 32, 24, 10));
    ImagePtr large(makeImage(GRAY, 100, 60, 20));
    for (kxImage *image : {small.get(), small.get(), large.get()}) {
        ASSERT_EQ(kxShow(image, 0), 0);
        int width = 0, height = 0;
        ASSERT_TRUE(user_->windowSize(window_, &width, &height));
        EXPECT_EQ(width, image->width);
        EXPECT_EQ(height, image->height);
        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(user_->display(), window_, &hints, &supplied));
        EXPECT_EQ(hints.max_width, image->width);
        EXPECT_EQ(hints.max_height, image->height);
        EXPECT_EQ(hints.width_inc, 8);
        EXPECT_EQ(hints.height_inc, 2);
        auto pixels = user_->readPixels(window_, 0, 0, image->width, image->height);
        unsigned long grey = image->data[0] * 0x010101u;
        EXPECT_EQ(pixels, std::vector<unsigned long>(pixels.size(), grey));
    }
}

// A show of the current size reuses the X image and its segment; another
// size remakes them, and the old segment goes.
TEST_F(ShowTest, SameSizeReusesTheSharedImage)
{
    ASSERT_EQ(open(24, 40, 30, 1), 24);
    ImagePtr image(makeImage(GRAY, 40, 30, 5));
    std::vector<int> before = segmentsOf(getpid());
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(kxShow(image.get(), 0), 0);
    ASSERT_EQ(kxShowRotated(image.get(), 0), 0);
    EXPECT_EQ(segmentsOf(getpid()), before);
    ImagePtr other(makeImage(GRAY, 20, 10, 5));
    ASSERT_EQ(kxShow(other.get(), 0), 0);
    std::vector<int> after = segmentsOf(getpid());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after, before);
    kxDisplayShutdown();
    EXPECT_TRUE(segmentsOf(getpid()).empty());
}

TEST_F(ShowTest, ShowingWithoutADisplayFails)
{
    ImagePtr image(makeImage(RGB, 4, 4));
    std::string out = captureStdout([&] { EXPECT_EQ(kxShow(image.get(), 0), -1); });
    EXPECT_EQ(out, "kxShow: error: no display open\n");
}

TEST_F(ShowTest, InitPrintsTheBannerAndTheDepth)
{
    int result = 0;
    std::string out = captureStdout([&] { result = open(16, 20, 20, 0); });
    EXPECT_EQ(result, 16);
    EXPECT_EQ(out, "Kelvix 1.9.2\ndetected TrueColor visual (depth 16)\n");
    EXPECT_NE(window_, 0u);
}

TEST_F(ShowTest, IllegalWindowSizeIsRefused)
{
    std::string out;
    out = captureStdout([] { EXPECT_EQ(kxDisplayInit(0, 10, 0), -1); });
    EXPECT_EQ(out, "Kelvix 1.9.2\nkxDisplayInit: error: illegal window size\n");
    EXPECT_EQ(kxDisplayInit(10, 40000, 0), -1);
}

TEST_F(ShowTest, NoServerMeansNoDisplay)
{
    setenv("DISPLAY", ":65000", 1);
    std::string out = captureStdout([] { EXPECT_EQ(kxDisplayInit(10, 10, 0), -1); });
    EXPECT_EQ(out, "Kelvix 1.9.2\nkxDisplayInit: unable to open display\n");
}

// The deepest TrueColor visual wins: Composite adds 32-bit ones to a 24-bit
// screen.
TEST_F(ShowTest, DeepestTrueColorVisualIsChosen)
{
    EXPECT_EQ(open(24, 10, 10, 0, true), 32);
    kxDisplayShutdown();
    EXPECT_EQ(open(8, 10, 10, 0), 8);
}

// No quiet fallback to plain images: shared mode fails where the server
// cannot share memory, plain mode still works there.
TEST_F(ShowTest, SharedModeFailsWithoutTheSharedMemoryExtension)
{
    XvfbOptions options;
    options.extraArguments = {"-extension", "MIT-SHM"};
    XvfbServer server(options);
    ASSERT_TRUE(server.ok()) << server.error();
    std::string out = captureStdout([] { EXPECT_EQ(kxDisplayInit(32, 32, 1), -1); });
    EXPECT_EQ(out, "Kelvix 1.9.2\ndetected TrueColor visual (depth 24)\n"
                   "_kxSetupImage: unable to attach shared memory\n"
                   "kxDisplayInit: _kxSetupImage\n");
    EXPECT_EQ(kxDisplayInit(32, 32, 0), 24);
    ImagePtr image(makeImage(GRAY, 8, 8, 50));
    EXPECT_EQ(kxShow(image.get(), 0), 0);
    kxDisplayShutdown();
}

TEST_F(ShowTest, FifteenBitVisualIsNotSupported)
{
    ASSERT_EQ(open(15, 10, 10, 0), 15);
    ImagePtr image(makeImage(RGB, 10, 10));
    std::string out = captureStdout([&] { EXPECT_EQ(kxShow(image.get(), 0), -1); });
    EXPECT_EQ(out, "_kxDisplayImage: depth=15 is not supported\n"
                   "kxShow: error: could not display image\n");
}

// A second initialisation replaces the window, and the X image takes the
// new window's size (a larger picture must not be packed into a smaller
// image).
TEST_F(ShowTest, SecondInitReplacesTheWindowAndItsImage)
{
    for (int shm : {0, 1}) {
        SCOPED_TRACE(shm);
        ASSERT_EQ(open(24, 40, 30, shm), 24);
        ASSERT_EQ(kxDisplayInit(80, 60, shm), 24);
        ImagePtr image(pattern(80, 60));
        ASSERT_EQ(kxShow(image.get(), 0), 0);
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        ASSERT_TRUE(XQueryTree(user_->display(), DefaultRootWindow(user_->display()), &root,
                               &parent, &children, &count));
        int titled = 0;
        for (unsigned i = 0; i < count; ++i) {
            char *name = nullptr;
            if (XFetchName(user_->display(), children[i], &name) && name) {
                titled += std::string(name) == kWindowTitle;
                XFree(name);
            }
        }
        if (children) XFree(children);
        EXPECT_EQ(titled, 1);
        Window window = user_->findWindow(kWindowTitle);
        auto pixels = user_->readPixels(window, 79, 59, 1, 1);
        ASSERT_EQ(pixels.size(), 1u);
        EXPECT_EQ(pixels[0], expectedPixel(24, channelAt(image.get(), 79, 59, 0),
                                           channelAt(image.get(), 79, 59, 1),
                                           channelAt(image.get(), 79, 59, 2)));
        kxDisplayShutdown();
    }
}

TEST_F(ShowTest, WaitFlagReadsExactlyOneCharacterAfterShowing)
{
    ASSERT_EQ(open(24, 10, 10, 0), 24);
    int keys[2];
    ASSERT_EQ(pipe(keys), 0);
    ASSERT_EQ(write(keys[1], "xy", 2), 2);
    close(keys[1]);
    fflush(stdin);
    int savedStdin = dup(STDIN_FILENO);
    dup2(keys[0], STDIN_FILENO);
    close(keys[0]);
    clearerr(stdin);
    ImagePtr image(makeImage(GRAY, 5, 5, 40));
    std::string out = captureStdout([&] { EXPECT_EQ(kxShow(image.get(), 1), 0); });
    int next = getc(stdin);
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    clearerr(stdin);
    EXPECT_EQ(out, "press ENTER to continue\n");
    EXPECT_EQ(next, 'y');
}

TEST_F(ShowTest, ShutdownIsHarmlessWhenNothingIsOpen)
{
    std::string out = captureStdout([] {
        EXPECT_EQ(kxDisplayShutdown(), 0);
        EXPECT_EQ(kxDisplayShutdown(), 0);
    });
    EXPECT_EQ(out, "");
}

TEST(SignalInstall, AlarmInterruptsCallsOtherSignalsRestartThem)
{
    struct sigaction saved[2];
    sigaction(SIGALRM, nullptr, &saved[0]);
    sigaction(SIGUSR1, nullptr, &saved[1]);
    auto handler = [](int) {};
    ASSERT_EQ(kxSigHndInstall(SIGALRM, handler), 0);
    ASSERT_EQ(kxSigHndInstall(SIGUSR1, handler), 0);
    struct sigaction alarm {}, user {};
    sigaction(SIGALRM, nullptr, &alarm);
    sigaction(SIGUSR1, nullptr, &user);
    EXPECT_EQ(alarm.sa_flags & SA_RESTART, 0);
    EXPECT_NE(user.sa_flags & SA_RESTART, 0);
    EXPECT_EQ(alarm.sa_handler, static_cast<void (*)(int)>(handler));
    sigaction(SIGALRM, &saved[0], nullptr);
    sigaction(SIGUSR1, &saved[1], nullptr);

    std::string out = captureStdout([&] { EXPECT_EQ(kxSigHndInstall(SIGKILL, handler), -1); });
    EXPECT_EQ(out, "kxSigHndInstall: error: could not install signal handler!\n");
}

} // namespace
} // namespace kxtest
