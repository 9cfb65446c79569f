// The video stream the vision program reads and the top-down picture file.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/stat.h>
#include <png.h>
#include <unistd.h>

#include "test_support.h"
#include "picture/topdown_map.h"
#include "camera/camera_feed.h"
#include "camera/y4m_writer.h"

using namespace dockworld;

TEST(Y4mWriter, WritesHeaderOnceThenFramedPlanes)
{
    kxtest::ScratchDir dir;
    const std::string path = dir.file("out.y4m");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    Y4mWriter writer(fd);
    YuvFrame frame(8, 4);
    for (size_t i = 0; i < frame.bytes.size(); ++i)
        frame.bytes[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(writer.write(frame));
    ASSERT_TRUE(writer.write(frame));
    ::close(fd);
    EXPECT_EQ(writer.framesWritten(), 2);

    const std::string data = kxtest::readFile(path);
    const std::string header = "YUV4MPEG2 W8 H4 F30:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
    ASSERT_EQ(data.size(), header.size() + 2 * (6 + 48));
    EXPECT_EQ(data.substr(0, header.size()), header);
    EXPECT_EQ(data.substr(header.size(), 6), "FRAME\n");
    EXPECT_EQ(static_cast<uint8_t>(data[header.size() + 6 + 47]), 47); // last V sample
    EXPECT_EQ(data.substr(header.size() + 54, 6), "FRAME\n");
}

TEST(Y4mWriter, ReportsAReaderThatWentAway)
{
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    Y4mWriter writer(fds[1]);
    EXPECT_FALSE(writer.write(YuvFrame(8, 4)));
    ::close(fds[1]);
}

TEST(CameraFeed, AnnouncesItsStreamBeforeItsFirstPictureIsRendered)
{
    // The reader gives a stream a second to announce itself; a slow first
    // picture (held here until the header is seen) must not cost that.
    kxtest::ScratchDir dir;
    const std::string fifo = dir.file("camera.y4m");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> headerSeen;
    std::shared_future<void> rendering = headerSeen.get_future().share();
    const DockingRoom room;
    CameraFeed feed(room, CameraModel(), [rendering](double) { rendering.wait(); return BodyPose{{3.0, 2.25, kPi}, 0.0}; },
                    [] { return 0.0; }, 3);
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    feed.start(fifo);
    pollfd ready{fd, POLLIN, 0};
    char line[11] = {};
    const bool announced = ::poll(&ready, 1, 10000) == 1 && ::read(fd, line, 10) == 10;
    headerSeen.set_value();
    feed.stop();
    ::close(fd);
    EXPECT_TRUE(announced && std::string(line) == "YUV4MPEG2 ");
}

namespace {

struct PngPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool readPng(const std::string &path, PngPicture &out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

} // namespace

TEST(Canvas, SavesAPngThatReadsBack)
{
    kxtest::ScratchDir dir;
    Canvas canvas(30, 20);
    canvas.set(3, 4, {10, 20, 30});
    canvas.line(0, 19, 29, 19, {200, 0, 0});
    canvas.set(-1, 5, {1, 2, 3}); // outside: ignored
    ASSERT_TRUE(canvas.savePng(dir.file("p.png")));
    PngPicture pic;
    ASSERT_TRUE(readPng(dir.file("p.png"), pic));
    ASSERT_EQ(pic.width, 30);
    ASSERT_EQ(pic.height, 20);
    const auto px = [&](int x, int y, int k) { return pic.rgb[(static_cast<size_t>(y) * 30 + x) * 3 + k]; };
    EXPECT_EQ(px(3, 4, 0), 10);
    EXPECT_EQ(px(3, 4, 2), 30);
    EXPECT_EQ(px(15, 19, 0), 200);
    EXPECT_EQ(px(15, 19, 1), 0);
    EXPECT_EQ(px(15, 10, 1), 255);
}

TEST(Canvas, ReportsAnUnwritablePath)
{
    kxtest::ScratchDir dir;
    std::string error;
    EXPECT_FALSE(Canvas(4, 4).savePng(dir.file("missing/p.png"), &error));
    EXPECT_NE(error.find("missing/p.png"), std::string::npos);
}

TEST(TopDownMap, PlacesFloorPointsWithNorthUp)
{
    TopDownMap map({0.0, 0.0}, {5.0, 4.0}, 100.0);
    EXPECT_EQ(map.canvas().width(), 540);
    EXPECT_EQ(map.canvas().height(), 440);
    const Vec2 sw = map.toPixel({0.0, 0.0});
    const Vec2 ne = map.toPixel({5.0, 4.0});
    EXPECT_NEAR(sw.x, 20.0, 1e-9);
    EXPECT_NEAR(sw.y, 420.0, 1e-9);
    EXPECT_NEAR(ne.x, 520.0, 1e-9);
    EXPECT_NEAR(ne.y, 20.0, 1e-9);
    // A wandering stretch then a docking stretch: two colours on the picture.
    map.drawPath({{{1.0, 1.0, 0.0}, DriveMode::Wander},
                  {{2.0, 1.0, 0.0}, DriveMode::Wander},
                  {{3.0, 1.0, 0.0}, DriveMode::Docking}});
    const Rgb wander = map.canvas().at(170, 320);
    const Rgb docking = map.canvas().at(270, 320);
    EXPECT_GT(wander.b, wander.r);
    EXPECT_GT(docking.r, docking.b);
}
