// Recorded YUV4MPEG2 video as the grabber's device: files written here and
// by ffmpeg, FIFOs, loops, ends, and the streams that must be refused.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <future>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_v4l1_device.h"
#include "grab_device.h"
#include "test_support.h"

namespace {

// One picture of a stream: planes as the stream stores them (chroma of
// ceil(width/2) x ceil(height/2)).
struct Picture {
    int width, height;
    std::vector<uint8_t> y, cb, cr;
};

Picture makePicture(int width, int height, int seed)
{
    Picture p{width, height, {}, {}, {}};
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    p.y.resize(size_t(width) * height);
    p.cb.resize(size_t(cw) * ch);
    p.cr.resize(size_t(cw) * ch);
    for (size_t i = 0; i < p.y.size(); ++i) p.y[i] = uint8_t(i * 7 + seed * 61);
    for (size_t i = 0; i < p.cb.size(); ++i) p.cb[i] = uint8_t(i * 13 + seed * 29 + 40);
    for (size_t i = 0; i < p.cr.size(); ++i) p.cr[i] = uint8_t(i * 5 + seed * 83 + 90);
    return p;
}

std::string header(int width, int height, const std::string &extra = " F30:1 Ip A1:1 C420jpeg")
{
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + extra + "\n";
}

std::string frameBytes(const Picture &p)
{
    std::string out = "FRAME\n";
    out.append(p.y.begin(), p.y.end());
    out.append(p.cb.begin(), p.cb.end());
    out.append(p.cr.begin(), p.cr.end());
    return out;
}

std::string stream(const std::vector<Picture> &pictures)
{
    std::string out = header(pictures[0].width, pictures[0].height);
    for (const Picture &p : pictures) out += frameBytes(p);
    return out;
}

// The grabbed image equals the formula applied to the picture, with the
// grabber's chroma sampling (top-left rows/2 x cols/2 of the stream's chroma).
void expectImageOf(const kxImage *image, const Picture &p)
{
    ASSERT_EQ(image->width, p.width);
    ASSERT_EQ(image->height, p.height);
    const int rows = p.height, cols = p.width, streamCols = (cols + 1) / 2;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            size_t chromaRow = size_t(r) * (rows / 2) / rows;
            size_t chromaCol = size_t(c) * (cols / 2) / cols;
            size_t k = chromaRow * streamCols + chromaCol;
            int expected[3];
            kxtest::referenceRgb(p.y[size_t(r) * cols + c], p.cb[k], p.cr[k], expected);
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(kxtest::channelAt(image, c, r, ch), expected[ch])
                    << "at " << c << "," << r << " channel " << ch;
        }
    }
}

class RecordedVideoTest : public ::testing::Test {
protected:
    void TearDown() override { kxGrabShutdown(); }

    std::string write(const std::string &name, const std::string &contents)
    {
        std::string path = dir.file(name);
        EXPECT_TRUE(kxtest::writeFile(path, contents));
        return path;
    }

    kxtest::ScratchDir dir;
    kxtest::ImagePtr image{kxImageCreate(RGB, 1, 1)};
};

TEST_F(RecordedVideoTest, RegularFilePlaysInOrderAndLoops)
{
    std::vector<Picture> pictures = {makePicture(8, 6, 0), makePicture(8, 6, 1), makePicture(8, 6, 2)};
    std::string path = write("three.y4m", stream(pictures));
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 8, 6, 1), 0);
    for (int n = 0; n < 7; ++n) {
        ASSERT_EQ(kxGrabImage(image.get()), 0) << "grab " << n;
        expectImageOf(image.get(), pictures[n % 3]);
    }
}

TEST_F(RecordedVideoTest, OddSizesKeepTheTopLeftChroma)
{
    std::vector<Picture> pictures = {makePicture(5, 3, 4), makePicture(5, 3, 5)};
    std::string path = write("odd.y4m", stream(pictures));
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 5, 3, 1), 0);
    for (int n = 0; n < 3; ++n) {
        ASSERT_EQ(kxGrabImage(image.get()), 0);
        expectImageOf(image.get(), pictures[n % 2]);
    }
}

TEST_F(RecordedVideoTest, TruncatedLastFrameCountsAsTheEnd)
{
    std::vector<Picture> pictures = {makePicture(8, 6, 0), makePicture(8, 6, 1)};
    std::string contents = stream(pictures) + frameBytes(makePicture(8, 6, 9)).substr(0, 30);
    std::string path = write("cut.y4m", contents);
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 8, 6, 1), 0);
    for (int n = 0; n < 5; ++n) {
        ASSERT_EQ(kxGrabImage(image.get()), 0);
        expectImageOf(image.get(), pictures[n % 2]);
    }
}

