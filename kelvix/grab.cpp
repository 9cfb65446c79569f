// Frame grabber: Video4Linux 1 memory-mapped capture with two alternating
// frames, delivering RGB images.
#include "grab_device.h"
#include "internal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

int32_t device_ID = -1;
int32_t framerate = 0;
int32_t grab_rows = 0;
int32_t grab_cols = 0;
uint8_t *map_buf = nullptr;
uint8_t *double_buf = nullptr;
struct video_capability v_capability;
struct video_window v_window;
struct video_mbuf v_mbuf;
struct video_mmap v_mmap;

namespace {

const KxGrabDevice *installed = nullptr;
KxGrabSettings settings;
// Set while kxGrabReopen retries: its failures are expected and reported by
// its caller, once.
bool quiet = false;

void say(const char *line)
{
    if (!quiet) puts(line);
}
// The table of the open device; it also serves shutter and gain requests
// made before any initialisation (they fail on descriptor -1).
const KxGrabDevice *device = nullptr;

const KxGrabDevice *currentDevice()
{
    if (!device) device = installed ? installed : _kxGrabV4l1Device();
    return device;
}

// perror, or the device's own explanation when it has one.
void report(const char *what)
{
    if (quiet) return;
    int saved = errno;
    const KxGrabDevice *dev = currentDevice();
    const char *detail = dev->describe_error ? dev->describe_error(dev->context) : nullptr;
    if (detail) {
        fflush(stdout);
        fprintf(stderr, "%s: %s\n", what, detail);
    } else {
        errno = saved;
        perror(what);
    }
}

void releaseCaptureMemory()
{
    if (map_buf) device->munmap(device->context, map_buf, static_cast<size_t>(v_mbuf.size));
    map_buf = nullptr;
    double_buf = nullptr;
}

// A failed initialisation must not keep the device: a later kxGrabInit has
// to be able to start afresh.
int32_t abandonInit()
{
    releaseCaptureMemory();
    device->close(device->context, device_ID);
    device_ID = -1;
    return -1;
}

// The driver's capture memory must hold every frame the grabber reads
// (frames 0 and 1 at most), or the conversion would read past the mapping.
bool captureMemoryFits()
{
    if (v_mbuf.frames < 1 || v_mbuf.frames > 32 || v_mbuf.size <= 0) return false;
    size_t frameBytes = _kxGrabFrameBytes(grab_rows, grab_cols);
    int used = v_mbuf.frames > 1 ? 2 : 1;
    for (int frame = 0; frame < used; ++frame) {
        int offset = v_mbuf.offsets[frame];
        if (offset < 0 || static_cast<size_t>(offset) > static_cast<size_t>(v_mbuf.size) ||
            frameBytes > static_cast<size_t>(v_mbuf.size) - static_cast<size_t>(offset))
            return false;
    }
    return true;
}

int32_t setWithFallback(unsigned long request, int32_t value,
                        int (*fallback)(const KxGrabDevice *, int, int32_t), const char *message)
{
    const KxGrabDevice *dev = currentDevice();
    int argument = value;
    if (dev->ioctl(dev->context, device_ID, request, &argument) == 0) return 0;
    int privateError = errno;
    // Drivers other than the Philips webcam's answer ENOTTY or EINVAL to its
    // private requests; the standard controls do the same job there.
    if ((privateError == ENOTTY || privateError == EINVAL) && fallback(dev, device_ID, value) == 0)
        return 0;
    errno = privateError;
    report(message);
    return -1;
}

} // namespace

void _kxGrabSetDevice(const KxGrabDevice *table)
{
    installed = table;
    if (device_ID == -1) device = nullptr;
}

const KxGrabDevice *_kxGrabChooseDevice(const char *path)
{
    if (installed) return installed;
    size_t length = strlen(path);
    if (length >= 4 && strcmp(path + length - 4, ".y4m") == 0) return _kxGrabRecordedVideo();
    // A recorded stream may also come under another name from a file or a
    // pipe; cameras are character devices.
    struct stat status;
    if (stat(path, &status) == 0 && (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode)))
        return _kxGrabRecordedVideo();
    return _kxGrabV4l1Device();
}

int32_t kxGrabSetFrameRate(int32_t rate)
{
    if (device_ID != -1) {
        puts("kxGrabSetFrameRate: error: framegrabber already initialized");
        return -1;
    }
    if (rate < 4 || rate > 30) {
        perror("Parameter out of range - Defaulting to standard\n");
        framerate = 15;
        return -1;
    }
    framerate = rate;
    return 0;
}

