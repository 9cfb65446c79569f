// Vector runs of the RGB threshold; not part of the public API.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes 255 for each of the first pixels of `rgb` whose channel sum is above
// `limit` (at most 65534), else 0, in whole steps of its own size; returns
// the number of pixels done, the caller does the rest.
using KxThresholdRun = size_t (*)(const uint16_t *rgb, uint16_t *out, size_t pixels, uint16_t limit);

// Null where the build has none; usable only where the processor has AVX2.
extern const KxThresholdRun _kxThresholdRunAvx2;
// Null where the build has none (every aarch64 build has it).
extern const KxThresholdRun _kxThresholdRunNeon;