TEST_F(RecordedVideoTest, AnyRegularFileOrFifoIsRecordedVideo)
{
    std::string path = write("video.yuv", stream({makePicture(8, 6, 0)}));
    EXPECT_EQ(_kxGrabChooseDevice(path.c_str()), _kxGrabRecordedVideo());
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(_kxGrabChooseDevice(fifo.c_str()), _kxGrabRecordedVideo());
    EXPECT_EQ(_kxGrabChooseDevice(dir.file("missing.y4m").c_str()), _kxGrabRecordedVideo());
    EXPECT_EQ(_kxGrabChooseDevice("/dev/null"), _kxGrabV4l1Device());
    EXPECT_EQ(_kxGrabChooseDevice("/dev/video-that-does-not-exist"), _kxGrabV4l1Device());
}

TEST_F(RecordedVideoTest, FifoEndsCleanlyWhenItsWriterHasGone)
{
    std::string fifo = dir.file("camera.y4m");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<Picture> pictures = {makePicture(8, 6, 0), makePicture(8, 6, 1)};
    std::string contents = stream(pictures);
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        // Byte by byte in parts, as a slow producer would.
        for (size_t at = 0; at < contents.size();) {
            ssize_t n = ::write(fd, contents.data() + at, std::min<size_t>(17, contents.size() - at));
            if (n <= 0) break;
            at += size_t(n);
        }
        close(fd);
    });
    ASSERT_EQ(kxGrabInit(fifo.c_str(), 0, 8, 6, 1), 0);
    for (int n = 0; n < 2; ++n) {
        ASSERT_EQ(kxGrabImage(image.get()), 0);
        expectImageOf(image.get(), pictures[n]);
    }
    uint16_t *kept = image->data;
    auto end = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(end.err, "VIDIOCSYNC-Frame#0: end of recorded video\n");
    EXPECT_EQ(end.out, "VIDIOCSYNC frame: 0\n");
    EXPECT_EQ(image->data, kept);
    auto after = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(after.out, "kxGrabImage: error: capture memory released after a failed capture\n");
    EXPECT_EQ(kxGrabShutdown(), 0);
    writer.join();
}

TEST_F(RecordedVideoTest, SilentWriterIsRefusedAsSilentNotAsAnotherFormat)
{
    std::string fifo = dir.file("camera.y4m");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> initReturned;
    std::thread writer([&fifo, done = initReturned.get_future()] {
        int fd = open(fifo.c_str(), O_WRONLY);
        done.wait();  // holds the stream open and says nothing meanwhile
        close(fd);
    });
    auto output = kxtest::captureOutput([&] { EXPECT_EQ(kxGrabInit(fifo.c_str(), 0, 8, 6, 1), -1); });
    initReturned.set_value();
    writer.join();
    EXPECT_EQ(output.err, "kxGrabInit: no YUV4MPEG2 header within 1 s\n");
}

struct Refusal {
    const char *name;
    std::string contents;
    int width, height;
    std::string err;
};

class RefusedStreamTest : public RecordedVideoTest,
                          public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedStreamTest, InitFailsWithOneLineAndTheStreamClosed)
{
    const Refusal &refusal = GetParam();
    std::string path = write("stream.y4m", refusal.contents);
    auto output = kxtest::captureOutput([&] {
        EXPECT_EQ(kxGrabInit(path.c_str(), 0, refusal.width, refusal.height, 1), -1);
    });
    EXPECT_EQ(output.err, refusal.err);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(device_ID, -1);
    // The stream was let go: a valid one opens next.
    std::string good = write("good.y4m", stream({makePicture(8, 6, 0)}));
    EXPECT_EQ(kxGrabInit(good.c_str(), 0, 8, 6, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, RefusedStreamTest,
    ::testing::Values(
        Refusal{"OtherSize", stream({makePicture(8, 6, 0)}), 16, 12,
                "VIDIOCSWIN: recorded video is 8 x 6, capture size requested 16 x 12\n"},
        Refusal{"Colour444", header(8, 6, " C444") + std::string(200, 'x'), 8, 6,
                "kxGrabInit: colour space C444 not supported (4:2:0 planar only)\n"},
        Refusal{"TenBit", header(8, 6, " C420p10"), 8, 6,
                "kxGrabInit: colour space C420p10 not supported (4:2:0 planar only)\n"},
        Refusal{"NotYuv4mpeg", "P6\n8 6\n255\n", 8, 6, "kxGrabInit: not a YUV4MPEG2 stream\n"},
        Refusal{"Empty", "", 8, 6, "kxGrabInit: not a YUV4MPEG2 stream\n"},
        Refusal{"NoSize", "YUV4MPEG2 F30:1\n", 8, 6,
                "kxGrabInit: YUV4MPEG2 header without a size\n"},
        Refusal{"BadWidth", "YUV4MPEG2 W-8 H6\n", 8, 6,
                "kxGrabInit: YUV4MPEG2 header with an illegal width\n"}),
    [](const ::testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

TEST_F(RecordedVideoTest, MissingFileIsReportedLikeAMissingCamera)
{
    std::string path = dir.file("absent.y4m");
    auto output = kxtest::captureOutput([&] { EXPECT_EQ(kxGrabInit(path.c_str(), 0, 8, 6, 1), -1); });
    EXPECT_EQ(output.err, "kxGrabInit: No such file or directory\n");
}

TEST_F(RecordedVideoTest, StreamsWithoutCompletePicturesFailTheGrab)
{
    std::string path = write("noframes.y4m", header(8, 6));
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 8, 6, 1), 0);
    auto output = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(output.err, "VIDIOCSYNC-Frame#0: recorded video holds no complete frame\n");
    ASSERT_EQ(kxGrabShutdown(), 0);

    std::string corrupt = write("corrupt.y4m", header(8, 6) + "FRAMEX\n" + std::string(72, 'a'));
    ASSERT_EQ(kxGrabInit(corrupt.c_str(), 0, 8, 6, 1), 0);
    auto bad = kxtest::captureOutput([this] { EXPECT_EQ(kxGrabImage(image.get()), -1); });
    EXPECT_EQ(bad.err, "VIDIOCSYNC-Frame#0: corrupt YUV4MPEG2 stream: frame header missing\n");
}

TEST_F(RecordedVideoTest, ShutterAndGainAreAcceptedAndIgnored)
{
    std::string path = write("scene.y4m", stream({makePicture(8, 6, 3)}));
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 8, 6, 1), 0);
    EXPECT_EQ(kxGrabSetShutter(38500), 0);
    EXPECT_EQ(kxGrabSetGain(55), 0);
    ASSERT_EQ(kxGrabImage(image.get()), 0);
    expectImageOf(image.get(), makePicture(8, 6, 3));
}

