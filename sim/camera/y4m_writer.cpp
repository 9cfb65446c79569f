#include "camera/y4m_writer.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace dockworld {

std::string Y4mWriter::header(int width, int height)
{
    // 4:2:0 with chroma sited between the luma pairs, video-range samples.
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
           " F30:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
}

bool Y4mWriter::writeAll(const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                // The reader is behind: wait for room, a little at a time.
                if (keepGoing_ && !keepGoing_())
                    return false;
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 50);
                continue;
            }
            return false; // EPIPE when the reader closed its end
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Y4mWriter::writeHeader(int width, int height)
{
    if (headerDone_)
        return true;
    const std::string h = header(width, height);
    if (!writeAll(h.data(), h.size()))
        return false;
    headerDone_ = true;
    return true;
}

bool Y4mWriter::write(const YuvFrame &frame)
{
    if (!writeHeader(frame.width, frame.height))
        return false;
    static const char kFrameTag[] = "FRAME\n";
    if (!writeAll(kFrameTag, sizeof kFrameTag - 1) || !writeAll(frame.bytes.data(), frame.bytes.size()))
        return false;
    ++frames_;
    return true;
}

} // namespace dockworld
