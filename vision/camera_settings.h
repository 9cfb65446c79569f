// The camera settings of the vision program, shared with the tools that must
// see what it sees.
#pragma once

#include <cstdint>

// Camera settings for the station's lights: a short shutter and a low gain
// leave little but the markers above the brightness threshold.
constexpr int32_t kShutter = 38500;
constexpr int32_t kGain = 55;
// Frames thrown away while the camera settles on the new settings.
constexpr int kSettlingFrames = 20;
