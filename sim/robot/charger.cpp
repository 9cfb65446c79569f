#include "robot/charger.h"

#include <algorithm>
#include <cmath>

namespace dockworld {

bool onTheContacts(const Station::Offsets &o)
{
    return std::fabs(o.lateral) <= 0.03 && o.gap <= 0.03 && std::fabs(o.heading) <= degToRad(10.0);
}

void Charger::update(bool onContacts, double dt)
{
    onContacts_ = onContacts;
    if (!onContacts) {
        floating_ = false;
        volts_ = std::max(kEmptyVolts, std::min(volts_, kFloatVolts) - kDischargeRate * dt);
        return;
    }
    if (!floating_) {
        volts_ += kBulkRate * dt;
        floating_ = volts_ >= kBulkEndVolts;
    } else {
        // Settles from the bulk end down to the float voltage.
        volts_ = std::max(kFloatVolts, volts_ - kBulkRate * dt);
    }
}

robotsim::PowerState Charger::report() const
{
    robotsim::PowerState p;
    p.chargerPowerGood = onContacts_;
    p.chargeState = !onContacts_ ? 0 : floating_ ? 3 : 1;
    p.volts = volts_;
    return p;
}

} // namespace dockworld
