// Made-up 640 x 480 camera frames in the grabber's planar YUV 4:2:0 layout,
// shared by the vision-loop benchmarks: dark, the station's six markers, the
// markers among 200 small reflections, and half of all pixels bright.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace benchframes {

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kLumaBytes = size_t(kWidth) * kHeight;
constexpr size_t kFrameBytes = kLumaBytes * 3 / 2;

enum Kind { kDark, kSixMarkers, kSixMarkersAndNoise, kHalfBright, kKinds };
extern const char *const kKindNames[kKinds];

// Where the six markers are drawn (row, column), in the report's order:
// upper-left, upper-right, middle-left, middle-right, lower-left, lower-right.
extern const int kStation[6][2];

// Chroma stays neutral (128): the markers are white lights. Each kind has a
// fixed seed, so every run sees the same frame.
std::vector<uint8_t> makeFrame(int kind);

// The YUV4MPEG2 stream header for these frames, with its line end.
std::string streamHeader();

} // namespace benchframes
