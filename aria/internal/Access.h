// Doors into the ARIA classes for the layer's own code; not for programs.
#pragma once

#include <cstdint>
#include <vector>

#include "Aria.h"
#include "RangeBuffers.h"
#include "RobotCore.h"

namespace ariacompat {

class RobotAccess {
public:
    static RobotCore &core(ArRobot *robot) { return *robot->myCore; }
    static const RobotCore &core(const ArRobot *robot) { return *robot->myCore; }
};

class RangeAccess {
public:
    static RangeBuffers &buffers(ArRangeDevice *device) { return *device->myBuffers; }
};

class PacketAccess {
public:
    // Makes `packet` hold a packet with this ID and data, read from the start.
    static void fill(ArRobotPacket &packet, uint8_t id, const std::vector<uint8_t> &data)
    {
        packet.myID = id;
        packet.myData = data;
        packet.resetRead();
    }
};

class KeyAccess {
public:
    // Reads the keys typed since the last call; true when Escape was among them.
    static bool escapePressed(ArKeyHandler *handler);
};

} // namespace ariacompat
