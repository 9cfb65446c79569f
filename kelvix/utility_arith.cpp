// Image arithmetic: clamped difference of two pictures and nearest-pixel
// resizing. Channels are treated as plain numbers whatever the format.
#include "pixel_internal.h"

#include <algorithm>
#include <cstdio>

int32_t kxSubtract(const kxImage *a, const kxImage *b, const kxWindow *window, kxImage *dst)
{
    if (!a || !b || !window || !dst || !a->data || !b->data) {
        puts("kxSubtract: error: one of the parameters is NULL");
        return -1;
    }
    if (a->format != b->format) {
        puts("kxSubtract: error: src images are not the same type");
        return -1;
    }
    if (a->width != b->width || a->height != b->height) {
        puts("kxSubtract: error: src images are not the same size");
        return -1;
    }
    KxStableSource first(a, dst), second(b, dst);
    if (!first.ok() || !second.ok() || kxImageInit(dst, a->format, a->width, a->height) < 0) {
        puts("kxSubtract: error: could not initialize dest image");
        return -1;
    }
    const int channels = kxPixelSize(a->format);  // NONE: its message, and no pixel
    if (channels < 1) return 0;
    const KxSpan span = _kxClipWindow(window, a->width, a->height);
    if (span.empty()) return 0;
    const size_t width = static_cast<size_t>(a->width);
    const size_t rowValues = static_cast<size_t>(span.x1 - span.x0) * channels;
    for (int y = span.y0; y < span.y1; ++y) {
        const size_t first_value = (y * width + span.x0) * channels;
        const uint16_t *minuend = first.get()->data + first_value;
        const uint16_t *subtrahend = second.get()->data + first_value;
        uint16_t *out = dst->data + first_value;
        for (size_t k = 0; k < rowValues; ++k)
            out[k] = minuend[k] >= subtrahend[k] ? uint16_t(minuend[k] - subtrahend[k]) : 0;
    }
    return 0;
}

int32_t kxScale(const kxImage *src, float factor, kxImage *dst)
{
    // !(factor >= 0) also refuses NaN.
    if (!src || !dst || !src->data || !(factor >= 0.0f)) {
        puts("kxScale: error: illegal parameter");
        return -1;
    }
    // Single precision, as the factor is given: width * factor truncated.
    const float scaledWidth = static_cast<float>(src->width) * factor;
    const float scaledHeight = static_cast<float>(src->height) * factor;
    // A size beyond 32 bits (or an infinite factor) cannot be an image size.
    if (!(scaledWidth < 2147483648.0f) || !(scaledHeight < 2147483648.0f)) {
        puts("kxScale: error: illegal parameter");
        return -1;
    }
    const int32_t newWidth = static_cast<int32_t>(scaledWidth);
    const int32_t newHeight = static_cast<int32_t>(scaledHeight);
    KxStableSource source(src, dst);
    if (!source.ok() || kxImageInit(dst, src->format, newWidth, newHeight) < 0) {
        puts("kxScale: error: could not initialize dest image");
        return -1;
    }
    const int channels = kxPixelSize(src->format);
    if (channels < 1) return 0;
    const uint16_t *in = source.get()->data;
    const size_t srcWidth = static_cast<size_t>(src->width);
    // Rounding of j / factor could in principle land on the row past the
    // last one; the clamp keeps every read inside the source.
    const int lastRow = src->height - 1, lastColumn = src->width - 1;
    uint16_t *out = dst->data;
    for (int j = 0; j < newHeight; ++j) {
        const int row = std::min(static_cast<int>(j / factor), lastRow);
        const uint16_t *sourceRow = in + row * srcWidth * channels;
        for (int i = 0; i < newWidth; ++i, out += channels) {
            const int column = std::min(static_cast<int>(i / factor), lastColumn);
            const uint16_t *pixel = sourceRow + static_cast<size_t>(column) * channels;
            for (int k = 0; k < channels; ++k) out[k] = pixel[k];
        }
    }
    return 0;
}
