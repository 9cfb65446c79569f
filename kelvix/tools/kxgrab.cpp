// kxgrab: checks a camera or a recorded YUV4MPEG2 video with the library's
// frame grabber. It grabs a number of frames and prints statistics of each,
// or (--list) the device's capabilities.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>

#include <linux/videodev2.h>

#include "grab_device.h"
#include "kelvix.h"

namespace {

const char kUsage[] =
    "usage: kxgrab [-n FRAMES] [-s WIDTHxHEIGHT] [-r FPS] [--shutter VALUE] [--gain VALUE]\n"
    "              [-o FILE.ppm] [DEVICE]\n"
    "       kxgrab --list [DEVICE]\n"
    "Grabs FRAMES frames (default 10) at WIDTHxHEIGHT (default 640x480) from DEVICE\n"
    "(default /dev/video0, or a YUV4MPEG2 .y4m file or FIFO) and prints statistics\n"
    "of each; -o saves the last frame as a PPM picture; --list prints what the\n"
    "device offers.\n";

struct Options {
    const char *device = "/dev/video0";
    int frames = 10;
    int width = 640;
    int height = 480;
    int rate = 0;
    bool list = false;
    bool setShutter = false;
    bool setGain = false;
    int shutter = 0;
    int gain = 0;
    const char *output = nullptr;  // PPM file for the last frame
};

bool parseNumber(const char *text, int minimum, int *value)
{
    char *end;
    errno = 0;
    long parsed = strtol(text, &end, 10);
    if (end == text || *end || errno || parsed < minimum || parsed > 1000000000L) return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool parseSize(const char *text, int *width, int *height)
{
    std::string size(text);
    size_t x = size.find('x');
    if (x == std::string::npos) return false;
    return parseNumber(size.substr(0, x).c_str(), 2, width) &&
           parseNumber(size.substr(x + 1).c_str(), 2, height);
}

// 0 when parsed, 1 on a usage error, 2 for --help.
int parseOptions(int argc, char **argv, Options *options)
{
    bool haveDevice = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "-h" || arg == "--help") return 2;
        if (arg == "--list") {
            options->list = true;
        } else if (arg == "-n" && next && parseNumber(next, 1, &options->frames)) {
            ++i;
        } else if (arg == "-s" && next && parseSize(next, &options->width, &options->height)) {
            ++i;
        } else if (arg == "-o" && next) {
            options->output = next;
            ++i;
        } else if (arg == "-r" && next && parseNumber(next, 1, &options->rate)) {
            ++i;
        } else if (arg == "--shutter" && next && parseNumber(next, 0, &options->shutter)) {
            options->setShutter = true;
            ++i;
        } else if (arg == "--gain" && next && parseNumber(next, 0, &options->gain)) {
            options->setGain = true;
            ++i;
        } else if (arg[0] != '-' && !haveDevice) {
            options->device = argv[i];
            haveDevice = true;
        } else {
            return 1;
        }
    }
    return 0;
}

void printControl(const KxGrabDevice *device, int fd, uint32_t id, const char *name)
{
    v4l2_queryctrl query{};
    query.id = id;
    if (device->ioctl(device->context, fd, VIDIOC_QUERYCTRL, &query) < 0 ||
        (query.flags & V4L2_CTRL_FLAG_DISABLED)) {
        printf("  %-18s none\n", name);
        return;
    }
    printf("  %-18s %d..%d step %d, default %d\n", name, query.minimum, query.maximum,
           query.step, query.default_value);
}

