// Motion detection: change between a picture and the module's reference,
// as a mask, as the changed pixels, or as a region filled along rows and
// columns; and blending of a picture with the reference.
#include "motion_internal.h"

#include "internal.h"

#include <cstdio>

kxImage *_kxMotionRefImage = nullptr;
int _kxMotionThreshold = 50;

namespace {

// Opposite changes in different channels cancel: the test is on the sum.
inline bool changed(const uint16_t *picture, const uint16_t *reference, int threshold)
{
    const int d = (picture[0] - reference[0]) + (picture[1] - reference[1]) +
                  (picture[2] - reference[2]);
    return d > threshold || d < -threshold;
}

// A reference that can be read pixel for pixel beside an RGB picture.
bool referenceFits(const kxImage *picture)
{
    const kxImage *reference = _kxMotionRefImage;
    return reference && reference->format == RGB && reference->data &&
           reference->width == picture->width && reference->height == picture->height;
}

// Checks and re-initialisation common to the four detection operations.
// On success `span` is the window clipped to the picture.
bool openDetection(const char *name, const kxImage *picture, const kxWindow *window, kxImage *dest,
                   kxFormat destFormat, KxSpan *span)
{
    // picture == dest would free the picture's pixels before they are read.
    if (!picture || !window || !dest || picture == dest || !picture->data) {
        printf("%s: error: illegal parameter\n", name);
        return false;
    }
    if (picture->format != RGB) {
        printf("%s: error: image is not RGB\n", name);
        return false;
    }
    if (!referenceFits(picture)) {
        printf("%s: error: no reference image of the picture's size\n", name);
        return false;
    }
    if (kxImageInit(dest, destFormat, picture->width, picture->height) < 0) {
        printf("%s: error: could not initialize dest image\n", name);
        return false;
    }
    *span = _kxClipWindow(window, picture->width, picture->height);
    return true;
}

size_t pixelIndex(const kxImage *image, int x, int y)
{
    return static_cast<size_t>(y) * static_cast<size_t>(image->width) + static_cast<size_t>(x);
}

// Fills an area destination. BINARY: 255; RGB: the picture's own pixel.
struct AreaFill {
    const kxImage *picture;
    kxImage *dest;
    bool rgb;

    void clear(size_t i) const
    {
        if (!rgb) {
            dest->data[i] = 0;
            return;
        }
        dest->data[3 * i] = dest->data[3 * i + 1] = dest->data[3 * i + 2] = 0;
    }
    void set(size_t i) const
    {
        if (!rgb) {
            dest->data[i] = 255;
            return;
        }
        dest->data[3 * i] = picture->data[3 * i];
        dest->data[3 * i + 1] = picture->data[3 * i + 1];
        dest->data[3 * i + 2] = picture->data[3 * i + 2];
    }
    // RGB destinations count as set by their first channel only, so a filled
    // pixel whose red is 0 does not extend a column.
    bool isSet(size_t i) const { return rgb ? dest->data[3 * i] != 0 : dest->data[i] != 0; }
};

// Row pass, then column pass: inside the span, every row and then every
// column is filled between its first and last set pixel.
void fillArea(const AreaFill &fill, const KxSpan &span)
{
    const kxImage *picture = fill.picture;
    const kxImage *reference = _kxMotionRefImage;
    const int threshold = _kxMotionThreshold;
    for (int y = span.y0; y < span.y1; ++y) {
        int first = -1, last = -1;
        for (int x = span.x0; x < span.x1; ++x) {
            const size_t i = pixelIndex(picture, x, y);
            if (changed(picture->data + 3 * i, reference->data + 3 * i, threshold)) {
                if (first < 0) first = x;
                last = x;
            } else {
                fill.clear(i);
            }
        }
        if (first < 0) continue;
        for (int x = first; x <= last; ++x) fill.set(pixelIndex(picture, x, y));
    }
    for (int x = span.x0; x < span.x1; ++x) {
        int first = -1, last = -1;
        for (int y = span.y0; y < span.y1; ++y) {
            if (!fill.isSet(pixelIndex(picture, x, y))) continue;
            if (first < 0) first = y;
            last = y;
        }
        if (first < 0) continue;
        for (int y = first; y <= last; ++y) fill.set(pixelIndex(picture, x, y));
    }
}

// Shared by both updates: the mean of reference and picture, channel by channel.
void blend(const kxImage *picture, uint16_t *out)
{
    const uint16_t *reference = _kxMotionRefImage->data;
    const size_t values = 3 * pixelIndex(picture, 0, picture->height);
    for (size_t i = 0; i < values; ++i)
        out[i] = static_cast<uint16_t>((reference[i] + picture->data[i]) / 2);
}

bool openUpdate(const kxImage *picture)
{
    if (!picture || !picture->data) {
        puts("kxMotionUpdate: error: NULL image");
        return false;
    }
    if (picture->format != RGB) {
        puts("kxMotionUpdate: error: image is not RGB");
        return false;
    }
    if (!_kxMotionRefImage || _kxMotionRefImage->format != RGB || !_kxMotionRefImage->data) {
        puts("kxMotionUpdate: error: no reference image");
        return false;
    }
    if (!referenceFits(picture)) {
        puts("kxMotionUpdate: error: image size does not match reference");
        return false;
    }
    return true;
}

} // namespace