// A file written by ffmpeg: its own header fields, and every frame grabbed
// with exactly the formula's values.
TEST_F(RecordedVideoTest, FfmpegFileIsGrabbedExactly)
{
    std::string path = dir.file("ffmpeg.y4m");
    std::string command = "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=64x48:rate=30 "
                          "-frames:v 4 -pix_fmt yuv420p -f yuv4mpegpipe '" + path + "'";
    ASSERT_EQ(system(command.c_str()), 0) << "ffmpeg is needed (scripts/packages.txt)";
    std::string contents = kxtest::readFile(path);
    ASSERT_EQ(contents.compare(0, 20, "YUV4MPEG2 W64 H48 F3"), 0) << contents.substr(0, 80);
    // Pictures taken apart here, independently of the grabber's reader.
    std::vector<Picture> pictures;
    size_t at = contents.find('\n') + 1;
    const size_t planeY = 64 * 48, planeC = 32 * 24;
    while (at < contents.size()) {
        size_t dataStart = contents.find('\n', at) + 1;
        ASSERT_EQ(contents.compare(at, 5, "FRAME"), 0);
        Picture p{64, 48, {}, {}, {}};
        const uint8_t *data = reinterpret_cast<const uint8_t *>(contents.data()) + dataStart;
        p.y.assign(data, data + planeY);
        p.cb.assign(data + planeY, data + planeY + planeC);
        p.cr.assign(data + planeY + planeC, data + planeY + 2 * planeC);
        pictures.push_back(p);
        at = dataStart + planeY + 2 * planeC;
    }
    ASSERT_EQ(pictures.size(), 4u);
    ASSERT_EQ(kxGrabInit(path.c_str(), 0, 64, 48, 1), 0);
    for (int n = 0; n < 6; ++n) {
        ASSERT_EQ(kxGrabImage(image.get()), 0);
        expectImageOf(image.get(), pictures[n % 4]);
    }
}

std::string run(const std::string &command, int *status)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

TEST_F(RecordedVideoTest, KxgrabToolOnARecording)
{
    Picture black = makePicture(8, 6, 0);
    std::fill(black.y.begin(), black.y.end(), 16);
    std::fill(black.cb.begin(), black.cb.end(), 128);
    std::fill(black.cr.begin(), black.cr.end(), 128);
    std::string path = write("black.y4m", stream({black}));
    int status = -1;
    std::string out = run(std::string(KXGRAB_PATH) + " -n 3 -s 8x6 " + path, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("frame 3: 8 x 6, "), std::string::npos) << out;
    EXPECT_NE(out.find("mean RGB 0.0 0.0 0.0, grey 0..0, 0.00% saturated"), std::string::npos) << out;

    out = run(std::string(KXGRAB_PATH) + " --list " + path, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("sizes: 8 x 6 to 8 x 6"), std::string::npos) << out;
    EXPECT_NE(out.find("capture memory: 2 frames, 144 bytes"), std::string::npos) << out;

    out = run(std::string(KXGRAB_PATH) + " -s 16x12 " + path + " 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("VIDIOCSWIN: recorded video is 8 x 6"), std::string::npos) << out;
    run(std::string(KXGRAB_PATH) + " --bogus 2>/dev/null", &status);
    EXPECT_EQ(status, 1);
}

} // namespace
