// The vision loop's threshold step.
#pragma once

#include <cstdint>

#include "kelvix.h"

// Same result, bit for bit, as kxRgb2Binary(pic, threshold, window, binPic),
// including the re-initialisation of binPic. When the window is the whole
// frame and the processor has SSSE3, eight pixels are done at a time (about
// 2.5 times faster on a 640 x 480 frame, where this step is the loop's
// largest own cost after the camera conversion); every other case is handed
// to kxRgb2Binary itself.
int32_t thresholdFrame(const kxImage *pic, int32_t threshold, const kxWindow *window, kxImage *binPic);