int32_t kxMotionThresholdSet(int32_t threshold)
{
    if (threshold < 0 || threshold > 255) {
        puts("kxMotionThresholdSet: error: illegal threshold");
        return -1;
    }
    _kxMotionThreshold = threshold;
    return 0;
}

int32_t kxMotionBinaryImage(const kxImage *image, const kxWindow *window, kxImage *dest)
{
    KxSpan span;
    if (!openDetection("kxMotionBinaryImage", image, window, dest, BINARY, &span)) return -1;
    const uint16_t *reference = _kxMotionRefImage->data;
    for (int y = span.y0; y < span.y1; ++y)
        for (int x = span.x0; x < span.x1; ++x) {
            const size_t i = pixelIndex(image, x, y);
            dest->data[i] = changed(image->data + 3 * i, reference + 3 * i, _kxMotionThreshold) ? 255 : 0;
        }
    return 0;
}

int32_t kxMotionRgbImage(const kxImage *image, const kxWindow *window, kxImage *dest)
{
    KxSpan span;
    if (!openDetection("kxMotionRgbImage", image, window, dest, RGB, &span)) return -1;
    const uint16_t *reference = _kxMotionRefImage->data;
    double unchanged = 0;
    for (int y = span.y0; y < span.y1; ++y)
        for (int x = span.x0; x < span.x1; ++x) {
            const size_t i = 3 * pixelIndex(image, x, y);
            uint16_t *out = dest->data + i;
            if (changed(image->data + i, reference + i, _kxMotionThreshold)) {
                out[0] = image->data[i];
                out[1] = image->data[i + 1];
                out[2] = image->data[i + 2];
            } else {
                out[0] = out[1] = out[2] = 0;
                unchanged += 1;
            }
        }
    // The share is of the whole picture, not of the window.
    const double pixels = static_cast<double>(image->width) * image->height;
    printf("correlazione = %f %% \n", pixels > 0 ? unchanged / pixels * 100 : 0.0);
    return 0;
}

int32_t kxMotionBinaryArea(const kxImage *image, const kxWindow *window, kxImage *dest)
{
    KxSpan span;
    if (!openDetection("kxMotionBinaryArea", image, window, dest, BINARY, &span)) return -1;
    fillArea(AreaFill{image, dest, false}, span);
    return 0;
}

int32_t kxMotionRgbArea(const kxImage *image, const kxWindow *window, kxImage *dest)
{
    KxSpan span;
    if (!openDetection("kxMotionRgbArea", image, window, dest, RGB, &span)) return -1;
    fillArea(AreaFill{image, dest, true}, span);
    return 0;
}

int32_t kxMotionUpdate(const kxImage *image)
{
    if (!openUpdate(image)) return -1;
    blend(image, _kxMotionRefImage->data);
    return 0;
}

int32_t kxMotionUpdate2(kxImage *image)
{
    if (!openUpdate(image)) return -1;
    blend(image, image->data);
    return 0;
}
