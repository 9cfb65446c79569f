// Whole-frame thresholding for the vision loop, vectorised.
//
// A pixel is bright when floor((r + g + b) / 3) > threshold, that is when
// r + g + b > 3 * threshold + 2. Channel sums are formed for every sample
// position with saturating 16-bit additions of the samples at offsets 0, 1
// and 2 (a saturated sum is above every limit below 65535, so the comparison
// stays exact), and the sums that start a pixel, every third one, are then
// gathered with byte shuffles.
#include "frame_threshold.h"

#include <cstddef>
#include <cstdio>

// (Builds without SSE2, as the tests make one, take kxRgb2Binary always.)
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#include <tmmintrin.h>
#define KX_THRESHOLD_SSSE3 1
#endif

namespace {

#ifdef KX_THRESHOLD_SSSE3

__attribute__((target("ssse3"))) inline __m128i channelSums(const uint16_t *samples)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 1));
    const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 2));
    return _mm_adds_epu16(_mm_adds_epu16(first, second), third);
}

// rgb holds `pixels` RGB pixels; limit is at most 65534.
__attribute__((target("ssse3"))) void thresholdPixels(const uint16_t *rgb, uint16_t *out, size_t pixels,
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
    // A group reads samples 3i .. 3i + 25: it must end two samples before
    // the buffer does.
    for (; 3 * (i + 8) + 2 <= 3 * pixels; i += 8) {
        const uint16_t *samples = rgb + 3 * i;
        __m128i sums = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(channelSums(samples), fromFirst),
                                                 _mm_shuffle_epi8(channelSums(samples + 8), fromSecond)),
                                    _mm_shuffle_epi8(channelSums(samples + 16), fromThird));
        __m128i notAbove = _mm_cmpeq_epi16(_mm_subs_epu16(sums, limits), _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_andnot_si128(notAbove, bright));
    }
    for (; i < pixels; ++i) {
        uint32_t sum = uint32_t(rgb[3 * i]) + rgb[3 * i + 1] + rgb[3 * i + 2];
        out[i] = sum > limit ? 255 : 0;
    }
}

bool vectorPathUsable() { return __builtin_cpu_supports("ssse3"); }

#endif

} // namespace

int32_t thresholdFrame(const kxImage *pic, int32_t threshold, const kxWindow *window, kxImage *binPic)
{
#ifdef KX_THRESHOLD_SSSE3
    const bool wholeFrame = pic && window && binPic && pic != binPic && pic->format == RGB && pic->data &&
                            window->x == 0 && window->y == 0 && window->width == pic->width &&
                            window->height == pic->height && pic->width > 0 && pic->height > 0;
    const int64_t limit = 3 * int64_t(threshold) + 2;
    if (wholeFrame && threshold >= 0 && limit <= 65534 && vectorPathUsable()) {
        if (kxImageInit(binPic, BINARY, pic->width, pic->height) < 0) {
            puts("kxRgb2Binary: error: could not initialize dest image");
            return -1;
        }
        thresholdPixels(pic->data, binPic->data, size_t(pic->width) * size_t(pic->height),
                        static_cast<uint16_t>(limit));
        return 0;
    }
#endif
    return kxRgb2Binary(pic, threshold, window, binPic);
}
