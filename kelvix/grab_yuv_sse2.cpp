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

// Both lanes set to lane `which` of `pair`.
KX_INLINE __m128d repeated(__m128d pair, int which)
{
    return which ? _mm_unpackhi_pd(pair, pair) : _mm_unpacklo_pd(pair, pair);
}

// Eight 32-bit values (four vectors holding two each in their low halves,
// in the -300..500 the formula reaches) limited to 0..255, as 16-bit lanes.
KX_INLINE __m128i gathered(const __m128i parts[4])
{
    return _mm_packs_epi32(_mm_unpacklo_epi64(parts[0], parts[1]), _mm_unpacklo_epi64(parts[2], parts[3]));
}

// Eight pixels written as 24 interleaved samples. Each pixel is stored as 64
// bits (red, green, blue, 0) at its place; the next pixel's store covers the
// padding, so the last one writes one sample past the block, which the
// caller's next block or tail writes again afterwards.
KX_INLINE void storeEight(const __m128i channels[3], uint16_t *out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i redGreen = _mm_packus_epi16(channels[0], channels[1]);
    const __m128i red = _mm_unpacklo_epi8(redGreen, zero), green = _mm_unpackhi_epi8(redGreen, zero);
    const __m128i blue = _mm_unpacklo_epi8(_mm_packus_epi16(channels[2], channels[2]), zero);
    const __m128i rg[2] = {_mm_unpacklo_epi16(red, green), _mm_unpackhi_epi16(red, green)};
    const __m128i b[2] = {_mm_unpacklo_epi16(blue, zero), _mm_unpackhi_epi16(blue, zero)};
    for (int half = 0; half < 2; ++half) {
        const __m128i first = _mm_unpacklo_epi32(rg[half], b[half]);   // pixels 4h, 4h + 1
        const __m128i second = _mm_unpackhi_epi32(rg[half], b[half]);  // pixels 4h + 2, 4h + 3
        uint16_t *at = out + 12 * half;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at), first);
        _mm_storeh_pd(reinterpret_cast<double *>(at + 3), _mm_castsi128_pd(first));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(at + 6), second);
        _mm_storeh_pd(reinterpret_cast<double *>(at + 9), _mm_castsi128_pd(second));
    }
}

// Y' of eight pixels, two per vector.
KX_INLINE void scaledLuma(const uint8_t *luma, __m128d scaled[4])
{
    const __m128d scale = _mm_set1_pd(1.1644);
    const __m128i low = widenFour(luma, 16), high = widenFour(luma + 4, 16);
    scaled[0] = _mm_mul_pd(lowPair(low), scale);
    scaled[1] = _mm_mul_pd(highPair(low), scale);
    scaled[2] = _mm_mul_pd(lowPair(high), scale);
    scaled[3] = _mm_mul_pd(highPair(high), scale);
}

// Eight pixels of two rows over four chroma samples; the chroma products of
// each pixel pair serve both rows.
KX_INLINE void convertBlock(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                            uint16_t *out0, uint16_t *out1)
{
    const __m128i u = widenFour(cb, 128), v = widenFour(cr, 128);
    const __m128d uPairs[2] = {lowPair(u), highPair(u)}, vPairs[2] = {lowPair(v), highPair(v)};
    __m128d scaled[2][4];
    scaledLuma(luma0, scaled[0]);
    scaledLuma(luma1, scaled[1]);
    __m128i red[2][4], green[2][4], blue[2][4];
    KX_UNROLL
    for (int i = 0; i < 4; ++i) {  // pixels 2i, 2i + 1 and chroma sample i
        const __m128d ui = repeated(uPairs[i / 2], i % 2), vi = repeated(vPairs[i / 2], i % 2);
        const __m128d redV = _mm_mul_pd(_mm_set1_pd(1.596), vi);
        const __m128d greenU = _mm_mul_pd(_mm_set1_pd(0.3918), ui);
        const __m128d greenV = _mm_mul_pd(_mm_set1_pd(0.813), vi);
        const __m128d blueU = _mm_mul_pd(_mm_set1_pd(2.0172), ui);
        KX_UNROLL
        for (int row = 0; row < 2; ++row) {
            red[row][i] = _mm_cvttpd_epi32(_mm_add_pd(scaled[row][i], redV));
            green[row][i] = _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(scaled[row][i], greenU), greenV));
            blue[row][i] = _mm_cvttpd_epi32(_mm_add_pd(scaled[row][i], blueU));
        }
    }
    const __m128i first[3] = {gathered(red[0]), gathered(green[0]), gathered(blue[0])};
    storeEight(first, out0);
    if (out1) {
        const __m128i second[3] = {gathered(red[1]), gathered(green[1]), gathered(blue[1])};
        storeEight(second, out1);
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
