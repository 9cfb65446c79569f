// The robot's packets with structure: status (SIP), configuration, simulator
// status. Encoders are used by the simulator, decoders by the client layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "P3dx.h"
#include "Packet.h"

namespace robotproto {

struct SonarReading {
    int index = 0;
    int range = 0; // mm from the transducer
};

// The standard status packet, sent every 100 ms after OPEN.
struct StatusPacket {
    uint8_t id = 0x32;        // 0x32 or 0x33
    uint16_t x = 0;           // position ticks, 15 bits used
    uint16_t y = 0;
    int16_t th = 0;           // heading units
    int16_t leftVel = 0;      // mm/s
    int16_t rightVel = 0;
    uint8_t battery = 0;      // 0.1 V
    uint16_t stallBumpers = 0;
    int16_t control = 0;
    uint16_t flags = 0;
    uint8_t compass = 0;
    std::vector<SonarReading> sonars;
    // Optional tail; written (and read) only when hasTail.
    bool hasTail = false;
    uint16_t batteryTenths = 0;
    int8_t chargeState = 0;   // 0 not charging, 1 bulk, 2 overcharge, 3 float, 4 balance
    bool hasChargeState = false; // set by decode when the byte was present
    int16_t rotVelTenths = 0; // 0.1 deg/s
    uint16_t faultFlags = 0;

    Packet encode() const;
    // Missing fields read as zero; hasTail is set when the tail was present.
    static StatusPacket decode(const Packet &p);
};

// The configuration packet (ID 0x20), fields up to the firmware version.
struct ConfigPacket {
    std::string type, subtype, serial;
    uint16_t rotVelTop = 0, transVelTop = 0, rotAccelTop = 0, transAccelTop = 0, pwmMax = 0;
    std::string name;
    uint8_t sipCycleTime = 100;
    uint16_t frontSonar = 0;
    uint8_t rearSonar = 0;
    uint16_t watchdog = 0;
    uint16_t rotVelMax = 0, transVelMax = 0, rotAccel = 0, rotDecel = 0;
    uint16_t transAccel = 0, transDecel = 0;
    uint16_t ticksMM = 0;
    std::string firmwareVersion;

    Packet encode() const;
    static ConfigPacket decode(const Packet &p);
};

// The simulator status packet (ID 0x62) with the robot's true pose.
struct SimStatPacket {
    uint32_t flags = 0;
    uint16_t simInterval = 100, realInterval = 100, lastInterval = 100;
    int32_t x = 0, y = 0, z = 0, th = 0; // mm and degrees
    int32_t latitude = 0, longitude = 0, altitude = 0;
    int8_t dop = -1;

    Packet encode() const;
    static SimStatPacket decode(const Packet &p);
};

// The answer to SYNC2: name, type, subtype.
Packet sync2Reply(const std::string &name, const std::string &type, const std::string &subtype);

// Framed bytes of a packet.
std::vector<uint8_t> frame(const Packet &p);

} // namespace robotproto
