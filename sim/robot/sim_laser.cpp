#include "robot/sim_laser.h"

#include <algorithm>
#include <cmath>

#include "protocol/Packet.h"

namespace robotsim {

namespace {

// 200 data bytes: 11 of pose and counts, then two per reading.
constexpr int kReadingsPerPacket = (200 - 11) / 2;

int16_t clampedS16(double value)
{
    return static_cast<int16_t>(std::lround(std::max(-32768.0, std::min(32767.0, value))));
}

} // namespace

std::vector<int> laserRanges(const World &world, const Pose &truePose)
{
    const double th = truePose.th * M_PI / 180;
    const Point origin{truePose.x + kLaserForward * std::cos(th), truePose.y + kLaserForward * std::sin(th)};
    std::vector<int> ranges(kLaserReadings);
    for (int i = 0; i < kLaserReadings; ++i) {
        double r = world.rayCast(origin, truePose.th - 90 + i, kLaserMaxRange);
        ranges[static_cast<size_t>(i)] = static_cast<int>(std::lround(std::min(r, kLaserMaxRange)));
    }
    return ranges;
}

void appendLaserScan(std::vector<uint8_t> &out, const std::vector<int> &ranges, const Pose &odometry)
{
    const int total = static_cast<int>(ranges.size());
    for (int first = 0; first < total; first += kReadingsPerPacket) {
        const int count = std::min(kReadingsPerPacket, total - first);
        robotproto::PacketBuilder b(kSimLaserScan);
        b.s16(clampedS16(odometry.x)).s16(clampedS16(odometry.y)).s16(clampedS16(odometry.th));
        b.s16(static_cast<int16_t>(total)).s16(static_cast<int16_t>(first)).u8(static_cast<uint8_t>(count));
        for (int i = first; i < first + count; ++i)
            b.u16(static_cast<uint16_t>(std::max(0, std::min(65535, ranges[static_cast<size_t>(i)]))));
        std::vector<uint8_t> bytes = b.bytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
}

} // namespace robotsim
