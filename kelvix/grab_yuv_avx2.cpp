// The conversion's AVX2 row kernel: four pixels per double vector, sixteen
// pixels of each row per block. Only this file's functions use AVX2, through
// target attributes, and only after the processor has been asked (see
// _kxYuvPathAvailable); FMA stays off, so no multiply and add are fused.
#include "grab_yuv.h"
#include "grab_yuv_interleave.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define KX_AVX2 __attribute__((target("avx2")))
#define KX_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

// Pixels are computed in two sets: the even ones (0, 2, .. 14 of a block of
// sixteen) and the odd ones, so that four neighbouring pixels of a set meet
// four consecutive chroma samples and the chroma products need no
// repeating. A set's channel values end up as bytes 0-7 (even pixels) and
// 8-15 (odd pixels) of a vector (grab_yuv_interleave.h); the low 128-bit lane
// works on the first row, the high one on the second.

// Eight chroma bytes minus 128 as two vectors of four doubles.
KX_AVX2_INLINE void chromaDoubles(const uint8_t *bytes, __m256d out[2])
{
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(bytes));
    const __m256i lanes = _mm256_sub_epi32(_mm256_cvtepu8_epi32(eight), _mm256_set1_epi32(128));
    out[0] = _mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes));
    out[1] = _mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1));
}

// Y' of sixteen pixels: scaled[set][h] holds pixels 8h + set, 8h + set + 2,
// 8h + set + 4, 8h + set + 6 (set 0 even, 1 odd), which take chroma samples
// 4h .. 4h + 3.
KX_AVX2_INLINE void scaledLuma(const uint8_t *luma, __m256d scaled[2][2])
{
    const __m128i evenThenOdd = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m128i bytes =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(luma)), evenThenOdd);
    const __m256i sixteen = _mm256_set1_epi32(16);
    const __m256i sets[2] = {_mm256_sub_epi32(_mm256_cvtepu8_epi32(bytes), sixteen),
                             _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8)), sixteen)};
    const __m256d scale = _mm256_set1_pd(1.1644);
    KX_UNROLL
    for (int set = 0; set < 2; ++set) {
        scaled[set][0] = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sets[set])), scale);
        scaled[set][1] = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(sets[set], 1)), scale);
    }
}

// Sixteen 32-bit values (four vectors of four, in the -300..500 the formula
// reaches) limited to 0..255 as bytes, in the vectors' order.
KX_AVX2_INLINE __m128i limitedBytes(__m128i a, __m128i b, __m128i c, __m128i d)
{
    return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
}

// Sixteen pixels of two rows over eight chroma samples; the chroma products
// serve both rows.
KX_AVX2_INLINE void convertBlock(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb,
                                 const uint8_t *cr, uint16_t *out0, uint16_t *out1)
{
    __m256d u[2], v[2];
    chromaDoubles(cb, u);
    chromaDoubles(cr, v);
    __m256d scaled[2][2][2];  // [row][set][h]
    scaledLuma(luma0, scaled[0]);
    scaledLuma(luma1, scaled[1]);
    __m256d redV[2], greenU[2], greenV[2], blueU[2];
    KX_UNROLL
    for (int h = 0; h < 2; ++h) {
        redV[h] = _mm256_mul_pd(_mm256_set1_pd(1.596), v[h]);
        greenU[h] = _mm256_mul_pd(_mm256_set1_pd(0.3918), u[h]);
        greenV[h] = _mm256_mul_pd(_mm256_set1_pd(0.813), v[h]);
        blueU[h] = _mm256_mul_pd(_mm256_set1_pd(2.0172), u[h]);
    }
    // Per row and channel: [set][h] order gives even pixels in bytes 0-7,
    // odd ones in bytes 8-15.
    __m128i red[2], green[2], blue[2];
    KX_UNROLL
    for (int row = 0; row < 2; ++row) {
        const __m256d(&y)[2][2] = scaled[row];
        red[row] = limitedBytes(_mm256_cvttpd_epi32(_mm256_add_pd(y[0][0], redV[0])),
                                _mm256_cvttpd_epi32(_mm256_add_pd(y[0][1], redV[1])),
                                _mm256_cvttpd_epi32(_mm256_add_pd(y[1][0], redV[0])),
                                _mm256_cvttpd_epi32(_mm256_add_pd(y[1][1], redV[1])));
        green[row] = limitedBytes(
            _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(y[0][0], greenU[0]), greenV[0])),
            _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(y[0][1], greenU[1]), greenV[1])),
            _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(y[1][0], greenU[0]), greenV[0])),
            _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(y[1][1], greenU[1]), greenV[1])));
        blue[row] = limitedBytes(_mm256_cvttpd_epi32(_mm256_add_pd(y[0][0], blueU[0])),
                                 _mm256_cvttpd_epi32(_mm256_add_pd(y[0][1], blueU[1])),
                                 _mm256_cvttpd_epi32(_mm256_add_pd(y[1][0], blueU[0])),
                                 _mm256_cvttpd_epi32(_mm256_add_pd(y[1][1], blueU[1])));
    }
    const __m256i channel[3] = {_mm256_setr_m128i(red[0], red[1]), _mm256_setr_m128i(green[0], green[1]),
                                _mm256_setr_m128i(blue[0], blue[1])};
    _kxYuvStoreInterleaved(channel, out0, out1);  // first row in the low lanes
}

// A single row goes through as its own second row, whose results are
// dropped.
KX_AVX2 size_t avx2Kernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                          uint16_t *out0, uint16_t *out1, size_t samples)
{
    size_t s = 0;
    for (; s + 8 <= samples; s += 8)
        convertBlock(luma0 + 2 * s, (luma1 ? luma1 : luma0) + 2 * s, cb + s, cr + s, out0 + 6 * s,
                     out1 ? out1 + 6 * s : nullptr);
    return s;
}

} // namespace

const KxYuvRowKernel _kxYuvAvx2Kernel = avx2Kernel;

#endif
