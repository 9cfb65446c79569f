// A process that reads a YUV4MPEG2 stream (a FIFO in the benchmarks) to its
// end, as the vision program does, doing per frame either nothing (the
// reading floor) or OpenCV's equivalent of the vision loop's image work.
//
//   y4m_consumer read|opencv STREAM
//
// Prints the number of frames read. Exit status 1 on a usage or stream error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef KX_BENCH_OPENCV
#include <opencv2/core.hpp>

#include "opencv_equivalent.h"
#endif

namespace {

// One line without its '\n'; false at the end of the stream. Frame lines are
// a few bytes, so reading them byte by byte costs little and leaves the
// planes to be read straight into the frame.
bool readLine(int fd, std::string *line)
{
    line->clear();
    for (;;) {
        char ch;
        ssize_t got = read(fd, &ch, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        if (ch == '\n') return true;
        if (line->size() > 4096) return false;
        line->push_back(ch);
    }
}

bool readExact(int fd, uint8_t *dest, size_t count)
{
    while (count > 0) {
        ssize_t got = read(fd, dest, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        dest += got;
        count -= size_t(got);
    }
    return true;
}

int fieldValue(const std::string &header, char name)
{
    for (size_t at = header.find(' '); at != std::string::npos; at = header.find(' ', at + 1))
        if (at + 1 < header.size() && header[at + 1] == name) return atoi(header.c_str() + at + 2);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const bool opencv = argc == 3 && strcmp(argv[1], "opencv") == 0;
    if (argc != 3 || (!opencv && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: y4m_consumer read|opencv STREAM\n");
        return 1;
    }
#ifndef KX_BENCH_OPENCV
    if (opencv) {
        fprintf(stderr, "y4m_consumer: built without OpenCV\n");
        return 1;
    }
#else
    cv::setNumThreads(1);
    opencvequivalent::Buffers buffers;
#endif
    int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
    // The same pipe size as the grabber's recorded-video source asks for, so
    // that every consumer reads the stream the same way.
    if (fd >= 0) fcntl(fd, F_SETPIPE_SZ, 1 << 20);
    std::string line;
    if (fd < 0 || !readLine(fd, &line) || line.compare(0, 10, "YUV4MPEG2 ") != 0) {
        fprintf(stderr, "y4m_consumer: %s is not a YUV4MPEG2 stream\n", argv[2]);
        return 1;
    }
    const int width = fieldValue(line, 'W'), height = fieldValue(line, 'H');
    if (width <= 0 || height <= 0 || width % 2 || height % 2) {
        fprintf(stderr, "y4m_consumer: even picture sizes only\n");
        return 1;
    }
    std::vector<uint8_t> frame(size_t(width) * height * 3 / 2);
    long frames = 0;
    while (readLine(fd, &line) && line.compare(0, 5, "FRAME") == 0 &&
           readExact(fd, frame.data(), frame.size())) {
#ifdef KX_BENCH_OPENCV
        if (opencv)
            opencvequivalent::processFrame(frame.data(), width, height, opencvequivalent::kGrana, buffers);
#endif
        ++frames;
    }
    printf("%ld frames\n", frames);
    return 0;
}
