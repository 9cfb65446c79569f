// The station's charger as the robot feels it: power on the contacts while
// the robot sits on them, and a battery that charges in bulk, then floats.
#pragma once

#include "robot/Session.h"
#include "world/station.h"

namespace dockworld {

// Within the guide's rails, nose at the plate, squarely enough for the
// contacts to meet: within 3 cm sideways, 3 cm of the plate and 10 degrees.
bool onTheContacts(const Station::Offsets &offsets);

class Charger {
public:
    static constexpr double kStartVolts = 12.6;
    // Bulk charging ends at this voltage; the charger then floats.
    static constexpr double kBulkEndVolts = 14.2;
    static constexpr double kFloatVolts = 13.8;
    static constexpr double kBulkRate = 0.02;       // V/s while charging in bulk
    static constexpr double kDischargeRate = 0.0002; // V/s off the charger: hours of work
    static constexpr double kEmptyVolts = 12.0;

    // Advances the battery by `dt` seconds with the robot on or off the contacts.
    void update(bool onContacts, double dt);
    // What the robot reports: power good only on the contacts.
    robotsim::PowerState report() const;

private:
    bool onContacts_ = false;
    bool floating_ = false;
    double volts_ = kStartVolts;
};

} // namespace dockworld
