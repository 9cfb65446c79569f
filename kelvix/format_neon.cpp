// The RGB threshold's NEON run: sixteen pixels per step. NEON is part of
// every aarch64 processor; its de-interleaving loads hand over each channel
// of eight pixels in a vector of its own.
#include "format_threshold.h"

#if defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>

namespace {

// 255 for each of eight pixels whose channel sum is above `limits`, else 0.
// A saturated sum is above every limit below 65535, so the comparison stays
// exact.
inline uint16x8_t binaryOfEight(const uint16_t *rgb, uint16x8_t limits)
{
    const uint16x8x3_t channels = vld3q_u16(rgb);
    const uint16x8_t sums = vqaddq_u16(vqaddq_u16(channels.val[0], channels.val[1]), channels.val[2]);
    return vandq_u16(vcgtq_u16(sums, limits), vdupq_n_u16(255));
}

size_t thresholdNeon(const uint16_t *rgb, uint16_t *out, size_t pixels, uint16_t limit)
{
    const uint16x8_t limits = vdupq_n_u16(limit);
    size_t i = 0;
    for (; i + 16 <= pixels; i += 16) {
        vst1q_u16(out + i, binaryOfEight(rgb + 3 * i, limits));
        vst1q_u16(out + i + 8, binaryOfEight(rgb + 3 * i + 24, limits));
    }
    return i;
}

} // namespace

const KxThresholdRun _kxThresholdRunNeon = thresholdNeon;

#else
const KxThresholdRun _kxThresholdRunNeon = nullptr;
#endif
