#include "fake_v4l1_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include <linux/videodev2.h>

namespace kxtest {

namespace {

constexpr size_t kPage = 4096;

size_t roundUpToPage(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

} // namespace

FakeV4l1Device::FakeV4l1Device()
{
    table_.context = this;
    table_.open = [](void *c, const char *path, int) { return self(c)->doOpen(path); };
    table_.close = [](void *c, int fd) { return self(c)->doClose(fd); };
    table_.ioctl = [](void *c, int fd, unsigned long request, void *arg) {
        return self(c)->doIoctl(fd, request, arg);
    };
    table_.mmap = [](void *c, void *, size_t length, int, int, int fd, off_t offset) {
        return self(c)->doMmap(length, fd, offset);
    };
    table_.munmap = [](void *c, void *start, size_t length) {
        return self(c)->doMunmap(start, length);
    };
    table_.describe_error = nullptr;
}

FakeV4l1Device::~FakeV4l1Device()
{
    uninstall();
    if (memory_) munmap(memory_, memoryLength_);
    if (mapping_) munmap(mapping_, mappingLength_);
    if (fd_ >= 0) ::close(fd_);
}

void FakeV4l1Device::install()
{
    _kxGrabSetDevice(&table_);
    installed_ = true;
}

void FakeV4l1Device::uninstall()
{
    if (!installed_) return;
    _kxGrabSetDevice(nullptr);
    installed_ = false;
}

void FakeV4l1Device::addControl(uint32_t id, int32_t minimum, int32_t maximum, int32_t step,
                                int32_t value)
{
    controls_[id] = Control{minimum, maximum, step, value};
}

void FakeV4l1Device::failOn(Request request, int error, int occurrence)
{
    failures_[request] = Failure{error, occurrence == 0 ? 0 : calls(request) + occurrence};
}

int FakeV4l1Device::calls(Request request) const
{
    auto found = calls_.find(request);
    return found == calls_.end() ? 0 : found->second;
}

int32_t FakeV4l1Device::control(uint32_t id) const
{
    auto found = controls_.find(id);
    return found == controls_.end() ? -1 : found->second.value;
}

// Counts the call and tells whether it is one chosen to fail (errno set).
bool FakeV4l1Device::injectFailure(Request request)
{
    int count = ++calls_[request];
    auto found = failures_.find(request);
    if (found == failures_.end()) return false;
    if (found->second.occurrence != 0 && found->second.occurrence != count) return false;
    errno = found->second.error;
    return true;
}

size_t FakeV4l1Device::frameBytes() const
{
    return _kxGrabFrameBytes(static_cast<int32_t>(window_.height), static_cast<int32_t>(window_.width));
}

// Frames start on page boundaries, as in real drivers' capture memory.
size_t FakeV4l1Device::frameStride() const { return roundUpToPage(frameBytes()); }

size_t FakeV4l1Device::memoryBytes() const { return frameStride() * frames_; }

int FakeV4l1Device::doOpen(const char *path)
{
    if (injectFailure(Request::Open)) return -1;
    if (fd_ >= 0) {
        errno = EBUSY;
        return -1;
    }
    int fd = memfd_create("fake-v4l1", MFD_CLOEXEC);
    if (fd < 0) return -1;
    fd_ = fd;
    ++opens_;
    path_ = path;
    windowSet_ = false;
    pending_.assign(frames_, false);
    return fd;
}

int FakeV4l1Device::doClose(int fd)
{
    if (injectFailure(Request::Close)) return -1;
    if (fd < 0 || fd != fd_) {
        errno = EBADF;
        return -1;
    }
    if (memory_) munmap(memory_, memoryLength_);
    memory_ = nullptr;
    fd_ = -1;
    return ::close(fd);
}

int FakeV4l1Device::doIoctl(int fd, unsigned long request, void *arg)
{
    Request which;
    switch (request) {
    case VIDIOCGCAP: which = Request::GetCapabilities; break;
    case VIDIOCSWIN: which = Request::SetWindow; break;
    case VIDIOCGMBUF: which = Request::GetBuffers; break;
    case VIDIOCMCAPTURE: which = Request::Capture; break;
    case VIDIOCSYNC: which = Request::Sync; break;
    case KX_PWC_SET_GAIN: which = Request::PwcGain; break;
    case KX_PWC_SET_SHUTTER: which = Request::PwcShutter; break;
    case VIDIOC_QUERYCTRL: which = Request::QueryControl; break;
    case VIDIOC_S_CTRL: which = Request::SetControl; break;
    default: errno = ENOTTY; return -1;
    }
    if (injectFailure(which)) return -1;
    if (fd < 0 || fd != fd_) {
        errno = EBADF;
        return -1;
    }
    switch (which) {
    case Request::GetCapabilities: {
        auto *cap = static_cast<video_capability *>(arg);
        memset(cap, 0, sizeof *cap);
        strncpy(cap->name, name_.c_str(), sizeof cap->name - 1);
        cap->type = VID_TYPE_CAPTURE | VID_TYPE_SCALES;
        cap->channels = 1;
        cap->maxwidth = maxWidth_;
        cap->maxheight = maxHeight_;
        cap->minwidth = 2;
        cap->minheight = 2;
        return 0;
    }
    case Request::SetWindow: {
        const auto *window = static_cast<const video_window *>(arg);
        if (window->width < 2 || window->height < 2 || window->width > uint32_t(maxWidth_) ||
            window->height > uint32_t(maxHeight_)) {
            errno = EINVAL;
            return -1;
        }
        if (memory_) {  // size changes while memory is in use are refused
            errno = EBUSY;
            return -1;
        }
        window_ = *window;
        windowSet_ = true;
        return 0;
    }
    case Request::GetBuffers: {
        if (!windowSet_) {
            errno = EINVAL;
            return -1;
        }
        auto *mbuf = static_cast<video_mbuf *>(arg);
        memset(mbuf, 0, sizeof *mbuf);
        mbuf->size = static_cast<int>(memoryBytes()) - shrink_;
        mbuf->frames = frames_;
        for (int i = 0; i < frames_ && i < 32; ++i)
            mbuf->offsets[i] = static_cast<int>(frameStride() * i);
        return 0;
    }
    case Request::Capture: return capture(static_cast<const video_mmap *>(arg));
    case Request::Sync: return sync(*static_cast<const unsigned int *>(arg));
    case Request::PwcGain:
    case Request::PwcShutter:
        if (!pwcKnown_) {
            errno = pwcError_;
            return -1;
        }
        (which == Request::PwcGain ? pwcGain_ : pwcShutter_) = *static_cast<const int *>(arg);
        return 0;
    case Request::QueryControl: {
        auto *query = static_cast<v4l2_queryctrl *>(arg);
        auto found = controls_.find(query->id);
        if (found == controls_.end()) {
            errno = EINVAL;
            return -1;
        }
        query->type = V4L2_CTRL_TYPE_INTEGER;
        query->minimum = found->second.minimum;
        query->maximum = found->second.maximum;
        query->step = found->second.step;
        query->default_value = found->second.value;
        query->flags = 0;
        return 0;
    }
    case Request::SetControl: {
        auto *control = static_cast<v4l2_control *>(arg);
        auto found = controls_.find(control->id);
        if (found == controls_.end()) {
            errno = EINVAL;
            return -1;
        }
        Control &c = found->second;
        if (control->value < c.minimum || control->value > c.maximum ||
            (c.step > 1 && (control->value - c.minimum) % c.step != 0)) {
            errno = ERANGE;
            return -1;
        }
        c.value = control->value;
        return 0;
    }
    default: errno = ENOTTY; return -1;
    }
}

void *FakeV4l1Device::doMmap(size_t length, int fd, off_t offset)
{
    if (injectFailure(Request::Map)) return MAP_FAILED;
    if (fd < 0 || fd != fd_) {
        errno = EBADF;
        return MAP_FAILED;
    }
    if (!windowSet_ || offset != 0 || length == 0 || length > memoryBytes() || mapping_) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    if (!memory_) {
        if (ftruncate(fd_, static_cast<off_t>(memoryBytes())) < 0) return MAP_FAILED;
        void *own = ::mmap(nullptr, memoryBytes(), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (own == MAP_FAILED) return MAP_FAILED;
        memory_ = static_cast<uint8_t *>(own);
        memoryLength_ = memoryBytes();
    }
    void *view = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (view == MAP_FAILED) return MAP_FAILED;
    mapping_ = static_cast<uint8_t *>(view);
    mappingLength_ = length;
    return view;
}

int FakeV4l1Device::doMunmap(void *start, size_t length)
{
    if (injectFailure(Request::Unmap)) return -1;
    if (!mapping_ || start != mapping_ || length != mappingLength_) {
        errno = EINVAL;
        return -1;
    }
    int result = ::munmap(mapping_, mappingLength_);
    mapping_ = nullptr;
    return result;
}

int FakeV4l1Device::capture(const video_mmap *request)
{
    if (!windowSet_ || !memory_ || request->frame >= unsigned(frames_) ||
        request->format != VIDEO_PALETTE_YUV420P || request->width != int(window_.width) ||
        request->height != int(window_.height)) {
        errno = EINVAL;
        return -1;
    }
    if (pending_[request->frame]) {
        errno = EBUSY;
        return -1;
    }
    pending_[request->frame] = true;
    captured_.push_back(static_cast<int>(request->frame));
    uint8_t *frame = memory_ + frameStride() * request->frame;
    const int width = request->width;
    const int height = request->height;
    const size_t pixels = static_cast<size_t>(width) * height;
    painter_(sequence_++, width, height, frame, frame + pixels, frame + pixels * 5 / 4);
    return 0;
}

int FakeV4l1Device::sync(unsigned int frame)
{
    if (frame >= unsigned(frames_) || !pending_[frame]) {
        errno = EINVAL;
        return -1;
    }
    pending_[frame] = false;
    synced_.push_back(static_cast<int>(frame));
    return 0;
}

void FakeV4l1Device::paintPattern(int sequence, int width, int height, uint8_t *y, uint8_t *cb,
                                  uint8_t *cr)
{
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) y[r * width + c] = uint8_t(r * 7 + c * 3 + sequence * 11);
    for (int r = 0; r < height / 2; ++r) {
        for (int c = 0; c < width / 2; ++c) {
            cb[r * (width / 2) + c] = uint8_t(c * 5 + r + sequence * 13);
            cr[r * (width / 2) + c] = uint8_t(r * 9 + c + sequence * 17);
        }
    }
}

namespace {

std::string drain(FILE *sink)
{
    std::string text;
    rewind(sink);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, sink)) > 0) text.append(buffer, n);
    fclose(sink);
    return text;
}

} // namespace

