// The conversion's SSE2 row kernel: two pixels per double vector, eight
// pixels of each of two rows per block. SSE2 is part of every x86-64
// processor.
#include "grab_yuv.h"

#if defined(__SSE2__)
#include <cstring>
#include <emmintrin.h>

namespace {

#define KX_INLINE __attribute__((always_inline)) inline

// Four bytes minus `offset` as signed 32-bit lanes.
KX_INLINE __m128i widenFour(const uint8_t *bytes, int offset)
{
    int32_t word;
    memcpy(&word, bytes, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero);
    return _mm_sub_epi32(_mm_unpacklo_epi16(words, zero), _mm_set1_epi32(offset));
}

// Lanes 0, 1 or lanes 2, 3 of four 32-bit integers as doubles.
KX_INLINE __m128d lowPair(__m128i lanes) { return _mm_cvtepi32_pd(lanes); }
KX_INLINE __m128d highPair(__m128i lanes) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(lanes, 0xEE)); }

// Pixels are computed in two sets, the even ones and the odd ones: pixels
// 4h + set and 4h + set + 2 of a block of eight meet chroma samples 2h and
// 2h + 1, so the chroma products need no repeating.

// Y' of eight pixels: scaled[set][h] holds pixels 4h + set and 4h + set + 2.
KX_INLINE void scaledLuma(const uint8_t *luma, __m128d scaled[2][2])
{
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(luma));
    const __m128i words = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
    const __m128i sixteen = _mm_set1_epi32(16);
    // Each 32-bit lane holds an even pixel in its low half, the next odd
    // one in its high half.
    const __m128i sets[2] = {_mm_sub_epi32(_mm_and_si128(words, _mm_set1_epi32(0xFFFF)), sixteen),
                             _mm_sub_epi32(_mm_srli_epi32(words, 16), sixteen)};
    const __m128d scale = _mm_set1_pd(1.1644);
    KX_UNROLL
    for (int set = 0; set < 2; ++set) {
        scaled[set][0] = _mm_mul_pd(lowPair(sets[set]), scale);
        scaled[set][1] = _mm_mul_pd(highPair(sets[set]), scale);
    }
}

// One channel of eight pixels from truncated values in [set][h] order (two
// in the low half of each), in 16-bit lanes: pixels 0, 2, 4, 6, 1, 3, 5, 7.
// The values lie in the -300..500 the formula reaches.
KX_INLINE __m128i gathered(__m128i even0, __m128i even1, __m128i odd0, __m128i odd1)
{
    return _mm_packs_epi32(_mm_unpacklo_epi64(even0, even1), _mm_unpacklo_epi64(odd0, odd1));
}

// Eight pixels, channels in gathered() order, limited to 0..255 and written
// as 24 interleaved samples. Each pixel is stored as 64 bits (red, green,
// blue, 0) at its place, in pixel order: the next pixel's store covers the
// padding, so the last one writes one sample past the block, which the
// caller's next block or tail writes again afterwards.
KX_INLINE void storeEight(__m128i red, __m128i green, __m128i blue, uint16_t *out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i redGreen = _mm_packus_epi16(red, green);
    red = _mm_unpacklo_epi8(redGreen, zero);
    green = _mm_unpackhi_epi8(redGreen, zero);
    blue = _mm_unpacklo_epi8(_mm_packus_epi16(blue, blue), zero);
    const __m128i rg[2] = {_mm_unpacklo_epi16(red, green), _mm_unpackhi_epi16(red, green)};  // even, odd
    const __m128i b[2] = {_mm_unpacklo_epi16(blue, zero), _mm_unpackhi_epi16(blue, zero)};
    KX_UNROLL
    for (int h = 0; h < 2; ++h) {
        // Pixels 4h, 4h + 2 (even) and 4h + 1, 4h + 3 (odd).
        const __m128i even = h ? _mm_unpackhi_epi32(rg[0], b[0]) : _mm_unpacklo_epi32(rg[0], b[0]);
        const __m128i odd = h ? _mm_unpackhi_epi32(rg[1], b[1]) : _mm_unpacklo_epi32(rg[1], b[1]);
        uint16_t *at = out + 12 * h;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at), even);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at + 3), odd);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at + 6), _mm_unpackhi_epi64(even, even));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at + 9), _mm_unpackhi_epi64(odd, odd));
    }
}

// Eight pixels of two rows over four chroma samples; the chroma products
// serve both rows.
KX_INLINE void convertBlock(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                            uint16_t *out0, uint16_t *out1)
{
    const __m128i u = widenFour(cb, 128), v = widenFour(cr, 128);
    const __m128d uPairs[2] = {lowPair(u), highPair(u)}, vPairs[2] = {lowPair(v), highPair(v)};
    __m128d redV[2], greenU[2], greenV[2], blueU[2];
    KX_UNROLL
    for (int h = 0; h < 2; ++h) {
        redV[h] = _mm_mul_pd(_mm_set1_pd(1.596), vPairs[h]);
        greenU[h] = _mm_mul_pd(_mm_set1_pd(0.3918), uPairs[h]);
        greenV[h] = _mm_mul_pd(_mm_set1_pd(0.813), vPairs[h]);
        blueU[h] = _mm_mul_pd(_mm_set1_pd(2.0172), uPairs[h]);
    }
    KX_UNROLL
    for (int row = 0; row < 2; ++row) {
        uint16_t *out = row ? out1 : out0;
        if (!out) break;
        __m128d y[2][2];
        scaledLuma(row ? luma1 : luma0, y);
        const __m128i red = gathered(_mm_cvttpd_epi32(_mm_add_pd(y[0][0], redV[0])),
                                     _mm_cvttpd_epi32(_mm_add_pd(y[0][1], redV[1])),
                                     _mm_cvttpd_epi32(_mm_add_pd(y[1][0], redV[0])),
                                     _mm_cvttpd_epi32(_mm_add_pd(y[1][1], redV[1])));
        const __m128i green = gathered(_mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(y[0][0], greenU[0]), greenV[0])),
                                       _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(y[0][1], greenU[1]), greenV[1])),
                                       _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(y[1][0], greenU[0]), greenV[0])),
                                       _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(y[1][1], greenU[1]), greenV[1])));
        const __m128i blue = gathered(_mm_cvttpd_epi32(_mm_add_pd(y[0][0], blueU[0])),
                                      _mm_cvttpd_epi32(_mm_add_pd(y[0][1], blueU[1])),
                                      _mm_cvttpd_epi32(_mm_add_pd(y[1][0], blueU[0])),
                                      _mm_cvttpd_epi32(_mm_add_pd(y[1][1], blueU[1])));
        storeEight(red, green, blue, out);
    }
}

// A single row goes through as its own second row, whose results are
// dropped. The last block always leaves at least one sample to the caller,
// which writes over the sample the block's last store runs past.
size_t sse2Kernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                  uint16_t *out0, uint16_t *out1, size_t samples)
{
    size_t s = 0;
    for (; s + 4 < samples; s += 4)
        convertBlock(luma0 + 2 * s, (luma1 ? luma1 : luma0) + 2 * s, cb + s, cr + s, out0 + 6 * s,
                     out1 ? out1 + 6 * s : nullptr);
    return s;
}

} // namespace

const KxYuvRowKernel _kxYuvSse2Kernel = sse2Kernel;

#endif
