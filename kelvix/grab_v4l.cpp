// Camera devices through libv4l1. Its V4L1 emulation answers the V4L1
// requests (capabilities, window, capture buffers, capture and sync, with
// conversion to the YUV 4:2:0 palette) on V4L2 drivers, which is what every
// current webcam has; requests it does not emulate go to the driver as they
// are.
#include "grab_device.h"

#include <cerrno>
#include <libv4l1.h>
#include <poll.h>

namespace {

int v4lOpen(void *, const char *path, int flags) { return v4l1_open(path, flags); }
int v4lClose(void *, int fd) { return v4l1_close(fd); }
// The sync waits for the picture at most KX_FRAME_WAIT_MS. A device that
// cannot be polled yet (no capture running: poll reports an error at once)
// is waited for as the driver does.
int v4lIoctl(void *, int fd, unsigned long request, void *arg)
{
    if (request == VIDIOCSYNC) {
        pollfd ready{fd, POLLIN, 0};
        int got;
        do {
            got = poll(&ready, 1, KX_FRAME_WAIT_MS);
        } while (got < 0 && errno == EINTR);
        if (got == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
    }
    return v4l1_ioctl(fd, request, arg);
}
void *v4lMmap(void *, void *start, size_t length, int prot, int flags, int fd, off_t offset)
{
    return v4l1_mmap(start, length, prot, flags, fd, offset);
}
int v4lMunmap(void *, void *start, size_t length) { return v4l1_munmap(start, length); }

const KxGrabDevice v4l1Device = {nullptr, v4lOpen, v4lClose, v4lIoctl, v4lMmap, v4lMunmap, nullptr};

} // namespace

const KxGrabDevice *_kxGrabV4l1Device() { return &v4l1Device; }
