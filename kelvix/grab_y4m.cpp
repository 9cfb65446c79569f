// Recorded video as a capture device: a YUV4MPEG2 stream (a file or a FIFO,
// 8-bit 4:2:0 planar, as `ffmpeg -pix_fmt yuv420p -f yuv4mpegpipe` writes
// it) answering the grabber's V4L1 requests. It offers two capture frames;
// VIDIOCSYNC on a frame whose capture was started reads the next picture of
// the stream into it, in the grabber's planar layout. A regular file starts
// over at its end, like a camera that never stops; a FIFO ends when its
// writer has gone, and the synchronisation then fails, as it does when the
// stream sends nothing for KX_FRAME_WAIT_MS.
//
// Stream format: a header line "YUV4MPEG2 W<width> H<height> ..." with
// optional F (rate), I (interlacing), A (aspect), C (colour space) and X
// (extension) fields; then per picture a line starting with "FRAME" and the
// Y, Cb and Cr planes, chroma of ceil(width/2) x ceil(height/2) bytes.
#include "grab_device.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kPipeBytes = 1 << 20;

// Buffered reads from a descriptor that may be a pipe: short reads and
// interruptions are normal there.
class StreamReader {
public:
    void reset(int fd)
    {
        fd_ = fd;
        begin_ = end_ = 0;
    }

    // One line without its '\n'. 1 on success, 0 at the end of the stream
    // before any byte, -1 on an error or a line that is too long or cut off.
    int readLine(std::string *line)
    {
        line->clear();
        for (;;) {
            if (begin_ == end_) {
                int got = fill();
                if (got < 0) return -1;
                if (got == 0) {
                errno = 0;  // a line cut off by the end is the end
                return line->empty() ? 0 : -1;
            }
            }
            char ch = static_cast<char>(buffer_[begin_++]);
            if (ch == '\n') return 1;
            if (line->size() >= kMaxLine) {
                errno = EIO;
                return -1;
            }
            line->push_back(ch);
        }
    }

    // Exactly `count` bytes; false at the end of the stream or on an error
    // (errno 0 for the end).
    bool readExact(uint8_t *dest, size_t count)
    {
        size_t buffered = end_ - begin_;
        size_t take = buffered < count ? buffered : count;
        memcpy(dest, buffer_ + begin_, take);
        begin_ += take;
        dest += take;
        count -= take;
        // Large planes go straight to their destination.
        while (count > 0) {
            if (!awaitData()) return false;
            ssize_t got = read(fd_, dest, count);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got == 0) errno = 0;
                return false;
            }
            dest += got;
            count -= static_cast<size_t>(got);
        }
        return true;
    }

private:
    // False with errno ETIMEDOUT when nothing comes within KX_FRAME_WAIT_MS
    // (a writer that holds the stream open but sends nothing).
    bool awaitData()
    {
        pollfd ready{fd_, POLLIN, 0};
        int got;
        do {
            got = ::poll(&ready, 1, KX_FRAME_WAIT_MS);
        } while (got < 0 && errno == EINTR);
        if (got == 0) errno = ETIMEDOUT;
        return got != 0;  // an error shows in the read that follows
    }

    int fill()
    {
        for (;;) {
            if (!awaitData()) return -1;
            ssize_t got = read(fd_, buffer_, sizeof buffer_);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return -1;
            begin_ = 0;
            end_ = static_cast<size_t>(got);
            return static_cast<int>(got);
        }
    }

    int fd_ = -1;
    uint8_t buffer_[1 << 16];
    size_t begin_ = 0;
    size_t end_ = 0;
};

bool parseInt(const char *text, int *value)
{
    char *end;
    errno = 0;
    long parsed = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno || parsed <= 0 || parsed > INT_MAX) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// 8-bit 4:2:0 colour spaces; they differ only in chroma siting, which the
// grabber's layout does not record.
bool isPlanar420(const std::string &colour)
{
    return colour == "420jpeg" || colour == "420paldv" || colour == "420mpeg2" || colour == "420";
}

