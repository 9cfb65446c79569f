#include "Messages.h"

namespace robotproto {

std::vector<uint8_t> frame(const Packet &p)
{
    PacketBuilder b(p.id);
    for (uint8_t v : p.data)
        b.u8(v);
    return b.bytes();
}

namespace {

Packet toPacket(uint8_t id, const std::vector<uint8_t> &framed)
{
    Packet p;
    p.id = id;
    // Framed: FA FB count id data... checksum(2)
    p.data.assign(framed.begin() + 4, framed.end() - 2);
    return p;
}

} // namespace

Packet StatusPacket::encode() const
{
    PacketBuilder b(id);
    b.u16(x & 0x7FFF).u16(y & 0x7FFF).s16(th).s16(leftVel).s16(rightVel).u8(battery);
    b.u16(stallBumpers).s16(control).u16(flags).u8(compass);
    // 19 bytes so far; each reading takes 3, and the data stays within 200.
    size_t room = (kMaxData - 19 - (hasTail ? 14 : 0)) / 3;
    size_t n = sonars.size() < room ? sonars.size() : room;
    b.s8(static_cast<int8_t>(n));
    for (size_t i = 0; i < n; ++i)
        b.s8(static_cast<int8_t>(sonars[i].index)).u16(static_cast<uint16_t>(sonars[i].range));
    if (hasTail) {
        b.u8(0).u8(0).u8(0).u8(0).u8(0); // gripper, analog port, analog, digin, digout
        b.u16(batteryTenths).s8(chargeState).s16(rotVelTenths).u16(faultFlags);
    }
    return toPacket(id, b.bytes());
}

StatusPacket StatusPacket::decode(const Packet &p)
{
    StatusPacket s;
    PacketReader r(p);
    s.id = p.id;
    s.x = r.u16() & 0x7FFF;
    s.y = r.u16() & 0x7FFF;
    s.th = r.s16();
    s.leftVel = r.s16();
    s.rightVel = r.s16();
    s.battery = r.u8();
    s.stallBumpers = r.u16();
    s.control = r.s16();
    s.flags = r.u16();
    s.compass = r.u8();
    int n = r.s8();
    for (int i = 0; i < n && r.remaining() >= 3; ++i) {
        SonarReading reading;
        reading.index = r.s8();
        reading.range = r.u16();
        s.sonars.push_back(reading);
    }
    // The tail is read item by item while bytes remain.
    if (r.remaining() >= 5) {
        for (int i = 0; i < 5; ++i)
            r.u8();
        if (r.remaining() >= 2) {
            s.hasTail = true;
            s.batteryTenths = r.u16();
        }
        if (r.remaining() >= 1) {
            s.chargeState = r.s8();
            s.hasChargeState = true;
        }
        if (r.remaining() >= 2)
            s.rotVelTenths = r.s16();
        if (r.remaining() >= 2)
            s.faultFlags = r.u16();
    }
    return s;
}

Packet ConfigPacket::encode() const
{
    PacketBuilder b(kConfigPacket);
    b.str(type).str(subtype).str(serial).u8(0);
    b.u16(rotVelTop).u16(transVelTop).u16(rotAccelTop).u16(transAccelTop).u16(pwmMax);
    b.str(name).u8(sipCycleTime).u8(0).u8(0);
    b.u16(0).u16(frontSonar).u8(rearSonar);
    b.u16(0).u16(0).u16(watchdog);
    b.u8(0);
    b.u16(0).u16(0).u16(0).u16(0); // StallVal, StallCount, JoyVel, JoyRotVel
    b.u16(rotVelMax).u16(transVelMax).u16(rotAccel).u16(rotDecel);
    b.u16(0).u16(0).u16(0); // RotKP, RotKV, RotKI
    b.u16(transAccel).u16(transDecel);
    b.u16(0).u16(0).u16(0); // TransKP, TransKV, TransKI
    b.u8(0).u8(0).u8(0).u8(0).u8(0).u8(0); // bumpers, charger, sonar cycle, reset baud, gyro
    b.s16(0);                              // drift factor
    b.u8(0).u8(0);                         // aux baud rates
    b.u16(ticksMM).u16(0);
    b.str(firmwareVersion);
    return toPacket(kConfigPacket, b.bytes());
}

ConfigPacket ConfigPacket::decode(const Packet &p)
{
    ConfigPacket c;
    PacketReader r(p);
    c.type = r.str();
    c.subtype = r.str();
    c.serial = r.str();
    r.u8();
    c.rotVelTop = r.u16();
    c.transVelTop = r.u16();
    c.rotAccelTop = r.u16();
    c.transAccelTop = r.u16();
    c.pwmMax = r.u16();
    c.name = r.str();
    c.sipCycleTime = r.u8();
    r.u8();
    r.u8();
    r.u16();
    c.frontSonar = r.u16();
    c.rearSonar = r.u8();
    r.u16();
    r.u16();
    c.watchdog = r.u16();
    r.u8();
    for (int i = 0; i < 4; ++i)
        r.u16();
    c.rotVelMax = r.u16();
    c.transVelMax = r.u16();
    c.rotAccel = r.u16();
    c.rotDecel = r.u16();
    for (int i = 0; i < 3; ++i)
        r.u16();
    c.transAccel = r.u16();
    c.transDecel = r.u16();
    for (int i = 0; i < 3; ++i)
        r.u16();
    for (int i = 0; i < 6; ++i)
        r.u8();
    r.s16();
    r.u8();
    r.u8();
    c.ticksMM = r.u16();
    r.u16();
    c.firmwareVersion = r.str();
    return c;
}

Packet SimStatPacket::encode() const
{
    PacketBuilder b(kSimStatPacket);
    b.u8(0).u8(0).u32(flags).u16(simInterval).u16(realInterval).u16(lastInterval);
    b.s32(x).s32(y).s32(z).s32(th).s32(latitude).s32(longitude).s32(altitude).s8(dop);
    return toPacket(kSimStatPacket, b.bytes());
}

SimStatPacket SimStatPacket::decode(const Packet &p)
{
    SimStatPacket s;
    PacketReader r(p);
    r.u16();
    s.flags = r.u32();
    s.simInterval = r.u16();
    s.realInterval = r.u16();
    s.lastInterval = r.u16();
    s.x = r.s32();
    s.y = r.s32();
    s.z = r.s32();
    s.th = r.s32();
    s.latitude = r.s32();
    s.longitude = r.s32();
    s.altitude = r.s32();
    s.dop = r.s8();
    return s;
}

Packet sync2Reply(const std::string &name, const std::string &type, const std::string &subtype)
{
    PacketBuilder b(2);
    b.str(name).str(type).str(subtype);
    return toPacket(2, b.bytes());
}

} // namespace robotproto
