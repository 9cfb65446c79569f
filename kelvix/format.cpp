// Thresholding of RGB and GRAY pictures into BINARY images.
#include "internal.h"

#include <cstdio>

namespace {

// floor(sum / 3) > threshold  <=>  sum > 3 * threshold + 2, so the inner loop
// needs no division. Thresholds this large exceed every channel sum anyway.
uint32_t sumLimit(int32_t threshold)
{
    long long limit = 3LL * threshold + 2;
    return limit > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(limit);
}

} // namespace

int32_t kxRgb2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst)
{
    // src == dst would free the source's pixels before they are read.
    if (!src || !window || !dst || src == dst || threshold < 0) {
        puts("kxRgb2Binary: error: illegal parameter");
        return -1;
    }
    if (src->format != RGB) {
        puts("kxRgb2Binary: src image is not RGB");
        return -1;
    }
    if (kxImageInit(dst, BINARY, src->width, src->height) < 0) {
        puts("kxRgb2Binary: error: could not initialize dest image");
        return -1;
    }
    const KxSpan span = _kxClipWindow(window, src->width, src->height);
    if (span.empty()) return 0;
    const uint32_t limit = sumLimit(threshold);
    const size_t width = static_cast<size_t>(src->width);
    for (int y = span.y0; y < span.y1; ++y) {
        const uint16_t *in = src->data + (y * width + span.x0) * 3;
        uint16_t *out = dst->data + y * width + span.x0;
        const int count = span.x1 - span.x0;
        for (int i = 0; i < count; ++i) {
            uint32_t sum = uint32_t(in[3 * i]) + in[3 * i + 1] + in[3 * i + 2];
            out[i] = sum > limit ? 255 : 0;
        }
    }
    return 0;
}

int32_t kxGray2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst)
{
    if (!src || !window || !dst || src == dst || threshold < 0) {
        puts("kxGray2Binary: error: illegal parameter");
        return -1;
    }
    if (src->format != GRAY) {
        puts("kxGray2Binary: src image is not GRAY");
        return -1;
    }
    if (kxImageInit(dst, BINARY, src->width, src->height) < 0) {
        puts("kxGray2Binary: error: could not initialize dest image");
        return -1;
    }
    const KxSpan span = _kxClipWindow(window, src->width, src->height);
    if (span.empty()) return 0;
    const size_t width = static_cast<size_t>(src->width);
    for (int y = span.y0; y < span.y1; ++y) {
        const uint16_t *in = src->data + y * width;
        uint16_t *out = dst->data + y * width;
        for (int x = span.x0; x < span.x1; ++x) out[x] = in[x] > threshold ? 255 : 0;
    }
    return 0;
}
