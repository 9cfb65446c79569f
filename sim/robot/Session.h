// The robot's side of one client connection: the SYNC handshake, OPEN,
// CONFIG, motion commands, simulator commands and the status packets.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "robot/RobotModel.h"
#include "protocol/Packet.h"

namespace robotsim {

// What the robot reports of its power: the charger contact (status flags
// bit 10), the charge-state byte (0 not charging, 1 bulk, 3 float) and the
// battery voltage.
struct PowerState {
    bool chargerPowerGood = false;
    int chargeState = 0;
    double volts = 13.0;
};

class Session {
public:
    using Log = std::function<void(const std::string &)>;

    // `start` is where SIM_RESET puts the robot back.
    Session(RobotModel &robot, const Pose &start, Log log);

    // Handles one client packet; replies are appended to `out`.
    void handle(const robotproto::Packet &packet, std::vector<uint8_t> &out);
    // Called every 100 ms: after OPEN appends a status packet (and a
    // simulator status packet when they were asked for continuously).
    void tick(std::vector<uint8_t> &out);

    // After command 230 with 1 (until 230 with 0): the simulated laser's
    // scan of this moment, for the server to send apart from the status
    // packet (see Server).
    void laserScan(std::vector<uint8_t> &out);

    // The power reported from the next status packet on.
    void setPower(const PowerState &power) { power_ = power; }

    bool opened() const { return opened_; }
    // True after CLOSE: the connection is to be ended.
    bool closed() const { return closed_; }

private:
    void command(uint8_t id, const robotproto::Packet &packet, std::vector<uint8_t> &out);
    void appendSimStat(std::vector<uint8_t> &out);

    RobotModel &robot_;
    Pose start_;
    Log log_;
    bool opened_ = false;
    bool closed_ = false;
    bool simStatContinuous_ = false;
    bool batteryContinuous_ = false;
    uint8_t laserScanId_ = 0; // scans sent each cycle, 0 when the laser is off
    bool simLaserOn_ = false;  // command 230: the simulated laser's scans each cycle
    PowerState power_;
    std::set<int> loggedUnknown_;
};

} // namespace robotsim
