// The simulator's laser, as a peer simulator emulates one for ARIA: after
// command 230 with 1 the robot sends, with every status packet, the scan of
// a 180-degree laser in packets with ID 0x60, until 230 with 0.
#pragma once

#include <cstdint>
#include <vector>

#include "robot/RobotModel.h"

namespace robotsim {

// Command 230 (SIM_LRF_ENABLE): 1 starts the scans, 0 stops them.
constexpr uint8_t kSimLaserScan = 0x60;
// One reading per degree from -90 (right) to +90 (left) of the heading.
constexpr int kLaserReadings = 181;
// Mounted this far ahead of the robot's centre (mm), as on a p3dx.
constexpr double kLaserForward = 18;
// Nothing within this range (mm) reads as this range.
constexpr double kLaserMaxRange = 32000;

// Ranges (mm) from the laser to the world's walls and boxes, first reading
// at -90 degrees.
std::vector<int> laserRanges(const World &world, const Pose &truePose);

// The scan as packets 0x60: each holds the odometric pose (s16 mm, mm,
// degrees), the scan's reading count (s16), the index of its first reading
// (s16), its own reading count (u8) and that many u16 ranges, with at most
// 200 data bytes per packet. Appended framed to `out`.
void appendLaserScan(std::vector<uint8_t> &out, const std::vector<int> &ranges, const Pose &odometry);

} // namespace robotsim
