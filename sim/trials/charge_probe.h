// Asks the simulated robot whether it is charging, the way any client would:
// connect, take one status packet, read its charger bit, charge-state byte
// and battery voltage, close again. Used after a docking run, when the
// controller has disconnected.
#pragma once

namespace dockworld {

struct ChargeReport {
    bool answered = false;         // a status packet arrived
    bool chargerPowerGood = false; // status flags bit 10
    int chargeState = -1;          // 0 not, 1 bulk, 2 overcharge, 3 float, 4 balance; -1 not sent
    double volts = 0.0;
};

// Talks to the robot on 127.0.0.1:`port` for at most `timeoutSeconds`.
ChargeReport probeCharge(int port, double timeoutSeconds = 3.0);

// "bulk", "float", ... for a charge-state byte.
const char *chargeStateName(int state);

} // namespace dockworld
