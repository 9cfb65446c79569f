// The vision loop's seed search through a label image, copying the samples it
// passes on the way: a sample the search has passed is final (no later fill
// reaches back before its seed), so one pass gives the search and the copy.
#pragma once

#include <cstdint>

// Index of the first sample equal to `value` in data[from .. end), or end;
// data[from .. that index) is copied to copy[from ..] on the way.
int64_t findSampleCopying(const uint16_t *data, int64_t from, int64_t end, uint16_t value, uint16_t *copy);
