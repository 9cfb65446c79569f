// The conversion's fastest row kernel: AVX2 in 16-bit integers, sixteen
// pixels per vector, thirty-two pixels of each of two rows per block.
//
// The integer arithmetic and its constants are in grab_yuv_integer.h; blocks
// where rounding decides go to the double-precision AVX2 kernel.
#include "grab_yuv.h"
#include "grab_yuv_integer.h"
#include "grab_yuv_interleave.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define KX_AVX2 __attribute__((target("avx2")))
#define KX_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

enum Channel { kRed, kGreen, kBlue };

// The chroma terms of sixteen chroma samples, per channel, as 16-bit lanes in
// sample order: a = aC, over = 9999 - bC (carry where bY > over) and, for
// green and blue, tie = (10000 - bC) mod 10000.
struct ChromaTerms {
    __m256i a[3];
    __m256i over[3];
    __m256i tie[3];
};


KX_AVX2_INLINE __m256i quotient(__m256i x, const ByteTerm &t)
{
    const __m256i part = _mm256_mulhi_epu16(_mm256_add_epi16(x, _mm256_set1_epi16(t.shift)),
                                            _mm256_set1_epi16(t.multiplier));
    __m256i whole = _mm256_add_epi16(part, _mm256_set1_epi16(t.base));
    if (t.slope > 0) {
        for (int i = 0; i < t.slope; ++i) whole = _mm256_add_epi16(whole, x);
    } else {
        for (int i = 0; i < -t.slope; ++i) whole = _mm256_sub_epi16(whole, x);
    }
    return whole;
}

// 10000 a - (K x + C) = -b for a term's quotient a, modulo 65536.
KX_AVX2_INLINE __m256i remainderComplement(__m256i x, __m256i a, const ByteTerm &t)
{
    return _mm256_sub_epi16(_mm256_mullo_epi16(a, _mm256_set1_epi16(10000)),
                            _mm256_add_epi16(_mm256_mullo_epi16(x, _mm256_set1_epi16(t.factor)),
                                             _mm256_set1_epi16(t.offset)));
}


// Where N is a multiple of 10000: bY == (10000 - bC) mod 10000, from
// over = 9999 - bC.
KX_AVX2_INLINE __m256i tieOf(__m256i over)
{
    const __m256i nine = _mm256_set1_epi16(9999);
    return _mm256_andnot_si256(_mm256_cmpeq_epi16(over, nine), _mm256_add_epi16(over, _mm256_set1_epi16(1)));
}

KX_AVX2_INLINE ChromaTerms chromaTerms(const uint8_t *cbBytes, const uint8_t *crBytes)
{
    const __m256i cb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(cbBytes)));
    const __m256i cr = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(crBytes)));
    const __m256i nine = _mm256_set1_epi16(9999);
    ChromaTerms terms;
    terms.a[kRed] = quotient(cr, kRedTerm);
    terms.over[kRed] = _mm256_add_epi16(remainderComplement(cr, terms.a[kRed], kRedTerm), nine);
    terms.a[kBlue] = quotient(cb, kBlueTerm);
    terms.over[kBlue] = _mm256_add_epi16(remainderComplement(cb, terms.a[kBlue], kBlueTerm), nine);
    terms.tie[kBlue] = tieOf(terms.over[kBlue]);
    // Green's two byte terms: their remainders carry into the quotient.
    const __m256i aCb = quotient(cb, kGreenCbTerm), aCr = quotient(cr, kGreenCrTerm);
    // -bCb - bCr + 10000: at most 0 when the remainders carry.
    const __m256i complement = _mm256_add_epi16(
        _mm256_add_epi16(remainderComplement(cb, aCb, kGreenCbTerm), remainderComplement(cr, aCr, kGreenCrTerm)),
        _mm256_set1_epi16(10000));
    const __m256i carry = _mm256_cmpgt_epi16(_mm256_set1_epi16(1), complement);  // -1 where bCb + bCr >= 10000
    terms.a[kGreen] = _mm256_sub_epi16(_mm256_add_epi16(aCb, aCr), carry);
    // 9999 - bG, bG = bCb + bCr - 10000 carry.
    const __m256i carried = _mm256_sub_epi16(complement, _mm256_and_si256(carry, _mm256_set1_epi16(-10000)));
    terms.over[kGreen] = _mm256_add_epi16(carried, _mm256_set1_epi16(9999 - 10000));
    terms.tie[kGreen] = tieOf(terms.over[kGreen]);
    return terms;
}