Output captureOutput(const std::function<void()> &body)
{
    fflush(stdout);
    fflush(stderr);
    FILE *out = tmpfile();
    FILE *err = tmpfile();
    if (!out || !err) {
        if (out) fclose(out);
        if (err) fclose(err);
        body();
        return Output{"<tmpfile failed>", "<tmpfile failed>"};
    }
    int savedOut = dup(STDOUT_FILENO);
    int savedErr = dup(STDERR_FILENO);
    dup2(fileno(out), STDOUT_FILENO);
    dup2(fileno(err), STDERR_FILENO);
    body();
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    return Output{drain(out), drain(err)};
}

void referenceRgb(int y, int cb, int cr, int rgb[3])
{
    int u = cb - 128;
    int v = cr - 128;
    double luma = (y - 16) * 1.1644;
    double values[3] = {luma + 1.596 * v, luma - 0.3918 * u - 0.813 * v, luma + 2.0172 * u};
    for (int k = 0; k < 3; ++k) {
        int truncated = static_cast<int>(values[k]);
        rgb[k] = truncated > 255 ? 255 : (truncated < 0 ? 0 : truncated);
    }
}

uint8_t lumaForGrey(int grey)
{
    uint8_t best = 0;
    for (int y = 0; y < 256; ++y) {
        int rgb[3];
        referenceRgb(y, 128, 128, rgb);
        if (rgb[0] <= grey) best = static_cast<uint8_t>(y);
    }
    return best;
}

} // namespace kxtest
