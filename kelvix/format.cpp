// Thresholding of RGB and GRAY pictures into BINARY images.
#include "format_threshold.h"
#include "internal.h"

#include <cstdio>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#include <tmmintrin.h>
#define KX_THRESHOLD_SSSE3 1
#endif

namespace {

// floor(sum / 3) > threshold  <=>  sum > 3 * threshold + 2, so the inner loop
// needs no division. Thresholds this large exceed every channel sum anyway.
uint32_t sumLimit(int32_t threshold)
{
    long long limit = 3LL * threshold + 2;
    return limit > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(limit);
}

void thresholdRunPlain(const uint16_t *rgb, uint16_t *out, size_t pixels, uint32_t limit)
{
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t sum = uint32_t(rgb[3 * i]) + rgb[3 * i + 1] + rgb[3 * i + 2];
        out[i] = sum > limit ? 255 : 0;
    }
}

#ifdef KX_THRESHOLD_SSSE3

// Channel sums for every sample position, with saturating 16-bit additions
// of the samples at offsets 0, 1 and 2. A saturated sum is above every limit
// below 65535, so the comparison stays exact.
__attribute__((target("ssse3"))) inline __m128i channelSums(const uint16_t *samples)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 1));
    const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 2));
    return _mm_adds_epu16(_mm_adds_epu16(first, second), third);
}

// Eight pixels at a time; the sums that start a pixel (every third one) are
// gathered with byte shuffles. limit is at most 65534.
__attribute__((target("ssse3"))) void thresholdRunVector(const uint16_t *rgb, uint16_t *out, size_t pixels,
                                                        uint16_t limit)
{
    // Sums of pixels 0-7 of a group start at sample 0, 3, 6 (first vector),
    // 9, 12, 15 (words 1, 4, 7 of the second) and 18, 21 (words 2, 5 of the
    // third).
    const __m128i fromFirst = _mm_setr_epi8(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i fromSecond = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1);
    const __m128i fromThird = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11);
    const __m128i limits = _mm_set1_epi16(static_cast<short>(limit));
    const __m128i bright = _mm_set1_epi16(255);
    size_t i = 0;
    // A group reads samples 3i .. 3i + 25, so it must end two samples before
    // the run does: the run's last pixel is left to the plain loop.
    for (; 3 * (i + 8) + 2 <= 3 * pixels; i += 8) {
        const uint16_t *samples = rgb + 3 * i;
        __m128i sums = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(channelSums(samples), fromFirst),
                                                 _mm_shuffle_epi8(channelSums(samples + 8), fromSecond)),
                                    _mm_shuffle_epi8(channelSums(samples + 16), fromThird));
        __m128i notAbove = _mm_cmpeq_epi16(_mm_subs_epu16(sums, limits), _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_andnot_si128(notAbove, bright));
    }
    thresholdRunPlain(rgb + 3 * i, out + i, pixels - i, limit);
}

#endif

// Thresholds `pixels` consecutive RGB pixels into `out`.
void thresholdRun(const uint16_t *rgb, uint16_t *out, size_t pixels, uint32_t limit)
{
    // NEON, where the build has it, is part of every processor it runs on.
    if (_kxThresholdRunNeon && limit <= 65534) {
        const size_t done = _kxThresholdRunNeon(rgb, out, pixels, static_cast<uint16_t>(limit));
        rgb += 3 * done;
        out += done;
        pixels -= done;
    }
#ifdef KX_THRESHOLD_SSSE3
    static const bool avx2 = _kxThresholdRunAvx2 && __builtin_cpu_supports("avx2");
    if (avx2 && limit <= 65534) {
        const size_t done = _kxThresholdRunAvx2(rgb, out, pixels, static_cast<uint16_t>(limit));
        rgb += 3 * done;
        out += done;
        pixels -= done;
    }
    static const bool vector = __builtin_cpu_supports("ssse3");
    if (vector && limit <= 65534) {
        thresholdRunVector(rgb, out, pixels, static_cast<uint16_t>(limit));
        return;
    }
#endif
    thresholdRunPlain(rgb, out, pixels, limit);
}

} // namespace

int32_t kxRgb2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst)
{
    // src == dst would free the source's pixels before they are read.
    if (!src || !window || !dst || src == dst || threshold < 0 || !src->data) {
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
    const size_t count = static_cast<size_t>(span.x1 - span.x0);
    if (count == width) {  // whole rows: one run over the window's rows
        thresholdRun(src->data + span.y0 * width * 3, dst->data + span.y0 * width,
                     count * static_cast<size_t>(span.y1 - span.y0), limit);
        return 0;
    }
    for (int y = span.y0; y < span.y1; ++y)
        thresholdRun(src->data + (y * width + span.x0) * 3, dst->data + y * width + span.x0, count, limit);
    return 0;
}

int32_t kxGray2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst)
{
    if (!src || !window || !dst || src == dst || threshold < 0 || !src->data) {
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
