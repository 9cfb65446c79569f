// The RGB threshold's AVX2 run: sixteen pixels per step. Only this file's
// functions use AVX2, through target attributes, and only after the
// processor has been asked.
#include "format_threshold.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

// Channel sums of the eight pixels of each 128-bit lane group of 24 samples:
// a (samples 0-7 of the group), b (8-15) and c (16-23). Word blends pick one
// channel of every pixel: the red samples 0, 3, .. 21 lie at word 0, 3, 6 of
// a, 1, 4, 7 of b and 2, 5 of c, giving pixels 0, 3, 6, 1, 4, 7, 2, 5 in
// word order; green and blue, picked the same way, come out in that order
// turned by one and two words. Turning them back lines the channels up for
// saturating 16-bit additions (a saturated sum is above every limit below
// 65535, so the comparison stays exact). The sums are in that word order.
__attribute__((target("avx2"))) inline __m256i pixelSums(__m256i a, __m256i b, __m256i c)
{
    // Blend masks: bit k takes word k of the second operand.
    const __m256i red = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x92), c, 0x24);    // b: 1 4 7, c: 2 5
    const __m256i green = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x24), c, 0x49);  // b: 2 5, c: 0 3 6
    const __m256i blue = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x49), c, 0x92);   // b: 0 3 6, c: 1 4 7
    return _mm256_adds_epu16(_mm256_adds_epu16(red, _mm256_alignr_epi8(green, green, 2)),
                             _mm256_alignr_epi8(blue, blue, 4));
}

__attribute__((target("avx2"))) size_t thresholdAvx2(const uint16_t *rgb, uint16_t *out, size_t pixels,
                                                    uint16_t limit)
{
    const __m256i limits = _mm256_set1_epi16(static_cast<short>(limit));
    const __m256i bright = _mm256_set1_epi16(255);
    size_t i = 0;
    for (; i + 16 <= pixels; i += 16) {
        const __m256i *samples = reinterpret_cast<const __m256i *>(rgb + 3 * i);
        const __m256i first = _mm256_loadu_si256(samples);       // samples 0-15
        const __m256i second = _mm256_loadu_si256(samples + 1);  // 16-31
        const __m256i third = _mm256_loadu_si256(samples + 2);   // 32-47
        // Lane groups of 24 consecutive samples: pixels 0-7 in the low
        // lanes (samples 0-23), pixels 8-15 in the high ones (24-47).
        const __m256i a = _mm256_blend_epi32(first, second, 0xF0);  // 0-7, 24-31
        const __m256i b = _mm256_permute2x128_si256(first, third, 0x21);  // 8-15, 32-39
        const __m256i c = _mm256_blend_epi32(second, third, 0xF0);  // 16-23, 40-47
        const __m256i notAbove = _mm256_cmpeq_epi16(_mm256_subs_epu16(pixelSums(a, b, c), limits),
                                                    _mm256_setzero_si256());
        // Back from pixel order 0, 3, 6, 1, 4, 7, 2, 5 to 0 .. 7.
        const __m256i pixelOrder = _mm256_setr_epi8(0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15, 4, 5, 10, 11,
                                                    0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15, 4, 5, 10, 11);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                            _mm256_shuffle_epi8(_mm256_andnot_si256(notAbove, bright), pixelOrder));
    }
    return i;
}

} // namespace

const KxThresholdRun _kxThresholdRunAvx2 = thresholdAvx2;

#else
const KxThresholdRun _kxThresholdRunAvx2 = nullptr;
#endif
