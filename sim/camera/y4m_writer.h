// Writes frames as a YUV4MPEG2 stream (4:2:0, 30 frames per second) to a
// file descriptor: a file or the FIFO that the vision program reads as its
// camera.
#pragma once

#include <functional>
#include <string>

#include "camera/camera_render.h"

namespace dockworld {

class Y4mWriter {
public:
    // Writes to `fd`, which the writer does not own (the caller closes it).
    // With a non-blocking `fd`, a full pipe is waited on while `keepGoing`
    // says so (always, when it is empty).
    explicit Y4mWriter(int fd, std::function<bool()> keepGoing = nullptr)
        : fd_(fd), keepGoing_(std::move(keepGoing))
    {
    }

    // The stream header, written before the first frame.
    static std::string header(int width, int height);
    // Writes the header now (first time only), as a camera announces its
    // format on opening before its first picture is ready.
    bool writeHeader(int width, int height);
    // Writes the header (first time only) and one frame. False when the
    // reader has gone or the write failed; nothing more should be written then.
    bool write(const YuvFrame &frame);
    long framesWritten() const { return frames_; }

private:
    bool writeAll(const void *data, size_t size);

    int fd_;
    std::function<bool()> keepGoing_;
    bool headerDone_ = false;
    long frames_ = 0;
};

} // namespace dockworld
