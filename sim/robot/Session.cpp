#include "robot/Session.h"

#include <algorithm>
#include <cmath>

#include "protocol/Messages.h"
#include "protocol/P3dx.h"
#include "robot/sim_laser.h"

namespace robotsim {

using namespace robotproto;

namespace {

const char *kName = "robotsim";
const char *kType = "Pioneer";
const char *kSubtype = "p3dx";

void append(std::vector<uint8_t> &out, const Packet &p)
{
    std::vector<uint8_t> bytes = frame(p);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Set-up commands of ARIA's simulated laser, and its scan packets.
const uint8_t kLaserEnable = 35; // 0 off, 1 on (0x60 scans), 2 on (extended 0x61 scans)
const uint8_t kLaserStartAngle = 36;
const uint8_t kLaserEndAngle = 37;
const uint8_t kLaserIncrement = 38;
const uint8_t kLaserScan = 0x60;
const uint8_t kLaserScanExtended = 0x61;
// The answer to BATTERYINFO.
const uint8_t kBatteryInfo = 0xFA;

void appendBytes(std::vector<uint8_t> &out, const std::vector<uint8_t> &bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The robot has no laser: each scan holds no readings (total 0, first 0,
// none here), which tells a client's laser at once that it sees nothing
// instead of leaving it to wait for data. The plain form leads with the
// odometric pose (mm, mm, degrees).
std::vector<uint8_t> emptyLaserScan(uint8_t id, const Pose &odometry)
{
    PacketBuilder b(id);
    if (id == kLaserScan)
        b.s16(static_cast<int16_t>(std::lround(odometry.x)))
            .s16(static_cast<int16_t>(std::lround(odometry.y)))
            .s16(static_cast<int16_t>(std::lround(odometry.th)));
    return b.s16(0).s16(0).u8(0).bytes();
}

// Battery information: no battery of this robot reports its own state
// (0 batteries, 0 bytes each).
std::vector<uint8_t> batteryInfo() { return PacketBuilder(kBatteryInfo).u8(0).u8(0).bytes(); }

ConfigPacket configFor(const MotionLimits &l)
{
    ConfigPacket c;
    c.type = kType;
    c.subtype = kSubtype;
    c.serial = "SIM";
    c.rotVelTop = static_cast<uint16_t>(l.rotVelTop);
    c.transVelTop = static_cast<uint16_t>(l.transVelTop);
    c.rotAccelTop = static_cast<uint16_t>(l.rotAccelTop);
    c.transAccelTop = static_cast<uint16_t>(l.transAccelTop);
    c.pwmMax = 500;
    c.name = kName;
    c.sipCycleTime = 100;
    c.frontSonar = 1;
    c.rearSonar = 1;
    c.watchdog = 2000;
    c.rotVelMax = static_cast<uint16_t>(l.rotVelMax);
    c.transVelMax = static_cast<uint16_t>(l.transVelMax);
    c.rotAccel = static_cast<uint16_t>(l.rotAccel);
    c.rotDecel = static_cast<uint16_t>(l.rotDecel);
    c.transAccel = static_cast<uint16_t>(l.transAccel);
    c.transDecel = static_cast<uint16_t>(l.transDecel);
    c.firmwareVersion = "robotsim-1";
    return c;
}

} // namespace

Session::Session(RobotModel &robot, const Pose &start, Log log)
    : robot_(robot), start_(start), log_(std::move(log))
{
}

void Session::handle(const Packet &packet, std::vector<uint8_t> &out)
{
    if (closed_)
        return;
    if (!opened_) {
        // Before OPEN the robot answers only the three SYNC steps.
        if (packet.id <= 2 && packet.data.empty()) {
            if (packet.id == 2)
                append(out, sync2Reply(kName, kType, kSubtype));
            else
                append(out, Packet{packet.id, {}});
            return;
        }
        if (packet.id == OPEN) {
            opened_ = true;
            log_("client opened the connection");
            return;
        }
    }
    command(packet.id, packet, out);
}

void Session::command(uint8_t id, const Packet &packet, std::vector<uint8_t> &out)
{
    PacketReader args(packet);
    switch (id) {
    case PULSE:
        break;
    case OPEN:
        break;
    case CLOSE:
        closed_ = true;
        robot_.setEnabled(false);
        log_("client closed the connection");
        break;
    case ENABLE:
        robot_.setEnabled(args.commandInt() != 0);
        log_(robot_.enabled() ? "motors enabled" : "motors disabled");
        break;
    case SETA:
        robot_.setTransAccel(args.commandInt());
        break;
    case SETV:
        robot_.setTransVelMax(args.commandInt());
        break;
    case SETO:
        log_("SETO is not simulated");
        break;
    case MOVE:
        robot_.moveBy(args.commandInt());
        break;
    case SETRV:
        robot_.setRotVelMax(args.commandInt());
        break;
    case VEL:
        robot_.setVelocity(args.commandInt());
        break;
    case HEAD:
        robot_.setHeading(args.commandInt());
        break;
    case CONFIG:
        append(out, configFor(robot_.limits()).encode());
        break;
    case RVEL:
        robot_.setRotVelocity(args.commandInt());
        break;
    case SETRA:
        robot_.setRotAccel(args.commandInt());
        break;
    case SONAR:
        robot_.setSonarEnabled(args.commandInt() != 0);
        break;
    case STOP:
        robot_.stop();
        break;
    case ESTOP:
        robot_.emergencyStop();
        break;
    case SOUNDTOG:
        break; // the simulated robot has no sound to toggle
    case SIM_SET_POSE: {
        args.u8(); // argument marker (0x00 or 0x2B)
        Pose p;
        p.x = args.s32();
        p.y = args.s32();
        p.th = args.s32();
        robot_.setTruePose(p);
        break;
    }
    case SIM_RESET:
        robot_.reset(start_);
        log_("robot reset to its start pose");
        break;
    case SIM_STAT:
        simStatContinuous_ = args.commandInt() == 2;
        appendSimStat(out);
        break;
    case BATTERYINFO: {
        // 0 stop, 1 once, 2 continuously (each status cycle).
        int how = args.commandInt();
        batteryContinuous_ = how == 2;
        if (how != 0)
            appendBytes(out, batteryInfo());
        break;
    }
    case kLaserEnable: {
        int how = args.commandInt();
        laserScanId_ = how == 0 ? 0 : how == 1 ? kLaserScan : kLaserScanExtended;
        if (laserScanId_ != 0)
            appendBytes(out, emptyLaserScan(laserScanId_, robot_.odometry()));
        break;
    }
    case SIM_LRF_ENABLE: {
        const bool on = args.commandInt() != 0;
        if (on != simLaserOn_)
            log_(on ? "laser scans on" : "laser scans off");
        simLaserOn_ = on;
        break;
    }
    case kLaserStartAngle:
    case kLaserEndAngle:
    case kLaserIncrement:
        break; // a laser that sees nothing has no field of view to set
    default:
        if (loggedUnknown_.insert(id).second)
            log_("ignoring command " + std::to_string(id));
        break;
    }
}

void Session::appendSimStat(std::vector<uint8_t> &out)
{
    SimStatPacket s;
    const Pose &p = robot_.truePose();
    s.x = static_cast<int32_t>(std::lround(p.x));
    s.y = static_cast<int32_t>(std::lround(p.y));
    s.th = static_cast<int32_t>(std::lround(p.th));
    append(out, s.encode());
}

void Session::laserScan(std::vector<uint8_t> &out)
{
    if (opened_ && !closed_ && simLaserOn_)
        appendLaserScan(out, laserRanges(robot_.world(), robot_.truePose()), robot_.odometry());
}

void Session::tick(std::vector<uint8_t> &out)
{
    if (!opened_ || closed_)
        return;
    StatusPacket s;
    const Pose &odo = robot_.odometry();
    bool moving = robot_.velocity() != 0 || robot_.rotVelocity() != 0;
    s.id = moving ? kStatusMoving : kStatusStopped;
    // Positions go out as 15-bit tick counters that wrap around.
    s.x = static_cast<uint16_t>(std::lround(odo.x / kDistConv)) & 0x7FFF;
    s.y = static_cast<uint16_t>(std::lround(odo.y / kDistConv)) & 0x7FFF;
    s.th = static_cast<int16_t>(std::lround(odo.th * M_PI / 180 / kAngleConv));
    double halfTrack = 1.0 / kDiffConv; // mm: ARIA's rotation from the wheel speeds
    double w = robot_.rotVelocity() * M_PI / 180;
    s.leftVel = static_cast<int16_t>(std::lround((robot_.velocity() - w * halfTrack) / kVelConv));
    s.rightVel = static_cast<int16_t>(std::lround((robot_.velocity() + w * halfTrack) / kVelConv));
    const int tenths = static_cast<int>(std::lround(power_.volts * 10));
    s.battery = static_cast<uint8_t>(std::max(0, std::min(255, tenths)));
    s.stallBumpers = robot_.stalled() ? (kLeftStallBit | kRightStallBit) : 0;
    s.control = s.th;
    s.flags = robot_.enabled() ? kFlagMotorsEnabled : 0;
    if (power_.chargerPowerGood)
        s.flags |= kFlagChargerPowerGood;
    if (robot_.sonarEnabled()) {
        std::array<int, 16> ranges = robot_.sonarRanges();
        for (int i = 0; i < kSonarCount; ++i)
            s.sonars.push_back({i, ranges[i]});
    }
    s.hasTail = true;
    s.batteryTenths = static_cast<uint16_t>(std::max(0, tenths));
    s.chargeState = static_cast<int8_t>(power_.chargeState);
    s.rotVelTenths = static_cast<int16_t>(std::lround(robot_.rotVelocity() * 10));
    append(out, s.encode());
    if (simStatContinuous_)
        appendSimStat(out);
    if (laserScanId_ != 0)
        appendBytes(out, emptyLaserScan(laserScanId_, odo));
    if (batteryContinuous_)
        appendBytes(out, batteryInfo());
}

} // namespace robotsim
