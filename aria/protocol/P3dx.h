// Facts about the Pioneer p3dx that both ends of the link must agree on:
// command numbers, packet types, conversion factors and the sonar ring.
#pragma once

#include <cmath>
#include <cstdint>

namespace robotproto {

// Client commands.
enum Command : uint8_t {
    PULSE = 0,
    SYNC0 = 0,
    SYNC1 = 1,
    SYNC2 = 2,
    OPEN = 1,
    CLOSE = 2,
    ENABLE = 4,
    SETA = 5,
    SETV = 6,
    SETO = 7,
    MOVE = 8,
    SETRV = 10,
    VEL = 11,
    HEAD = 12,
    CONFIG = 18,
    RVEL = 21,
    SETRA = 23,
    SONAR = 28,
    STOP = 29,
    ESTOP = 55,
    BATTERYINFO = 62,
    SOUNDTOG = 92,
    SIM_SET_POSE = 224,
    SIM_RESET = 225,
    SIM_LRF_ENABLE = 230,
    SIM_STAT = 237,
};

// Robot packet types.
constexpr uint8_t kConfigPacket = 0x20;
constexpr uint8_t kStatusStopped = 0x32;
constexpr uint8_t kStatusMoving = 0x33;
constexpr uint8_t kSimStatPacket = 0x62;

inline bool isStatusPacket(uint8_t id) { return (id & 0xF0) == 0x30; }

// Conversion factors of the p3dx.
constexpr double kDistConv = 0.485;   // mm per position tick
constexpr double kAngleConv = 0.00153; // radians per heading unit
constexpr double kVelConv = 1.0;      // mm/s per wheel velocity unit
constexpr double kRangeConv = 1.0;    // mm per sonar range unit
constexpr double kDiffConv = 0.0056;  // rad/s per mm/s of (right - left) / 2
constexpr double kRobotRadius = 250.0;
// Sonar ranges at or beyond this mean "no echo".
constexpr int kSonarNoEcho = 5000;

// Stall-and-bumpers word: bit 0 of the low byte is the left motor, bit 0 of
// the high byte the right motor.
constexpr uint16_t kLeftStallBit = 0x0001;
constexpr uint16_t kRightStallBit = 0x0100;
// Flags word: bit 0 motors enabled, bit 5 emergency stop.
constexpr uint16_t kFlagMotorsEnabled = 0x0001;
constexpr uint16_t kFlagEStop = 0x0020;
// Bit 10: the charger's power reaches the robot (it sits on the contacts).
constexpr uint16_t kFlagChargerPowerGood = 0x0400;

struct SonarUnit {
    double x, y, th; // mm, mm, degrees; +x forward, +y left
};

constexpr int kSonarCount = 16;
constexpr SonarUnit kSonars[kSonarCount] = {
    {69, 136, 90},     {114, 119, 50},    {148, 78, 30},     {166, 27, 10},
    {166, -27, -10},   {148, -78, -30},   {114, -119, -50},  {69, -136, -90},
    {-157, -136, -90}, {-203, -119, -130}, {-237, -78, -150}, {-255, -27, -170},
    {-255, 27, 170},   {-237, 78, 150},   {-203, 119, 130},  {-157, 136, 90},
};

// Headings travel in degrees; both ends keep them in (-180, 180].
inline double normalizeDegrees(double deg)
{
    deg = std::fmod(deg, 360.0);
    if (deg > 180)
        deg -= 360;
    else if (deg <= -180)
        deg += 360;
    return deg;
}

} // namespace robotproto