// One set of a row's 32 pixels: the even pixels (0, 2, .. 30) or the odd
// ones, which meet chroma samples 0-15 in order. Gives the channels before
// limiting, and the lanes where luma and chroma make green's and blue's N
// a multiple of 10000.
KX_AVX2_INLINE void convertSet(__m256i luma, const ChromaTerms &terms, __m256i channel[3], __m256i tie[2])
{
    // aY = floor(1.1644 Y) = Y + floor(0.1644 Y): 10775 / 65536 gives the
    // latter for every byte.
    const __m256i aY = _mm256_add_epi16(luma, _mm256_mulhi_epu16(luma, _mm256_set1_epi16(10775)));
    const __m256i bY = _mm256_sub_epi16(_mm256_mullo_epi16(luma, _mm256_set1_epi16(11644)),
                                        _mm256_mullo_epi16(aY, _mm256_set1_epi16(10000)));
    KX_UNROLL
    for (int c = 0; c < 3; ++c)
        channel[c] = _mm256_sub_epi16(_mm256_add_epi16(aY, terms.a[c]), _mm256_cmpgt_epi16(bY, terms.over[c]));
    tie[0] = _mm256_cmpeq_epi16(bY, terms.tie[kGreen]);
    tie[1] = _mm256_cmpeq_epi16(bY, terms.tie[kBlue]);
}

// One row of 32 pixels; returns nonzero lanes where a green or blue tie has
// a result of 2 or more, which the doubles must decide.
KX_AVX2_INLINE __m256i convertRow(const uint8_t *luma, const ChromaTerms &terms, uint16_t *out)
{
    // As 16-bit lanes, each pixel pair holds its even pixel in the low byte.
    const __m256i pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(luma));
    const __m256i sets[2] = {_mm256_and_si256(pairs, _mm256_set1_epi16(0xFF)), _mm256_srli_epi16(pairs, 8)};
    __m256i channel[2][3], tie[2][2];
    convertSet(sets[0], terms, channel[0], tie[0]);
    convertSet(sets[1], terms, channel[1], tie[1]);
    // Packing limits to 0..255 and puts each lane's even pixels before its
    // odd ones.
    const __m256i bytes[3] = {_mm256_packus_epi16(channel[0][0], channel[1][0]),
                              _mm256_packus_epi16(channel[0][1], channel[1][1]),
                              _mm256_packus_epi16(channel[0][2], channel[1][2])};
    _kxYuvStoreInterleaved(bytes, out, out + 48);  // pixels 0-15 in the low lanes, 16-31 in the high
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i greenTie = _mm256_and_si256(_mm256_packs_epi16(tie[0][0], tie[1][0]),
                                              _mm256_subs_epu8(bytes[kGreen], one));
    const __m256i blueTie = _mm256_and_si256(_mm256_packs_epi16(tie[0][1], tie[1][1]),
                                             _mm256_subs_epu8(bytes[kBlue], one));
    return _mm256_or_si256(greenTie, blueTie);
}

KX_AVX2 size_t avx2IntegerKernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                                 uint16_t *out0, uint16_t *out1, size_t samples)
{
    size_t s = 0;
    for (; s + 16 <= samples; s += 16) {
        const ChromaTerms terms = chromaTerms(cb + s, cr + s);
        __m256i exact = convertRow(luma0 + 2 * s, terms, out0 + 6 * s);
        if (out1) exact = _mm256_or_si256(exact, convertRow(luma1 + 2 * s, terms, out1 + 6 * s));
        if (!_mm256_testz_si256(exact, exact))
            _kxYuvAvx2Kernel(luma0 + 2 * s, luma1 ? luma1 + 2 * s : nullptr, cb + s, cr + s, out0 + 6 * s,
                             out1 ? out1 + 6 * s : nullptr, 16);
    }
    return s + _kxYuvAvx2Kernel(luma0 + 2 * s, luma1 ? luma1 + 2 * s : nullptr, cb + s, cr + s, out0 + 6 * s,
                                out1 ? out1 + 6 * s : nullptr, samples - s);
}

} // namespace

const KxYuvRowKernel _kxYuvAvx2IntegerKernel = avx2IntegerKernel;

#endif
