// The RGB threshold's AVX2 run: sixteen pixels per step. Only this file's
// functions use AVX2, through target attributes, and only after the
// processor has been asked.
#include "format_threshold.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

// Sums of the 24 samples of each 128-bit lane group: a (samples 0-7 of the
// group), b (8-15) and c (16-23), at every sample position: sample + the next
// + the one after, with saturating 16-bit additions. A saturated sum is above
// every limit below 65535, so the comparison stays exact. Only the sums that
// start a pixel are used, and those never need a sample past the group.
__attribute__((target("avx2"))) inline __m256i pixelSums(__m256i a, __m256i b, __m256i c)
{
    const __m256i sumA = _mm256_adds_epu16(_mm256_adds_epu16(a, _mm256_alignr_epi8(b, a, 2)), _mm256_alignr_epi8(b, a, 4));
    const __m256i sumB = _mm256_adds_epu16(_mm256_adds_epu16(b, _mm256_alignr_epi8(c, b, 2)), _mm256_alignr_epi8(c, b, 4));
    const __m256i sumC = _mm256_adds_epu16(_mm256_adds_epu16(c, _mm256_srli_si256(c, 2)), _mm256_srli_si256(c, 4));
    // Pixel starts: samples 0, 3, 6 (words 0, 3, 6 of a), 9, 12, 15 (words
    // 1, 4, 7 of b), 18, 21 (words 2, 5 of c).
    const __m256i fromA = _mm256_setr_epi8(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                           0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i fromB = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1);
    const __m256i fromC = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11,
                                           -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11);
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(sumA, fromA), _mm256_shuffle_epi8(sumB, fromB)),
                           _mm256_shuffle_epi8(sumC, fromC));
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
        const __m256i sums = pixelSums(a, b, c);
        const __m256i notAbove = _mm256_cmpeq_epi16(_mm256_subs_epu16(sums, limits), _mm256_setzero_si256());
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), _mm256_andnot_si256(notAbove, bright));
    }
    return i;
}

} // namespace

const KxThresholdRun _kxThresholdRunAvx2 = thresholdAvx2;

#else
const KxThresholdRun _kxThresholdRunAvx2 = nullptr;
#endif
