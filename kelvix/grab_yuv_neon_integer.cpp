// The conversion's fastest aarch64 row kernel: NEON in 16-bit integers,
// eight pixels per vector, sixteen pixels of each of two rows per block. It
// computes the exact integer form of grab_yuv_integer.h, the same lane
// arithmetic as the AVX2 integer kernel; blocks where rounding decides go to
// the NEON double kernel.
#include "grab_yuv.h"
#include "grab_yuv_integer.h"

#if defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>

namespace {

#define KX_INLINE __attribute__((always_inline)) inline

enum Channel { kRed, kGreen, kBlue };

// The arithmetic wraps modulo 65536, so it is done in unsigned lanes (signed
// vector overflow is undefined in C++); lanes are read as signed only where
// they are compared.
//
// The chroma terms of eight chroma samples, per channel, as 16-bit lanes in
// sample order: a = aC, over = 9999 - bC (carry where bY > over) and, for
// green and blue, tie = (10000 - bC) mod 10000.
struct ChromaTerms {
    uint16x8_t a[3];
    int16x8_t over[3];
    int16x8_t tie[3];
};

KX_INLINE uint16x8_t splat(int16_t value) { return vdupq_n_u16(static_cast<uint16_t>(value)); }
KX_INLINE int16x8_t asSigned(uint16x8_t lanes) { return vreinterpretq_s16_u16(lanes); }

// The high 16 bits of the unsigned products, lane by lane.
KX_INLINE uint16x8_t mulHigh(uint16x8_t x, uint16x8_t y)
{
    const uint32x4_t low = vmull_u16(vget_low_u16(x), vget_low_u16(y));
    const uint32x4_t high = vmull_high_u16(x, y);
    return vuzp2q_u16(vreinterpretq_u16_u32(low), vreinterpretq_u16_u32(high));
}

KX_INLINE uint16x8_t quotient(uint16x8_t x, const ByteTerm &t)
{
    const uint16x8_t part = mulHigh(vaddq_u16(x, splat(t.shift)), splat(t.multiplier));
    return vaddq_u16(vaddq_u16(part, splat(t.base)), vmulq_u16(x, splat(t.slope)));
}

// 10000 a - (K x + C) = -b for a term's quotient a, modulo 65536.
KX_INLINE uint16x8_t remainderComplement(uint16x8_t x, uint16x8_t a, const ByteTerm &t)
{
    return vsubq_u16(vmulq_u16(a, splat(10000)), vaddq_u16(vmulq_u16(x, splat(t.factor)), splat(t.offset)));
}

// Where N is a multiple of 10000: bY == (10000 - bC) mod 10000, from
// over = 9999 - bC.
KX_INLINE int16x8_t tieOf(uint16x8_t over)
{
    return asSigned(vbicq_u16(vaddq_u16(over, splat(1)), vceqq_u16(over, splat(9999))));
}

KX_INLINE ChromaTerms chromaTerms(const uint8_t *cbBytes, const uint8_t *crBytes)
{
    const uint16x8_t cb = vmovl_u8(vld1_u8(cbBytes));
    const uint16x8_t cr = vmovl_u8(vld1_u8(crBytes));
    const uint16x8_t nine = splat(9999);
    ChromaTerms terms;
    terms.a[kRed] = quotient(cr, kRedTerm);
    terms.over[kRed] = asSigned(vaddq_u16(remainderComplement(cr, terms.a[kRed], kRedTerm), nine));
    terms.a[kBlue] = quotient(cb, kBlueTerm);
    const uint16x8_t blueOver = vaddq_u16(remainderComplement(cb, terms.a[kBlue], kBlueTerm), nine);
    terms.over[kBlue] = asSigned(blueOver);
    terms.tie[kBlue] = tieOf(blueOver);
    // Green's two byte terms: their remainders carry into the quotient.
    const uint16x8_t aCb = quotient(cb, kGreenCbTerm), aCr = quotient(cr, kGreenCrTerm);
    // -bCb - bCr + 10000: at most 0 when the remainders carry.
    const uint16x8_t complement = vaddq_u16(
        vaddq_u16(remainderComplement(cb, aCb, kGreenCbTerm), remainderComplement(cr, aCr, kGreenCrTerm)),
        splat(10000));
    const uint16x8_t carry = vcltq_s16(asSigned(complement), vdupq_n_s16(1));  // all ones on carry
    terms.a[kGreen] = vsubq_u16(vaddq_u16(aCb, aCr), carry);
    // 9999 - bG, bG = bCb + bCr - 10000 carry.
    const uint16x8_t carried = vsubq_u16(complement, vandq_u16(carry, splat(-10000)));
    const uint16x8_t greenOver = vaddq_u16(carried, splat(9999 - 10000));
    terms.over[kGreen] = asSigned(greenOver);
    terms.tie[kGreen] = tieOf(greenOver);
    return terms;
}

// One set of a row's sixteen pixels: the even pixels (0, 2, .. 14) or the odd
// ones, which meet chroma samples 0-7 in order. Gives the channels limited
// to 0..255 and the lanes where green's or blue's N is a multiple of 10000
// with a result of 2 or more, which the doubles must decide.
KX_INLINE uint16x8_t convertSet(uint8x8_t lumaBytes, const ChromaTerms &terms, uint16x8_t channel[3])
{
    const uint16x8_t luma = vmovl_u8(lumaBytes);
    // aY = floor(1.1644 Y) = Y + floor(0.1644 Y): 10775 / 65536 gives the
    // latter for every byte.
    const uint16x8_t aY = vaddq_u16(luma, mulHigh(luma, splat(10775)));
    const int16x8_t bY = asSigned(vsubq_u16(vmulq_u16(luma, splat(11644)), vmulq_u16(aY, splat(10000))));
    int16x8_t value[3];
    KX_UNROLL
    for (int c = 0; c < 3; ++c) {
        const uint16x8_t carry = vcgtq_s16(bY, terms.over[c]);  // all ones on carry
        value[c] = asSigned(vsubq_u16(vaddq_u16(aY, terms.a[c]), carry));
        channel[c] = vreinterpretq_u16_s16(vminq_s16(vmaxq_s16(value[c], vdupq_n_s16(0)), vdupq_n_s16(255)));
    }
    const int16x8_t two = vdupq_n_s16(2);
    const uint16x8_t greenTie = vandq_u16(vceqq_s16(bY, terms.tie[kGreen]), vcgeq_s16(value[kGreen], two));
    const uint16x8_t blueTie = vandq_u16(vceqq_s16(bY, terms.tie[kBlue]), vcgeq_s16(value[kBlue], two));
    return vorrq_u16(greenTie, blueTie);
}

// One row of sixteen pixels, written as 48 interleaved samples; returns
// nonzero lanes where the doubles must decide.
KX_INLINE uint16x8_t convertRow(const uint8_t *luma, const ChromaTerms &terms, uint16_t *out)
{
    const uint8x8x2_t sets = vld2_u8(luma);  // even pixels, odd pixels
    uint16x8_t even[3], odd[3];
    const uint16x8_t decide = vorrq_u16(convertSet(sets.val[0], terms, even), convertSet(sets.val[1], terms, odd));
    uint16x8x3_t first, second;
    KX_UNROLL
    for (int c = 0; c < 3; ++c) {
        first.val[c] = vzip1q_u16(even[c], odd[c]);   // pixels 0-7
        second.val[c] = vzip2q_u16(even[c], odd[c]);  // pixels 8-15
    }
    vst3q_u16(out, first);
    vst3q_u16(out + 24, second);
    return decide;
}

size_t neonIntegerKernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                         uint16_t *out0, uint16_t *out1, size_t samples)
{
    size_t s = 0;
    for (; s + 8 <= samples; s += 8) {
        const ChromaTerms terms = chromaTerms(cb + s, cr + s);
        uint16x8_t decide = convertRow(luma0 + 2 * s, terms, out0 + 6 * s);
        if (luma1) decide = vorrq_u16(decide, convertRow(luma1 + 2 * s, terms, out1 + 6 * s));
        if (vmaxvq_u16(decide))
            _kxYuvNeonKernel(luma0 + 2 * s, luma1 ? luma1 + 2 * s : nullptr, cb + s, cr + s, out0 + 6 * s,
                             out1 ? out1 + 6 * s : nullptr, 8);
    }
    return s;
}

} // namespace

const KxYuvRowKernel _kxYuvNeonIntegerKernel = neonIntegerKernel;

#endif
