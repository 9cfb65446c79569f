#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kxtest {

std::string captureStdout(const std::function<void()> &body)
{
    fflush(stdout);
    FILE *sink = tmpfile();
    if (!sink) {
        ADD_FAILURE() << "tmpfile failed";
        body();
        return {};
    }
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    body();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string out;
    rewind(sink);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, sink)) > 0) out.append(buffer, n);
    fclose(sink);
    return out;
}

kxImage *makeImage(kxFormat format, int width, int height, uint16_t fill)
{
    kxImage *image = kxImageCreate(format, width, height);
    if (!image) return nullptr;
    int channels = format == NONE ? 0 : kxPixelSize(format);
    size_t values = static_cast<size_t>(width) * height * channels;
    for (size_t i = 0; i < values; ++i) image->data[i] = fill;
    return image;
}

void setRgb(kxImage *image, int x, int y, uint16_t r, uint16_t g, uint16_t b)
{
    uint16_t *pixel = image->data + (static_cast<size_t>(y) * image->width + x) * 3;
    pixel[0] = r;
    pixel[1] = g;
    pixel[2] = b;
}

uint16_t channelAt(const kxImage *image, int x, int y, int channel)
{
    int channels = kxPixelSize(image->format);
    return image->data[(static_cast<size_t>(y) * image->width + x) * channels + channel];
}

ScratchDir::ScratchDir()
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelvix-test-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
    else ADD_FAILURE() << "mkdtemp failed";
}

ScratchDir::~ScratchDir()
{
    if (path_.empty()) return;
    std::string command = "rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
}

bool writeFile(const std::string &path, const std::string &contents)
{
    std::ofstream out(path, std::ios::binary);
    out << contents;
    return static_cast<bool>(out);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

} // namespace kxtest
