// Thirty-two samples per step where the processor has AVX2 (asked once, the
// code is enabled by a target attribute) and on aarch64 with NEON (part of
// every such processor); elsewhere the plain search followed by a copy.
#include "seed_scan.h"

#include <cstring>

#include "blob_scan.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#include <immintrin.h>
#define KX_SEED_SCAN_AVX2 1
#endif
#if defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#define KX_SEED_SCAN_NEON 1
#endif

namespace {

int64_t copyUpTo(const uint16_t *data, int64_t from, int64_t end, uint16_t value, uint16_t *copy)
{
    const int64_t at = findSample(data, from, end, value);
    memcpy(copy + from, data + from, static_cast<size_t>(at - from) * sizeof(uint16_t));
    return at;
}

#ifdef KX_SEED_SCAN_AVX2
__attribute__((target("avx2"))) int64_t findCopyingAvx2(const uint16_t *data, int64_t from, int64_t end,
                                                         uint16_t value, uint16_t *copy)
{
    const __m256i wanted = _mm256_set1_epi16(static_cast<short>(value));
    int64_t i = from;
    for (; i + 32 <= end; i += 32) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i + 16));
        const __m256i found = _mm256_or_si256(_mm256_cmpeq_epi16(low, wanted), _mm256_cmpeq_epi16(high, wanted));
        if (!_mm256_testz_si256(found, found)) break;
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(copy + i), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(copy + i + 16), high);
    }
    return copyUpTo(data, i, end, value, copy);
}
#endif

#ifdef KX_SEED_SCAN_NEON
int64_t findCopyingNeon(const uint16_t *data, int64_t from, int64_t end, uint16_t value, uint16_t *copy)
{
    const uint16x8_t wanted = vdupq_n_u16(value);
    int64_t i = from;
    for (; i + 32 <= end; i += 32) {
        const uint16x8x4_t samples = vld1q_u16_x4(data + i);
        const uint16x8_t found = vorrq_u16(
            vorrq_u16(vceqq_u16(samples.val[0], wanted), vceqq_u16(samples.val[1], wanted)),
            vorrq_u16(vceqq_u16(samples.val[2], wanted), vceqq_u16(samples.val[3], wanted)));
        if (vmaxvq_u16(found)) break;
        vst1q_u16_x4(copy + i, samples);
    }
    return copyUpTo(data, i, end, value, copy);
}
#endif

} // namespace

int64_t findSampleCopying(const uint16_t *data, int64_t from, int64_t end, uint16_t value, uint16_t *copy)
{
    if (from >= end) return end;
#ifdef KX_SEED_SCAN_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return findCopyingAvx2(data, from, end, value, copy);
#endif
#ifdef KX_SEED_SCAN_NEON
    return findCopyingNeon(data, from, end, value, copy);
#endif
    return copyUpTo(data, from, end, value, copy);
}