int32_t kxGrabInit(const char *path, int32_t, int32_t width, int32_t height, int32_t)
{
    if (device_ID != -1) {
        say("kxGrabInit: error: framegrabber already initialized");
        return -1;
    }
    if (!path) path = "/dev/video0";
    if (height == 0) height = 240;
    if (width == 0) width = 320;
    // A frame needs at least one chroma sample, and must fit the driver's
    // int-sized buffer count; refusing other sizes keeps every offset in range.
    if (width < 2 || height < 2 || static_cast<long long>(width) * height > INT_MAX / 2) {
        say("kxGrabInit: error: illegal capture size");
        return -1;
    }
    grab_rows = height;
    grab_cols = width;
    settings.path = path;
    settings.width = width;
    settings.height = height;

    device = _kxGrabChooseDevice(path);
    device_ID = device->open(device->context, path, O_RDWR);
    if (device_ID < 0) {
        device_ID = -1;
        report("kxGrabInit");
        return -1;
    }
    if (device->ioctl(device->context, device_ID, VIDIOCGCAP, &v_capability) < 0) {
        report("VIDIOCGCAP");
        return abandonInit();
    }
    v_window.width = static_cast<uint32_t>(grab_cols);
    v_window.height = static_cast<uint32_t>(grab_rows);
    v_window.flags &= ~0x003F0000u;
    v_window.flags |= static_cast<uint32_t>(framerate) << 16;
    if (device->ioctl(device->context, device_ID, VIDIOCSWIN, &v_window) < 0) {
        report("VIDIOCSWIN");
        return abandonInit();
    }
    fcntl(device_ID, F_SETFD, FD_CLOEXEC);
    if (device->ioctl(device->context, device_ID, VIDIOCGMBUF, &v_mbuf) < 0) {
        report("VIDIOCGMBUF");
        return abandonInit();
    }
    if (!captureMemoryFits()) {
        say("kxGrabInit: error: the driver's capture memory does not hold the frames");
        return abandonInit();
    }
    void *mapped = device->mmap(device->context, nullptr, static_cast<size_t>(v_mbuf.size),
                                PROT_READ | PROT_WRITE, MAP_SHARED, device_ID, 0);
    if (mapped == MAP_FAILED) {
        report("mmap");
        return abandonInit();
    }
    map_buf = static_cast<uint8_t *>(mapped);
    double_buf = nullptr;
    v_mmap.width = grab_cols;
    v_mmap.height = grab_rows;
    v_mmap.format = KX_PALETTE_YUV420P;
    v_mmap.frame = 0;
    if (v_mbuf.frames >= 2 && device->ioctl(device->context, device_ID, VIDIOCMCAPTURE, &v_mmap) < 0) {
        report("VIDIOCMCAPTURE-Init-Frame#0");
        return abandonInit();
    }
    return 0;
}

int32_t kxGrabSetShutter(int32_t value)
{
    settings.shutterSet = true;
    settings.shutter = value;
    return setWithFallback(KX_PWC_SET_SHUTTER, value, _kxGrabSetShutterControl,
                           "Error setting shutter speed");
}

int32_t kxGrabSetGain(int32_t value)
{
    settings.gainSet = true;
    settings.gain = value;
    return setWithFallback(KX_PWC_SET_GAIN, value, _kxGrabSetGainControl, "Error setting gain");
}

const KxGrabSettings &_kxGrabSettings()
{
    return settings;
}

void _kxGrabSetQuiet(bool on)
{
    quiet = on;
}

int32_t kxGrabImage(kxImage *image)
{
    // A signal's ending runs here, between frames, never while one is read.
    _kxEndIfSignalled();
    KxLibraryCall call;
    if (device_ID == -1) {
        puts("kxGrabImage: error: framegrabber not initialized");
        return -1;
    }
    // A failed capture released the mapped memory; the device stays open
    // until kxGrabShutdown, but there is nothing left to read.
    if (!map_buf) {
        puts("kxGrabImage: error: capture memory released after a failed capture");
        return -1;
    }
    const bool twoFrames = v_mbuf.frames > 1;
    if (twoFrames) v_mmap.frame ^= 1;
    if (device->ioctl(device->context, device_ID, VIDIOCMCAPTURE, &v_mmap) < 0) {
        report("VIDIOCMCAPTURE-Frame");
        printf("VIDIOCMCAPTURE frame: %d\n", v_mmap.frame);
        releaseCaptureMemory();
        return -1;
    }
    if (twoFrames) v_mmap.frame ^= 1;
    if (device->ioctl(device->context, device_ID, VIDIOCSYNC, &v_mmap.frame) < 0) {
        report("VIDIOCSYNC-Frame#0");
        printf("VIDIOCSYNC frame: %d\n", v_mmap.frame);
        releaseCaptureMemory();
        return -1;
    }
    double_buf = map_buf + v_mbuf.offsets[v_mmap.frame];
    if (twoFrames) v_mmap.frame ^= 1;
    return kxGrabLastImage(image);
}

int32_t kxGrabLastImage(kxImage *image)
{
    if (!image) {
        puts("kxGrabLastImage: error: NULL image");
        return -1;
    }
    if (!double_buf) {
        puts("kxGrabLastImage: error: no frame captured");
        return -1;
    }
    if (kxImageInit(image, RGB, grab_cols, grab_rows) < 0) {
        puts("kxGrabLastImage: error: could not initialize image");
        return -1;
    }
    _kxGrabYuv420ToRgb(double_buf, grab_rows, grab_cols, image->data);
    return 0;
}

int32_t kxGrabShutdown(void)
{
    if (device_ID == -1) return 0;
    int unmapped = 0;
    if (map_buf) unmapped = device->munmap(device->context, map_buf, static_cast<size_t>(v_mbuf.size));
    map_buf = nullptr;
    double_buf = nullptr;
    if (unmapped < 0) {
        report("kxGrabShutdown");
        // Still give the descriptor back: the grabber forgets it either way.
        int saved = errno;
        device->close(device->context, device_ID);
        errno = saved;
        device_ID = -1;
        return -1;
    }
    int closed = device->close(device->context, device_ID);
    device_ID = -1;
    if (closed < 0) {
        report("kxGrabShutdown");
        return -1;
    }
    return 0;
}
