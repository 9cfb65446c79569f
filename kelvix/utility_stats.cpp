// Colour statistics: the median colour of a pixel's 3 x 3 neighbourhood, so
// that a single outlying pixel does not disturb a measured colour.
#include "pixel_internal.h"

#include <cstdio>

namespace {

struct Messages {
    const char *illegal;
    const char *wrongFormat;
};

bool interior(const kxImage *image, const kxPoint *point)
{
    return point->x >= 1 && point->y >= 1 && point->x < int64_t(image->width) - 1 &&
           point->y < int64_t(image->height) - 1;
}

// Median of channel `channel` over the nine pixels around (x, y): sorted
// largest first, the fifth value.
uint16_t medianAround(const kxImage *image, int x, int y, int channels, int channel)
{
    uint16_t values[9];
    int n = 0;
    const size_t width = static_cast<size_t>(image->width);
    for (int row = y - 1; row <= y + 1; ++row)
        for (int column = x - 1; column <= x + 1; ++column)
            values[n++] = image->data[(row * width + column) * channels + channel];
    qsort(values, 9, sizeof values[0], kxQsortCompare);
    return values[4];
}

// Checks shared by the three operations; true when the operation may go on.
bool accepted(const kxImage *image, const kxPoint *in, const kxPoint *out, kxFormat format,
              const Messages &messages)
{
    if (!image || !in || !out || !image->data) {
        puts(messages.illegal);
        return false;
    }
    if (image->format != format) {
        puts(messages.wrongFormat);
        return false;
    }
    return true;
}

} // namespace

int32_t kxMedianRgbValue(const kxImage *image, const kxPoint *in, kxPoint *out)
{
    static const Messages messages{"kxMedianRgbValue: error: illegal parameter",
                                   "kxMedianRgbValue: error: image is not RGB"};
    if (!accepted(image, in, out, RGB, messages)) return -1;
    if (!interior(image, in)) {
        // No full neighbourhood: the caller's own measurement stands.
        const uint16_t r = in->r, g = in->g, b = in->b;
        out->r = r, out->g = g, out->b = b;
        return 0;
    }
    const uint16_t r = medianAround(image, in->x, in->y, 3, 0);
    const uint16_t g = medianAround(image, in->x, in->y, 3, 1);
    const uint16_t b = medianAround(image, in->x, in->y, 3, 2);
    out->r = r, out->g = g, out->b = b;
    return 0;
}

int32_t kxMedianHsiValue(const kxImage *image, const kxPoint *in, kxPoint *out)
{
    static const Messages messages{"kxMedianHsiValue: error: illegal parameter",
                                   "kxMedianHsiValue: error: image is not HSI"};
    if (!accepted(image, in, out, HSI, messages)) return -1;
    if (!interior(image, in)) {
        const uint16_t h = in->h, s = in->s, i = in->i;
        out->h = h, out->s = s, out->i = i;
        return 0;
    }
    // Hue is ordered as a plain number: no averaging across the red wrap.
    const uint16_t h = medianAround(image, in->x, in->y, 3, 0);
    const uint16_t s = medianAround(image, in->x, in->y, 3, 1);
    const uint16_t i = medianAround(image, in->x, in->y, 3, 2);
    out->h = h, out->s = s, out->i = i;
    return 0;
}

int32_t kxMedianNrgValue(const kxImage *image, const kxPoint *in, kxPoint *out)
{
    static const Messages messages{"kxMedianNrgValue: error: illegal parameter",
                                   "kxMedianNrgValue: error: image is not NRG"};
    if (!accepted(image, in, out, NRG, messages)) return -1;
    if (!interior(image, in)) {
        // The border case reads the pixel itself, which must exist.
        if (in->x < 0 || in->y < 0 || in->x >= image->width || in->y >= image->height) {
            puts(messages.illegal);
            return -1;
        }
        const uint16_t *pixel = image->data + (static_cast<size_t>(in->y) * image->width + in->x) * 2;
        out->nr = pixel[0];
        out->ng = pixel[1];
        return 0;
    }
    const uint16_t nr = medianAround(image, in->x, in->y, 2, 0);
    const uint16_t ng = medianAround(image, in->x, in->y, 2, 1);
    out->nr = nr, out->ng = ng;
    return 0;
}
