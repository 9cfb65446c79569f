// Binary PPM (P6, maximum value 255) picture files.
//
// Pixels go through stdio one pixel per call: the stream's own buffer does
// the batching, and no row or picture buffer is needed beside the image.
#include "internal.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// Largest pixel byte count accepted from a stream whose length cannot be
// known beforehand (a pipe or a device); a regular file is held to its size.
constexpr long long kMaxStreamPixelBytes = 1LL << 30;

// The magic: the first word of the file, at most two characters.
bool readMagic(FILE *file, char magic[3])
{
    int c;
    do c = getc(file);
    while (c != EOF && isspace(c));
    int length = 0;
    while (c != EOF && !isspace(c) && length < 2) {
        magic[length++] = static_cast<char>(c);
        if (length < 2) c = getc(file);
    }
    if (c != EOF && isspace(c)) ungetc(c, file);
    magic[length] = '\0';
    return length > 0;
}

// Between the magic and the width: white space is skipped and any line (or
// rest of a line) starting with something other than a digit is a comment.
// False when the file ends first.
bool skipToWidth(FILE *file)
{
    for (;;) {
        int c = getc(file);
        if (c == EOF) return false;
        if (isspace(c)) continue;
        if (isdigit(c)) {
            ungetc(c, file);
            return true;
        }
        do c = getc(file);
        while (c != EOF && c != '\n');
        if (c == EOF) return false;
    }
}

// A decimal integer after optional white space and sign, like scanf's %d but
// saturating instead of overflowing, so that absurd sizes stay detectable.
bool readDecimal(FILE *file, long long *value)
{
    int c;
    do c = getc(file);
    while (c != EOF && isspace(c));
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = getc(file);
    }
    if (c == EOF || !isdigit(c)) {
        if (c != EOF) ungetc(c, file);
        return false;
    }
    long long magnitude = 0;
    for (; c != EOF && isdigit(c); c = getc(file))
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
    if (c != EOF) ungetc(c, file);
    *value = negative ? -magnitude : magnitude;
    return true;
}

// Bytes between the current position and the end of a regular file, or -1
// when the stream has no known length.
long long bytesLeft(FILE *file)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    long position = ftell(file);
    if (position < 0) return -1;
    return info.st_size > position ? info.st_size - position : 0;
}

enum class Header { Ok, Refused };

// Reads and checks everything up to the first pixel byte; on a refusal the
// message is already printed.
Header readHeader(FILE *file, int32_t *width, int32_t *height)
{
    char magic[3];
    if (!readMagic(file, magic) || strcmp(magic, "P6") != 0) {
        puts("kxImageLoad: error: cannot read as P6 format PPM");
        return Header::Refused;
    }
    long long w, h, maxval;
    if (!skipToWidth(file) || !readDecimal(file, &w) || !readDecimal(file, &h) ||
        !readDecimal(file, &maxval)) {
        perror("kxImageLoad: error: cannot read as P6 format PPM\n");
        return Header::Refused;
    }
    // Exactly one white-space byte ends the header; the next one, even if it
    // is a space or a line feed, is already the first red value.
    getc(file);
    if (maxval != 255) {
        puts("kxImageLoad: error: file does not have maxval=255");
        return Header::Refused;
    }
    // Sizes are refused before anything is allocated. A zero size is a
    // picture without pixels, as kxImageSave writes one.
    if (w < 0 || h < 0 || w > INT32_MAX || h > INT32_MAX) {
        puts("kxImageLoad: error: illegal image size");
        return Header::Refused;
    }
    size_t imageBytes;
    if (!_kxImageBytes(RGB, static_cast<int32_t>(w), static_cast<int32_t>(h), &imageBytes)) {
        puts("kxImageLoad: error: illegal image size");
        return Header::Refused;
    }
    // 6 * w * h fits in size_t (checked above), so 3 * w * h fits in long long.
    const long long pixelBytes = 3 * w * h;
    const long long left = bytesLeft(file);
    if (left < 0 && pixelBytes > kMaxStreamPixelBytes) {
        puts("kxImageLoad: error: illegal image size");
        return Header::Refused;
    }
    if (left >= 0 && pixelBytes > left) {
        // A file cut short inside its pixels: the same failure as a short
        // read, found before a buffer of the claimed size is allocated.
        fprintf(stderr, "kxImageLoad: read error: file ends before its %lld pixel bytes\n",
                pixelBytes);
        return Header::Refused;
    }
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return Header::Ok;
}

int32_t closeAfterFailure(FILE *file)
{
    fclose(file);
    return -1;
}

} // namespace

int32_t kxImageLoad(kxImage *image, const char *path)
{
    if (!image) {
        puts("kxImageLoad: error: NULL image");
        return -1;
    }
    FILE *file = path ? fopen(path, "rb") : nullptr;
    if (!file) {
        if (!path) errno = EINVAL;
        perror("kxImageLoad: unable to open file");
        return -1;
    }
    int32_t width = 0, height = 0;
    if (readHeader(file, &width, &height) != Header::Ok) return closeAfterFailure(file);
    if (kxImageInit(image, RGB, width, height) < 0) {
        puts("kxImageLoad: error: could not initialize image");
        return closeAfterFailure(file);
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    uint16_t *channel = image->data;
    for (size_t i = 0; i < pixels; ++i, channel += 3) {
        unsigned char rgb[3];
        if (fread(rgb, 1, 3, file) != 3) {
            perror("kxImageLoad: read error");
            return closeAfterFailure(file);
        }
        channel[0] = rgb[0];
        channel[1] = rgb[1];
        channel[2] = rgb[2];
    }
    if (fclose(file) != 0) {
        perror("kxImageLoad: close error");
        return -1;
    }
    return 0;
}

int32_t kxImageSave(const kxImage *image, const char *path)
{
    if (!image || !image->data) {
        puts("kxImageSave: error: NULL image");
        return -1;
    }
    if (image->format != RGB && image->format != GRAY && image->format != BINARY) {
        puts("kxImageSave: error: cannot save this format");
        return -1;
    }
    size_t bytes;
    if (!_kxImageBytes(image->format, image->width, image->height, &bytes)) {
        puts("kxImageSave: error: illegal image size");
        return -1;
    }
    if (!path) {
        puts("kxImageSave: error: NULL path");
        return -1;
    }
    printf("Writing to %s\n", path);
    FILE *file = fopen(path, "wb");
    if (!file) {
        perror("kxImageSave: unable to create file");
        return -1;
    }
    fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
    const size_t pixels = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
    // GRAY and BINARY have one channel: its value goes out three times.
    const size_t step = image->format == RGB ? 3 : 1;
    const size_t green = image->format == RGB ? 1 : 0;
    const size_t blue = image->format == RGB ? 2 : 0;
    const uint16_t *channel = image->data;
    for (size_t i = 0; i < pixels; ++i, channel += step) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(channel[0] & 0xFF),
                                      static_cast<unsigned char>(channel[green] & 0xFF),
                                      static_cast<unsigned char>(channel[blue] & 0xFF)};
        if (fwrite(rgb, 1, 3, file) != 3) {
            perror("kxImageSave: write error");
            return closeAfterFailure(file);
        }
    }
    if (fclose(file) != 0) {
        perror("kxImageSave: close error");
        return -1;
    }
    return 0;
}
