// The conversion's NEON double kernel: two pixels per double vector, sixteen
// pixels of each of two rows per block. NEON (Advanced SIMD) is part of every
// aarch64 processor. The doubles are added and multiplied one operation at a
// time (-ffp-contract=off keeps the compiler from fusing them), so every
// pixel rounds exactly as the plain formula does.
#include "grab_yuv.h"

#if defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>

namespace {

#define KX_INLINE __attribute__((always_inline)) inline

// Eight bytes minus `offset` as four vectors of two doubles, in byte order.
KX_INLINE void doublesOf(uint8x8_t bytes, int16_t offset, float64x2_t out[4])
{
    const int16x8_t words = vsubq_s16(vreinterpretq_s16_u16(vmovl_u8(bytes)), vdupq_n_s16(offset));
    const int32x4_t halves[2] = {vmovl_s16(vget_low_s16(words)), vmovl_high_s16(words)};
    KX_UNROLL
    for (int h = 0; h < 2; ++h) {
        out[2 * h] = vcvtq_f64_s64(vmovl_s32(vget_low_s32(halves[h])));
        out[2 * h + 1] = vcvtq_f64_s64(vmovl_high_s32(halves[h]));
    }
}

// Truncated values of sixteen pixels (eight vectors of two, in the -300..500
// the formula reaches) limited to 0..255, as two vectors of eight samples.
KX_INLINE void limited(const float64x2_t values[8], uint16x8_t out[2])
{
    KX_UNROLL
    for (int half = 0; half < 2; ++half) {
        int32x4_t words[2];
        KX_UNROLL
        for (int q = 0; q < 2; ++q) {
            const float64x2_t *pair = values + 4 * half + 2 * q;
            words[q] = vcombine_s32(vmovn_s64(vcvtq_s64_f64(pair[0])), vmovn_s64(vcvtq_s64_f64(pair[1])));
        }
        out[half] = vminq_u16(vcombine_u16(vqmovun_s32(words[0]), vqmovun_s32(words[1])), vdupq_n_u16(255));
    }
}

// The chroma products of eight samples, each repeated for the two pixels
// that take it: [j] serves pixels 2j and 2j + 1.
struct ChromaProducts {
    float64x2_t redV[8], greenU[8], greenV[8], blueU[8];
};

KX_INLINE void repeatEach(float64x2_t product, float64x2_t out[2])
{
    out[0] = vzip1q_f64(product, product);
    out[1] = vzip2q_f64(product, product);
}

KX_INLINE ChromaProducts chromaProducts(const uint8_t *cb, const uint8_t *cr)
{
    float64x2_t u[4], v[4];
    doublesOf(vld1_u8(cb), 128, u);
    doublesOf(vld1_u8(cr), 128, v);
    ChromaProducts p;
    KX_UNROLL
    for (int h = 0; h < 4; ++h) {
        repeatEach(vmulq_f64(vdupq_n_f64(1.596), v[h]), p.redV + 2 * h);
        repeatEach(vmulq_f64(vdupq_n_f64(0.3918), u[h]), p.greenU + 2 * h);
        repeatEach(vmulq_f64(vdupq_n_f64(0.813), v[h]), p.greenV + 2 * h);
        repeatEach(vmulq_f64(vdupq_n_f64(2.0172), u[h]), p.blueU + 2 * h);
    }
    return p;
}

// Sixteen pixels of one row, written as 48 interleaved samples.
KX_INLINE void convertRow(const uint8_t *luma, const ChromaProducts &p, uint16_t *out)
{
    const uint8x16_t bytes = vld1q_u8(luma);
    float64x2_t y[8];
    doublesOf(vget_low_u8(bytes), 16, y);
    doublesOf(vget_high_u8(bytes), 16, y + 4);
    float64x2_t red[8], green[8], blue[8];
    KX_UNROLL
    for (int j = 0; j < 8; ++j) {
        const float64x2_t scaled = vmulq_f64(y[j], vdupq_n_f64(1.1644));
        red[j] = vaddq_f64(scaled, p.redV[j]);
        green[j] = vsubq_f64(vsubq_f64(scaled, p.greenU[j]), p.greenV[j]);
        blue[j] = vaddq_f64(scaled, p.blueU[j]);
    }
    const float64x2_t *values[3] = {red, green, blue};
    uint16x8x3_t halves[2];  // pixels 0-7, 8-15
    KX_UNROLL
    for (int c = 0; c < 3; ++c) {
        uint16x8_t channel[2];
        limited(values[c], channel);
        halves[0].val[c] = channel[0];
        halves[1].val[c] = channel[1];
    }
    vst3q_u16(out, halves[0]);
    vst3q_u16(out + 24, halves[1]);
}

size_t neonKernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                  uint16_t *out0, uint16_t *out1, size_t samples)
{
    size_t s = 0;
    for (; s + 8 <= samples; s += 8) {
        const ChromaProducts products = chromaProducts(cb + s, cr + s);
        convertRow(luma0 + 2 * s, products, out0 + 6 * s);
        if (luma1) convertRow(luma1 + 2 * s, products, out1 + 6 * s);
    }
    return s;
}

} // namespace

const KxYuvRowKernel _kxYuvNeonKernel = neonKernel;

#endif