class RecordedVideo {
public:
    int open(const char *path)
    {
        message_.clear();
        if (fd_ >= 0) return fail(EBUSY, "a recorded video is already open");
        // Read-only: opening a FIFO for writing too would keep it from ever
        // reporting its end.
        int fd = waitLimitMs_ < 0 ? ::open(path, O_RDONLY | O_CLOEXEC) : openWithin(path);
        if (fd < 0) return -1;
        struct stat status;
        if (fstat(fd, &status) < 0) {
            int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        fd_ = fd;
        loops_ = S_ISREG(status.st_mode);
        // A pipe of the default 64 KiB makes its writer and this reader take
        // turns several times per picture; room for a whole picture or two
        // lets each side go on with its own work. Capped by the system's
        // pipe-max-size; a refusal only keeps the default.
        if (S_ISFIFO(status.st_mode)) fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
        reader_.reset(fd);
        if (readHeader() < 0) {
            int saved = errno;
            ::close(fd_);
            fd_ = -1;
            errno = saved;
            return -1;
        }
        pending_[0] = pending_[1] = false;
        framesThisPass_ = 0;
        return fd_;
    }

    int close(int fd)
    {
        message_.clear();
        if (fd < 0 || fd != fd_) return fail(EBADF, nullptr);
        fd_ = -1;
        return ::close(fd);
    }

    int ioctl(int fd, unsigned long request, void *arg)
    {
        message_.clear();
        if (fd < 0 || fd != fd_) return fail(EBADF, nullptr);
        if (!arg) return fail(EFAULT, nullptr);
        switch (request) {
        case VIDIOCGCAP: return capabilities(static_cast<video_capability *>(arg));
        case VIDIOCSWIN: return setWindow(static_cast<const video_window *>(arg));
        case VIDIOCGMBUF: return buffers(static_cast<video_mbuf *>(arg));
        case VIDIOCMCAPTURE: return startCapture(static_cast<const video_mmap *>(arg));
        case VIDIOCSYNC: return sync(*static_cast<const unsigned int *>(arg));
        // A recorded scene cannot change its exposure; the values are kept
        // only so that callers which insist on setting them carry on.
        case KX_PWC_SET_SHUTTER: shutter_ = *static_cast<const int *>(arg); return 0;
        case KX_PWC_SET_GAIN: gain_ = *static_cast<const int *>(arg); return 0;
        default: return fail(ENOTTY, nullptr);
        }
    }

    void *mmap(size_t length, int fd, off_t offset)
    {
        message_.clear();
        if (fd < 0 || fd != fd_) return failMap(EBADF, nullptr);
        if (offset != 0 || length == 0 || length > memoryBytes()) return failMap(EINVAL, nullptr);
        if (mapping_) return failMap(EBUSY, "the capture memory is already mapped");
        void *memory = ::mmap(nullptr, memoryBytes(), PROT_READ | PROT_WRITE,
                              MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return MAP_FAILED;
        mapping_ = static_cast<uint8_t *>(memory);
        mappingBytes_ = memoryBytes();
        return memory;
    }

    int munmap(void *start)
    {
        message_.clear();
        if (!mapping_ || start != mapping_) return fail(EINVAL, nullptr);
        int result = ::munmap(mapping_, mappingBytes_);
        mapping_ = nullptr;
        return result;
    }

    const char *describeError() const { return message_.empty() ? nullptr : message_.c_str(); }

    void setWaitLimit(int milliseconds) { waitLimitMs_ = milliseconds; }

private:
    // Opens without waiting for a FIFO's writer, then gives a writer at most
    // waitLimitMs_ to send something. Reads block again afterwards.
    int openWithin(const char *path)
    {
        int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return -1;
        pollfd ready{fd, POLLIN, 0};
        int got;
        do {
            got = ::poll(&ready, 1, waitLimitMs_);
        } while (got < 0 && errno == EINTR);
        int flags = fcntl(fd, F_GETFL);
        if (got <= 0 || !(ready.revents & POLLIN) || flags < 0 ||
            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            ::close(fd);
            return fail(ENXIO, "no writer on the recorded video");
        }
        return fd;
    }

    int fail(int error, const char *text)
    {
        message_ = text ? text : "";
        errno = error;
        return -1;
    }

    void *failMap(int error, const char *text)
    {
        fail(error, text);
        return MAP_FAILED;
    }

    int readHeader()
    {
        std::string line;
        int got = reader_.readLine(&line);
        // A writer that opened but sent nothing in time is not a wrong format.
        if (got < 0 && errno == ETIMEDOUT)
            return fail(ETIMEDOUT, "no YUV4MPEG2 header within 1 s");
        if (got <= 0 || line.compare(0, 10, "YUV4MPEG2 ") != 0)
            return fail(EINVAL, "not a YUV4MPEG2 stream");
        width_ = height_ = 0;
        colour_ = "420jpeg";  // the format's default when C is absent
        size_t at = 10;
        while (at < line.size()) {
            size_t space = line.find(' ', at);
            if (space == std::string::npos) space = line.size();
            std::string field = line.substr(at, space - at);
            at = space + 1;
            if (field.empty()) continue;
            const char *value = field.c_str() + 1;
            if (field[0] == 'W' && !parseInt(value, &width_))
                return fail(EINVAL, "YUV4MPEG2 header with an illegal width");
            if (field[0] == 'H' && !parseInt(value, &height_))
                return fail(EINVAL, "YUV4MPEG2 header with an illegal height");
            if (field[0] == 'C') colour_ = value;
        }
        if (width_ == 0 || height_ == 0) return fail(EINVAL, "YUV4MPEG2 header without a size");
        if (!isPlanar420(colour_)) {
            std::string text = "colour space C" + colour_ + " not supported (4:2:0 planar only)";
            return fail(EINVAL, text.c_str());
        }
        if (static_cast<long long>(width_) * height_ > INT_MAX / 4)
            return fail(EINVAL, "YUV4MPEG2 picture too large");
        streamChromaBytes_ = static_cast<size_t>((width_ + 1) / 2) * ((height_ + 1) / 2);
        // Loops restart at the first frame, just past the header line.
        firstFrame_ = static_cast<off_t>(line.size() + 1);
        return 0;
    }

    size_t frameBytes() const { return _kxGrabFrameBytes(height_, width_); }
    size_t memoryBytes() const { return 2 * frameBytes(); }

    int capabilities(video_capability *cap)
    {
        memset(cap, 0, sizeof *cap);
        snprintf(cap->name, sizeof cap->name, "YUV4MPEG2 recorded video");
        cap->type = VID_TYPE_CAPTURE;
        cap->channels = 1;
        cap->maxwidth = cap->minwidth = width_;
        cap->maxheight = cap->minheight = height_;
        return 0;
    }

    bool sameSize(long long width, long long height, const char *what)
    {
        if (width == width_ && height == height_) return true;
        char text[160];
        snprintf(text, sizeof text, "recorded video is %d x %d, %s %lld x %lld", width_, height_,
                 what, width, height);
        fail(EINVAL, text);
        return false;
    }

    int setWindow(const video_window *window)
    {
        if (!sameSize(window->width, window->height, "capture size requested")) return -1;
        return 0;
    }

    int buffers(video_mbuf *mbuf)
    {
        if (memoryBytes() > static_cast<size_t>(INT_MAX)) return fail(EINVAL, nullptr);
        memset(mbuf, 0, sizeof *mbuf);
        mbuf->size = static_cast<int>(memoryBytes());
        mbuf->frames = 2;
        mbuf->offsets[1] = static_cast<int>(frameBytes());
        return 0;
    }

    int startCapture(const video_mmap *request)
    {
        if (request->frame > 1) return fail(EINVAL, nullptr);
        if (request->format != KX_PALETTE_YUV420P)
            return fail(EINVAL, "recorded video delivers palette 15 (YUV 4:2:0 planar) only");
        if (!sameSize(request->width, request->height, "capture requested at")) return -1;
        if (pending_[request->frame]) return fail(EBUSY, nullptr);
        pending_[request->frame] = true;
        return 0;
    }

    int sync(unsigned int frame)
    {
        if (frame > 1 || !pending_[frame]) return fail(EINVAL, nullptr);
        pending_[frame] = false;
        if (!mapping_) return fail(EINVAL, "capture memory not mapped");
        uint8_t *dest = mapping_ + frame * frameBytes();
        int got = readFrame(dest);
        if (got == 0 && loops_ && framesThisPass_ > 0) {
            // A camera never stops: play the file again from its first frame.
            if (lseek(fd_, firstFrame_, SEEK_SET) < 0) return -1;
            reader_.reset(fd_);
            framesThisPass_ = 0;
            got = readFrame(dest);
        }
        if (got == 0) {
            return fail(ENODATA, loops_ ? "recorded video holds no complete frame"
                                        : "end of recorded video");
        }
        if (got < 0) {
            if (errno == ETIMEDOUT) return fail(ETIMEDOUT, "no picture from the recorded video within 1 s");
            return -1;
        }
        ++framesThisPass_;
        return 0;
    }

    // 1 with a picture in `dest`, 0 at the end of the stream (a picture cut
    // short counts as the end), -1 on an error with message_ or errno set.
    int readFrame(uint8_t *dest)
    {
        std::string line;
        int got = reader_.readLine(&line);
        if (got == 0) return 0;
        if (got < 0) return errno ? -1 : 0;
        if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' '))
            return fail(EIO, "corrupt YUV4MPEG2 stream: frame header missing");
        const size_t pixels = static_cast<size_t>(width_) * height_;
        if (!reader_.readExact(dest, pixels)) return errno ? -1 : 0;
        const size_t chromaCols = static_cast<size_t>(width_ / 2);
        const size_t chromaRows = static_cast<size_t>(height_ / 2);
        uint8_t *cb = dest + pixels;
        uint8_t *cr = dest + pixels * 5 / 4;
        if (width_ % 2 == 0 && height_ % 2 == 0) {
            if (!reader_.readExact(cb, streamChromaBytes_)) return errno ? -1 : 0;
            return reader_.readExact(cr, streamChromaBytes_) ? 1 : (errno ? -1 : 0);
        }
        // Odd sizes: the stream rounds its chroma planes up, the grabber's
        // layout down; keep the top-left rows/2 x cols/2 samples.
        scratch_.resize(2 * streamChromaBytes_);
        if (!reader_.readExact(scratch_.data(), scratch_.size())) return errno ? -1 : 0;
        const size_t streamCols = static_cast<size_t>((width_ + 1) / 2);
        for (size_t row = 0; row < chromaRows; ++row) {
            memcpy(cb + row * chromaCols, scratch_.data() + row * streamCols, chromaCols);
            memcpy(cr + row * chromaCols, scratch_.data() + streamChromaBytes_ + row * streamCols,
                   chromaCols);
        }
        return 1;
    }