int listDevice(const char *path)
{
    const KxGrabDevice *device = _kxGrabChooseDevice(path);
    int fd = device->open(device->context, path, O_RDWR);
    if (fd < 0) {
        const char *detail = device->describe_error ? device->describe_error(device->context) : nullptr;
        fprintf(stderr, "kxgrab: %s: %s\n", path, detail ? detail : strerror(errno));
        return 1;
    }
    printf("device: %s (%s)\n", path,
           device == _kxGrabRecordedVideo() ? "recorded YUV4MPEG2 video" : "Video4Linux through libv4l1");
    video_capability cap{};
    if (device->ioctl(device->context, fd, VIDIOCGCAP, &cap) < 0) {
        printf("capabilities: not available (%s)\n", strerror(errno));
    } else {
        cap.name[sizeof cap.name - 1] = '\0';
        printf("name: %s\n", cap.name);
        printf("type:%s%s%s%s\n", cap.type & VID_TYPE_CAPTURE ? " capture" : "",
               cap.type & VID_TYPE_TUNER ? " tuner" : "", cap.type & VID_TYPE_SCALES ? " scales" : "",
               cap.type & VID_TYPE_MONOCHROME ? " monochrome" : "");
        printf("channels: %d, audio inputs: %d\n", cap.channels, cap.audios);
        printf("sizes: %d x %d to %d x %d\n", cap.minwidth, cap.minheight, cap.maxwidth,
               cap.maxheight);
    }
    video_mbuf mbuf{};
    if (device->ioctl(device->context, fd, VIDIOCGMBUF, &mbuf) == 0)
        printf("capture memory: %d frames, %d bytes\n", mbuf.frames, mbuf.size);
    printf("controls (used for shutter and gain when the Philips webcam requests are unknown):\n");
    printControl(device, fd, V4L2_CID_EXPOSURE_AUTO, "exposure mode");
    printControl(device, fd, V4L2_CID_EXPOSURE_ABSOLUTE, "exposure absolute");
    printControl(device, fd, V4L2_CID_EXPOSURE, "exposure");
    printControl(device, fd, V4L2_CID_AUTOGAIN, "automatic gain");
    printControl(device, fd, V4L2_CID_GAIN, "gain");
    device->close(device->context, fd);
    return 0;
}

struct FrameStatistics {
    double mean[3] = {0, 0, 0};
    int greyMin = 255;
    int greyMax = 0;
    double saturated = 0;  // share of pixels with a channel at 255
};

FrameStatistics measure(const kxImage *image)
{
    FrameStatistics stats;
    const size_t pixels = static_cast<size_t>(image->width) * image->height;
    double sum[3] = {0, 0, 0};
    size_t saturated = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t *p = image->data + 3 * i;
        for (int k = 0; k < 3; ++k) sum[k] += p[k];
        int grey = (p[0] + p[1] + p[2]) / 3;
        if (grey < stats.greyMin) stats.greyMin = grey;
        if (grey > stats.greyMax) stats.greyMax = grey;
        if (p[0] == 255 || p[1] == 255 || p[2] == 255) ++saturated;
    }
    for (int k = 0; k < 3; ++k) stats.mean[k] = pixels ? sum[k] / pixels : 0;
    stats.saturated = pixels ? 100.0 * saturated / pixels : 0;
    return stats;
}

int grab(const Options &options)
{
    if (options.rate && kxGrabSetFrameRate(options.rate) < 0) return 1;
    if (kxGrabInit(options.device, 0, options.width, options.height, 1) < 0) return 1;
    int status = 0;
    if (options.setShutter && kxGrabSetShutter(options.shutter) < 0) status = 1;
    if (options.setGain && kxGrabSetGain(options.gain) < 0) status = 1;
    kxImage *image = kxImageCreate(RGB, options.width, options.height);
    if (!image) status = 1;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int grabbed = 0;
    for (int n = 1; status == 0 && n <= options.frames; ++n) {
        Clock::time_point before = Clock::now();
        if (kxGrabImage(image) < 0) {
            status = 1;
            break;
        }
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
        FrameStatistics s = measure(image);
        printf("frame %d: %d x %d, %.1f ms, mean RGB %.1f %.1f %.1f, grey %d..%d, %.2f%% saturated\n",
               n, image->width, image->height, ms, s.mean[0], s.mean[1], s.mean[2], s.greyMin,
               s.greyMax, s.saturated);
        ++grabbed;
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (grabbed > 0)
        printf("%d frames in %.2f s (%.1f frames per second)\n", grabbed, seconds,
               seconds > 0 ? grabbed / seconds : 0.0);
    if (status == 0 && options.output && grabbed > 0 && kxImageSave(image, options.output) < 0)
        status = 1;
    kxImageDestroy(image);
    if (kxGrabShutdown() < 0) status = 1;
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int parsed = parseOptions(argc, argv, &options);
    if (parsed == 2) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (parsed == 1) {
        fputs(kUsage, stderr);
        return 1;
    }
    return options.list ? listDevice(options.device) : grab(options);
}
