// Sample searches of the labelling code. Most of a frame is background, so
// samples are compared sixteen at a time and only the positions of matches
// are looked at one by one (SSE2, part of every x86-64; plain loops
// elsewhere give the same results).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace blobscan {

constexpr int64_t kGroup = 16;

// Bit k set when samples[k] == value, k = 0..15.
inline uint32_t equalBits(const uint16_t *samples, uint16_t value)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(value));
    __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(samples)), wanted);
    __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(samples + 8)), wanted);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
#else
    uint32_t bits = 0;
    for (int k = 0; k < kGroup; ++k) bits |= uint32_t(samples[k] == value) << k;
    return bits;
#endif
}

inline int lowestBit(uint32_t bits) { return __builtin_ctz(bits); }

// Writes `value` into those of samples[0..7] whose bit is set in `selected`
// (bit k for sample k); the others keep their values.
inline void writeSelected(uint16_t *samples, unsigned selected, uint16_t value)
{
#if defined(__SSE2__)
    const __m128i lanes = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
    const __m128i mask = _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<short>(selected)), lanes), lanes);
    __m128i *group = reinterpret_cast<__m128i *>(samples);
    const __m128i old = _mm_loadu_si128(group);
    _mm_storeu_si128(group, _mm_or_si128(_mm_and_si128(mask, _mm_set1_epi16(static_cast<short>(value))),
                                         _mm_andnot_si128(mask, old)));
#else
    for (int k = 0; k < 8; ++k)
        if (selected >> k & 1) samples[k] = value;
#endif
}

} // namespace blobscan

// Index of the first sample equal to `value` in data[from .. end), or end.
inline int64_t findSample(const uint16_t *data, int64_t from, int64_t end, uint16_t value)
{
    int64_t i = from;
    for (; i + blobscan::kGroup <= end; i += blobscan::kGroup) {
        uint32_t bits = blobscan::equalBits(data + i, value);
        if (bits) return i + blobscan::lowestBit(bits);
    }
    for (; i < end; ++i)
        if (data[i] == value) return i;
    return end;
}

// How many of a row's samples equal a label, and the sum of their columns.
struct RowMatches {
    int64_t count;
    int64_t columnSum;
};

inline RowMatches matchRowPlain(const uint16_t *row, int64_t from, int64_t width, uint16_t label,
                                RowMatches found)
{
    for (int64_t c = from; c < width; ++c) {
        bool equal = row[c] == label;
        found.count += equal;
        found.columnSum += equal ? c : 0;
    }
    return found;
}

inline RowMatches matchRow(const uint16_t *row, int64_t width, uint16_t label)
{
#if defined(__SSE2__)
    // Column numbers ride in signed 16-bit lanes, so rows up to 32768 wide.
    if (width <= 32768) {
        const __m128i wanted = _mm_set1_epi16(static_cast<short>(label));
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i step = _mm_set1_epi16(8);
        __m128i columns = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
        __m128i counts = _mm_setzero_si128();  // minus the matches, per lane
        __m128i sums = _mm_setzero_si128();    // column sums, four 32-bit lanes
        int64_t c = 0;
        for (; c + 8 <= width; c += 8) {
            __m128i equal = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + c)), wanted);
            counts = _mm_add_epi16(counts, equal);
            sums = _mm_add_epi32(sums, _mm_madd_epi16(_mm_and_si128(equal, columns), ones));
            columns = _mm_add_epi16(columns, step);
        }
        alignas(16) int16_t countLanes[8];
        alignas(16) int32_t sumLanes[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(countLanes), counts);
        _mm_store_si128(reinterpret_cast<__m128i *>(sumLanes), sums);
        RowMatches found{0, 0};
        for (int16_t lane : countLanes) found.count -= lane;
        for (int32_t lane : sumLanes) found.columnSum += lane;
        return matchRowPlain(row, c, width, label, found);
    }
#endif
    return matchRowPlain(row, 0, width, label, RowMatches{0, 0});
}
