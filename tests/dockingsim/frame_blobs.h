// Test helper: bright regions of a rendered luma plane, found the way the
// vision program finds them (threshold, 8-connected regions, integer
// centroids), without depending on the vision program.
#pragma once

#include <vector>

#include "camera/camera_render.h"

namespace dockingtest {

struct Blob {
    int pixels = 0;
    double row = 0.0; // mean row
    double col = 0.0; // mean column
};

// The vision program keeps pixels whose RGB mean is above 15; for grey
// pixels, after the grabber's video-range conversion, that is luma 30 and up.
constexpr int kVisionLumaThreshold = 29;

// Regions of luma above `threshold` with at least `minPixels` pixels, in the
// raster order of their first pixel.
std::vector<Blob> findBlobs(const dockworld::YuvFrame &frame, int threshold = kVisionLumaThreshold,
                            int minPixels = 6);

} // namespace dockingtest