    int fd_ = -1;
    bool loops_ = false;
    off_t firstFrame_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::string colour_;
    size_t streamChromaBytes_ = 0;
    bool pending_[2] = {false, false};
    long framesThisPass_ = 0;
    int shutter_ = 0;
    int gain_ = 0;
    // The mapping outlives close(), as a driver's does, until munmap.
    uint8_t *mapping_ = nullptr;
    size_t mappingBytes_ = 0;
    std::vector<uint8_t> scratch_;
    std::string message_;
    int waitLimitMs_ = -1;
    StreamReader reader_;
};

RecordedVideo &video()
{
    static RecordedVideo instance;
    return instance;
}

int y4mOpen(void *, const char *path, int) { return video().open(path); }
int y4mClose(void *, int fd) { return video().close(fd); }
int y4mIoctl(void *, int fd, unsigned long request, void *arg) { return video().ioctl(fd, request, arg); }
void *y4mMmap(void *, void *, size_t length, int, int, int fd, off_t offset)
{
    return video().mmap(length, fd, offset);
}
int y4mMunmap(void *, void *start, size_t) { return video().munmap(start); }
const char *y4mDescribe(void *) { return video().describeError(); }

const KxGrabDevice recordedVideo = {nullptr, y4mOpen, y4mClose, y4mIoctl, y4mMmap, y4mMunmap,
                                    y4mDescribe};

} // namespace

const KxGrabDevice *_kxGrabRecordedVideo() { return &recordedVideo; }

void _kxGrabRecordedVideoWaitLimit(int milliseconds) { video().setWaitLimit(milliseconds); }
