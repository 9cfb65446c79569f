// The interleaving store shared by the AVX2 conversion kernels. Both compute
// a pixel's channels in two sets, the even pixels and the odd ones, and hold
// sixteen pixels' values of a channel as bytes 0-7 (even pixels) and 8-15
// (odd pixels) of a 128-bit lane.
#pragma once

#include <cstdint>

#include "grab_yuv.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

constexpr int _kxYuvSetByte(int pixel) { return pixel % 2 ? 8 + pixel / 2 : pixel / 2; }

// Byte shuffles that interleave the red, green and blue bytes of sixteen
// pixels into 48 bytes: mask[part][channel] picks, for byte j of output part
// `part`, the channel's byte of pixel (16 part + j) / 3 when that position
// holds this channel, else nothing (-128). Both 128-bit lanes hold the same
// shuffle, each for sixteen pixels of its own.
struct KxYuvInterleaveMasks {
    alignas(32) int8_t mask[3][3][32];
};

constexpr KxYuvInterleaveMasks _kxYuvMakeInterleaveMasks()
{
    KxYuvInterleaveMasks m{};
    for (int part = 0; part < 3; ++part)
        for (int channel = 0; channel < 3; ++channel)
            for (int j = 0; j < 32; ++j) {
                const int position = 16 * part + j % 16;
                m.mask[part][channel][j] =
                    static_cast<int8_t>(position % 3 == channel ? _kxYuvSetByte(position / 3) : -128);
            }
    return m;
}

inline constexpr KxYuvInterleaveMasks kKxYuvInterleave = _kxYuvMakeInterleaveMasks();

#if defined(__x86_64__) || defined(__i386__)
// The channel bytes of sixteen pixels per 128-bit lane written as 48
// interleaved 16-bit samples each: the low lane's at `low`, the high lane's
// at `high` (dropped when null).
__attribute__((target("avx2"), always_inline)) inline void _kxYuvStoreInterleaved(const __m256i channel[3],
                                                                                uint16_t *low, uint16_t *high)
{
    KX_UNROLL
    for (int part = 0; part < 3; ++part) {
        __m256i bytes = _mm256_setzero_si256();
        KX_UNROLL
        for (int ch = 0; ch < 3; ++ch) {
            const __m256i mask =
                _mm256_load_si256(reinterpret_cast<const __m256i *>(kKxYuvInterleave.mask[part][ch]));
            bytes = _mm256_or_si256(bytes, _mm256_shuffle_epi8(channel[ch], mask));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(low + 16 * part),
                            _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
        if (high)
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(high + 16 * part),
                                _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
    }
}
#endif
