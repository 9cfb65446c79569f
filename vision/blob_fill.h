// The region fill behind kxFindBlob, 64 pixel indices at a time.
#pragma once

#include <cstdint>

// Labels with `label` every 255-sample connected to index `start` (itself a
// 255-sample) of a buffer of `pixels` samples, rows `width` long. Neighbours
// are found by index alone: i +- 1, i +- width and i +- width +- 1, kept
// inside 0 .. pixels-1. Stores the number of samples labelled in *labelled.
// Returns false when the work list could not grow; the region is then only
// partly labelled.
bool fillRegion(uint16_t *data, int64_t width, int64_t pixels, int64_t start, uint16_t label,
                int64_t *labelled);

// Frees the work list, which is otherwise kept for the next fill.
void releaseFillWorkList();
