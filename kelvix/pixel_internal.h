// Helpers of the pixel operations (conversions, arithmetic, drawing); not
// part of the public API.
#pragma once

#include <cstdlib>
#include <cstring>

#include "internal.h"

// One channel of the HSI -> RGB conversion, 0..1. m1 and m2 are the lower and
// upper bounds for the pixel's lightness and saturation, hue is in degrees
// and may lie up to 360 outside 0..360 (it is brought back with one step;
// exactly 360 stays 360). Single precision on purpose: the rounding of the
// converted channels depends on it.
inline float _kxValue(float m1, float m2, float hue)
{
    if (hue > 360.0f) hue -= 360.0f;
    else if (hue < 0.0f) hue += 360.0f;
    if (hue < 60.0f) return m1 + (m2 - m1) * hue / 60.0f;
    if (hue < 180.0f) return m2;
    if (hue < 240.0f) return m1 + (m2 - m1) * (240.0f - hue) / 60.0f;
    return m1;
}

// Number of 16-bit values in an image's buffer (0 for NONE, for a NULL
// buffer or for a size that cannot be a real buffer).
inline size_t _kxImageValues(const kxImage *image)
{
    size_t bytes;
    if (!image || !image->data || image->format == NONE ||
        !_kxImageBytes(image->format, image->width, image->height, &bytes))
        return 0;
    return bytes / sizeof(uint16_t);
}

// The source of an operation whose destination is re-initialised before the
// source is read. When caller passes the same record as source and
// destination, the source pixels are copied aside first, so that the
// operation reads the old picture instead of a freed buffer.
class KxStableSource {
public:
    KxStableSource(const kxImage *source, const kxImage *destination) : source_(source)
    {
        if (source != destination) return;
        size_t bytes;
        if (!_kxImageBytes(source->format, source->width, source->height, &bytes)) {
            failed_ = true;
            return;
        }
        copy_ = *source;
        copy_.data = static_cast<uint16_t *>(malloc(bytes ? bytes : 1));
        if (!copy_.data) {
            failed_ = true;
            return;
        }
        memcpy(copy_.data, source->data, bytes);
        source_ = &copy_;
    }
    ~KxStableSource()
    {
        if (source_ == &copy_) free(copy_.data);
    }
    KxStableSource(const KxStableSource &) = delete;
    KxStableSource &operator=(const KxStableSource &) = delete;

    // False when the copy could not be made.
    bool ok() const { return !failed_; }
    const kxImage *get() const { return source_; }

private:
    const kxImage *source_;
    kxImage copy_{};
    bool failed_ = false;
};

// Paints the straight line from (x1, y1) to (x2, y2) into an RGB image with
// the integer procedure of the line tool: one pixel per column for shallow
// lines, one per row for steep ones, both ends included. Pixels outside the
// image are skipped, so the ends may lie anywhere.
void _kxPaintLine(kxImage *image, int x1, int y1, int x2, int y2, uint16_t r, uint16_t g, uint16_t b);
