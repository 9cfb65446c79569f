// Helpers shared by every test suite.
#pragma once

#include <functional>
#include <string>

#include "kelvix.h"

namespace kxtest {

// Runs `body` and returns everything it wrote on standard output (through
// stdio or straight to file descriptor 1).
std::string captureStdout(const std::function<void()> &body);

// Owns a kxImage for the length of a test.
struct ImagePtr {
    kxImage *image = nullptr;
    ImagePtr() = default;
    explicit ImagePtr(kxImage *i) : image(i) {}
    ImagePtr(const ImagePtr &) = delete;
    ImagePtr &operator=(const ImagePtr &) = delete;
    ~ImagePtr() { kxImageDestroy(image); }
    kxImage *get() const { return image; }
    kxImage *operator->() const { return image; }
};

// A width x height image of `format` with every channel set to `fill`.
kxImage *makeImage(kxFormat format, int width, int height, uint16_t fill = 0);
// Sets the three channels of one RGB pixel.
void setRgb(kxImage *image, int x, int y, uint16_t r, uint16_t g, uint16_t b);
// Channel `channel` of pixel (x, y).
uint16_t channelAt(const kxImage *image, int x, int y, int channel = 0);

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `contents` to `path`; returns false on failure.
bool writeFile(const std::string &path, const std::string &contents);
// The whole contents of `path` (empty when it cannot be read).
std::string readFile(const std::string &path);

} // namespace kxtest
