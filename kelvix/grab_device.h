// The frame grabber's device seam and module state; not part of the public API.
//
// Every system call the grabber makes on its capture device goes through a
// small operations table, like libv4l's plugin operations. kxGrabInit picks
// the table from the device path (a recorded YUV4MPEG2 video or a
// Video4Linux device through libv4l1); tests install a table of their own
// with _kxGrabSetDevice to drive the grabber with a simulated camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// libv4l1-videodev.h includes the ioctl macros only when `linux` is defined,
// which strict C++ modes do not do.
#include <linux/ioctl.h>
#include <libv4l1-videodev.h>

#include "kelvix.h"

// Operations on one capture device. `context` is handed back to each call.
// Results follow the system calls they stand for: -1 (or MAP_FAILED) with
// errno set on failure.
struct KxGrabDevice {
    void *context;
    int (*open)(void *context, const char *path, int flags);
    int (*close)(void *context, int fd);
    int (*ioctl)(void *context, int fd, unsigned long request, void *arg);
    void *(*mmap)(void *context, void *start, size_t length, int prot, int flags, int fd,
                  off_t offset);
    int (*munmap)(void *context, void *start, size_t length);
    // Optional (may be NULL): a one-line explanation of the device's last
    // failure when errno alone would say too little (a recorded video of the
    // wrong size, the end of a stream), else NULL. Printed in place of the
    // system's error text.
    const char *(*describe_error)(void *context);
};

// Installs `device` for every later kxGrabInit (and the shutter and gain
// requests), whatever the path; NULL restores the choice by path. The table
// must outlive its use. Meant for tests and simulations.
void _kxGrabSetDevice(const KxGrabDevice *device);

// The table kxGrabInit would use for `path`: the installed one if any, the
// recorded-video source for a regular file, a FIFO or a name ending in
// ".y4m", and libv4l1 for anything else (character devices).
const KxGrabDevice *_kxGrabChooseDevice(const char *path);

// How the grabber was last started, for kxGrabReopen: kept by kxGrabInit
// (path after defaults, capture size) and by the shutter and gain requests
// (the frame rate stays in `framerate`). An empty path: never started.
struct KxGrabSettings {
    std::string path;
    int32_t width = 0;
    int32_t height = 0;
    bool shutterSet = false;
    int32_t shutter = 0;
    bool gainSet = false;
    int32_t gain = 0;
};
const KxGrabSettings &_kxGrabSettings();

// Silences the grabber's failure messages while `quiet` is true.
void _kxGrabSetQuiet(bool quiet);

// How long opening a recorded video's FIFO waits for a writer: -1 (the
// default) as long as it takes, else at most that many milliseconds, after
// which the open fails with ENXIO.
void _kxGrabRecordedVideoWaitLimit(int milliseconds);

// How long the built-in tables wait for the next picture before the
// synchronisation fails with ETIMEDOUT: a camera that stops delivering
// without an error must not hold its reader for ever.
constexpr int KX_FRAME_WAIT_MS = 1000;

// The built-in tables.
const KxGrabDevice *_kxGrabV4l1Device();
const KxGrabDevice *_kxGrabRecordedVideo();

// Sets exposure or gain through the standard V4L2 controls, for drivers that
// do not know the Philips webcam requests. `value` (0..65535, clamped) is
// scaled linearly into the control's range as the driver reports it.
// 0, or -1 with errno set.
int _kxGrabSetShutterControl(const KxGrabDevice *device, int fd, int32_t value);
int _kxGrabSetGainControl(const KxGrabDevice *device, int fd, int32_t value);

// The number linear scaling gives `value` (clamped to 0..65535) in
// minimum..maximum, on the control's step grid counted from minimum.
int32_t _kxGrabScaleControl(int32_t value, int32_t minimum, int32_t maximum, int32_t step);

// Converts one YUV 4:2:0 planar frame (luma plane, then Cb at rows * cols,
// then Cr at rows * cols * 5 / 4; chroma planes of rows/2 x cols/2) into
// `rgb`, rows * cols pixels of three channels each.
void _kxGrabYuv420ToRgb(const uint8_t *frame, int32_t rows, int32_t cols, uint16_t *rgb);

// Bytes one frame of that layout occupies.
size_t _kxGrabFrameBytes(int32_t rows, int32_t cols);

// Request numbers. The private ones are those of the Philips webcam driver.
constexpr unsigned long KX_PWC_SET_GAIN = 0x400476C8;     // _IOW('v', 200, int)
constexpr unsigned long KX_PWC_SET_SHUTTER = 0x400476C9;  // _IOW('v', 201, int)
constexpr unsigned int KX_PALETTE_YUV420P = VIDEO_PALETTE_YUV420P;

// The V4L1 structures have the same size on 32- and 64-bit builds except
// struct video_window, whose clip-list pointer makes VIDIOCSWIN 0x4028760A on
// 64-bit machines; the platform header's values are the ones to send.
static_assert(VIDIOCGCAP == 0x803C7601, "VIDIOCGCAP");
static_assert(VIDIOCGMBUF == 0x80887614, "VIDIOCGMBUF");
static_assert(VIDIOCMCAPTURE == 0x40107613, "VIDIOCMCAPTURE");
static_assert(VIDIOCSYNC == 0x40047612, "VIDIOCSYNC");
static_assert(VIDIOCSWIN == (sizeof(void *) == 8 ? 0x4028760AUL : 0x4020760AUL), "VIDIOCSWIN");
static_assert(KX_PWC_SET_GAIN == _IOW('v', 200, int), "pwc gain request");
static_assert(KX_PWC_SET_SHUTTER == _IOW('v', 201, int), "pwc shutter request");

// Module state: one grabber per process. device_ID is -1 while the grabber
// is not initialised; map_buf and double_buf are NULL while no capture
// memory is mapped (never initialised, shut down, or released by a failed
// capture).
extern int32_t device_ID;
extern int32_t framerate;
extern int32_t grab_rows;
extern int32_t grab_cols;
extern uint8_t *map_buf;
extern uint8_t *double_buf;
extern struct video_capability v_capability;
extern struct video_window v_window;
extern struct video_mbuf v_mbuf;
extern struct video_mmap v_mmap;
