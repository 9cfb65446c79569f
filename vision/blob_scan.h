// Sample searches of the labelling code, sixteen samples at a time. Most of a
// frame is background, so whole groups without a match are passed over with
// one vector comparison; the few groups with a match are looked at one
// sample at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace blobscan {

// Sixteen samples (two SSE registers on plain x86-64; the compiler lowers
// the same code to whatever the target has).
typedef uint16_t Group __attribute__((vector_size(32)));
typedef uint64_t GroupBits __attribute__((vector_size(32)));
constexpr ptrdiff_t kGroup = 16;

inline bool groupHas(const uint16_t *samples, uint16_t value)
{
    Group group;
    memcpy(&group, samples, sizeof group);
    Group equal = reinterpret_cast<Group>(group == value);
    GroupBits bits = reinterpret_cast<GroupBits>(equal);
    return (bits[0] | bits[1] | bits[2] | bits[3]) != 0;
}

} // namespace blobscan

// Index of the first sample equal to `value` in data[from .. end), or end.
inline int64_t findSample(const uint16_t *data, int64_t from, int64_t end, uint16_t value)
{
    int64_t i = from;
    for (; i + blobscan::kGroup <= end; i += blobscan::kGroup)
        if (blobscan::groupHas(data + i, value)) break;
    for (; i < end; ++i)
        if (data[i] == value) return i;
    return end;
}

// How many of a row's samples equal a label, and the sum of their columns.
struct RowMatches {
    int64_t count;
    int64_t columnSum;
};

inline RowMatches matchRow(const uint16_t *row, int64_t width, uint16_t label)
{
    RowMatches found{0, 0};
    int64_t c = 0;
    for (; c + blobscan::kGroup <= width; c += blobscan::kGroup) {
        if (!blobscan::groupHas(row + c, label)) continue;
        for (int64_t k = c; k < c + blobscan::kGroup; ++k) {
            if (row[k] != label) continue;
            ++found.count;
            found.columnSum += k;
        }
    }
    for (; c < width; ++c) {
        if (row[c] != label) continue;
        ++found.count;
        found.columnSum += c;
    }
    return found;
}
