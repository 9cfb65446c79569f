// A simulated Video4Linux 1 camera for tests: a real implementation of the
// capture protocol the frame grabber speaks (capabilities, window, capture
// memory, memory-mapped double-buffered capture and sync, the Philips webcam
// gain and shutter requests, V4L2 exposure and gain controls), with painted
// pictures and injectable failures of each request.
//
// The capture memory is a memfd that the grabber maps with the real mmap;
// the descriptor the grabber gets is that memfd, so fcntl and close act on a
// real descriptor. Pictures are painted when a capture starts
// (VIDIOCMCAPTURE), so a picture shows the camera settings of that moment.
//
// Use: construct, configure, install() (or FakeV4l1Device::Installed), then
// call kxGrabInit with any path. The destructor uninstalls the device.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "grab_device.h"

namespace kxtest {

class FakeV4l1Device {
public:
    enum class Request {
        Open,
        Close,
        GetCapabilities,  // VIDIOCGCAP
        SetWindow,        // VIDIOCSWIN
        GetBuffers,       // VIDIOCGMBUF
        Map,              // mmap
        Unmap,            // munmap
        Capture,          // VIDIOCMCAPTURE
        Sync,             // VIDIOCSYNC
        PwcGain,          // the Philips driver's gain request
        PwcShutter,       // the Philips driver's shutter request
        QueryControl,     // VIDIOC_QUERYCTRL
        SetControl,       // VIDIOC_S_CTRL
    };

    // Paints one picture: planes of a width x height YUV 4:2:0 frame in the
    // grabber's layout (chroma planes of height/2 rows of width/2 bytes).
    // `sequence` counts captures from 0.
    using Painter = std::function<void(int sequence, int width, int height, uint8_t *y,
                                       uint8_t *cb, uint8_t *cr)>;

    struct Control {
        int32_t minimum, maximum, step, value;
    };

    FakeV4l1Device();
    ~FakeV4l1Device();
    FakeV4l1Device(const FakeV4l1Device &) = delete;
    FakeV4l1Device &operator=(const FakeV4l1Device &) = delete;

    // Makes the grabber use this device until uninstall() or destruction.
    void install();
    void uninstall();

    // --- configuration (before kxGrabInit) ---
    void setFrames(int frames) { frames_ = frames; }           // capture frames offered, 1..32
    void setMaxSize(int width, int height) { maxWidth_ = width; maxHeight_ = height; }
    void setName(const std::string &name) { name_ = name; }
    void setPainter(Painter painter) { painter_ = std::move(painter); }
    // Whether the Philips requests are known; unknown ones fail with `error`
    // (ENOTTY or EINVAL, as drivers answer).
    void setPwcRequests(bool known, int error = ENOTTY) { pwcKnown_ = known; pwcError_ = error; }
    // Adds (or replaces) a V4L2 control; a driver without it answers EINVAL.
    void addControl(uint32_t id, int32_t minimum, int32_t maximum, int32_t step, int32_t value);
    // Capture memory the driver reports (after the window is set) is cut by
    // `bytes`, to play a driver that under-reports its buffers.
    void shrinkReportedMemory(int bytes) { shrink_ = bytes; }

    // The `occurrence`-th call (1 = the next one) of `request` fails with
    // `error`; occurrence 0 makes every later call fail.
    void failOn(Request request, int error, int occurrence = 1);

    // --- observations ---
    const std::vector<int> &capturedFrames() const { return captured_; }
    const std::vector<int> &syncedFrames() const { return synced_; }
    int calls(Request request) const;
    bool open() const { return fd_ >= 0; }
    bool mapped() const { return mapping_ != nullptr; }
    int openCount() const { return opens_; }
    const std::string &openedPath() const { return path_; }
    const video_window &window() const { return window_; }
    // Last value of each setting, however it was set (-1 before).
    int32_t pwcGain() const { return pwcGain_; }
    int32_t pwcShutter() const { return pwcShutter_; }
    // A control's current value; -1 when the device has no such control.
    int32_t control(uint32_t id) const;

    // The painter's default: a pattern that changes with the sequence number.
    static void paintPattern(int sequence, int width, int height, uint8_t *y, uint8_t *cb,
                             uint8_t *cr);

private:
    bool injectFailure(Request request);
    int doOpen(const char *path);
    int doClose(int fd);
    int doIoctl(int fd, unsigned long request, void *arg);
    void *doMmap(size_t length, int fd, off_t offset);
    int doMunmap(void *start, size_t length);
    int capture(const video_mmap *request);
    int sync(unsigned int frame);
    size_t frameBytes() const;
    size_t frameStride() const;
    size_t memoryBytes() const;

    static FakeV4l1Device *self(void *context) { return static_cast<FakeV4l1Device *>(context); }

    KxGrabDevice table_;
    bool installed_ = false;
    int frames_ = 2;
    int maxWidth_ = 640;
    int maxHeight_ = 480;
    std::string name_ = "Fake V4L1 camera";
    Painter painter_ = paintPattern;
    bool pwcKnown_ = true;
    int pwcError_ = 0;
    std::map<uint32_t, Control> controls_;
    int shrink_ = 0;

    struct Failure {
        int error;
        int occurrence;
    };
    std::map<Request, Failure> failures_;
    std::map<Request, int> calls_;

    int fd_ = -1;
    int opens_ = 0;
    std::string path_;
    video_window window_{};
    bool windowSet_ = false;
    uint8_t *memory_ = nullptr;   // the device's own view of its capture memory
    size_t memoryLength_ = 0;
    uint8_t *mapping_ = nullptr;  // the grabber's mapping
    size_t mappingLength_ = 0;
    std::vector<bool> pending_;
    int sequence_ = 0;
    std::vector<int> captured_;
    std::vector<int> synced_;
    int32_t pwcGain_ = -1;
    int32_t pwcShutter_ = -1;
};

// What a call wrote on standard output and standard error.
struct Output {
    std::string out;
    std::string err;
};
Output captureOutput(const std::function<void()> &body);

// Reference YUV to RGB of one pixel: the formula as written, in double.
void referenceRgb(int y, int cb, int cr, int rgb[3]);

// The luma byte whose grey (with neutral chroma) is the largest value not
// above `grey`, for scenes of a given brightness.
uint8_t lumaForGrey(int grey);

} // namespace kxtest
