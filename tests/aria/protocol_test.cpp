// The robot protocol on raw bytes: framing, checksums, argument encodings,
// the robot's packets, and what the receiver does with broken input.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "protocol/Messages.h"
#include "protocol/P3dx.h"
#include "protocol/Packet.h"

using namespace robotproto;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// Feeds `bytes` and returns every packet found.
std::vector<Packet> receiveAll(PacketReceiver &rx, const Bytes &bytes,
                               Clock::time_point now = Clock::now())
{
    rx.feed(bytes.data(), bytes.size(), now);
    std::vector<Packet> out;
    Packet p;
    while (rx.next(p, now))
        out.push_back(p);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &b : parts)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

} // namespace

TEST(ProtocolBytes, CommandsWithArgumentsMatchTheCapturedBytes)
{
    EXPECT_EQ(commandIntPacket(ENABLE, 1), (Bytes{0xFA, 0xFB, 0x06, 0x04, 0x3B, 0x01, 0x00, 0x05, 0x3B}));
    EXPECT_EQ(commandIntPacket(HEAD, -60), (Bytes{0xFA, 0xFB, 0x06, 0x0C, 0x1B, 0x3C, 0x00, 0x48, 0x1B}));
    EXPECT_EQ(commandIntPacket(SETV, 2200), (Bytes{0xFA, 0xFB, 0x06, 0x06, 0x3B, 0x98, 0x08, 0x9E, 0x43}));
    // Sign and magnitude, not two's complement, down to the most negative short.
    Bytes most = commandIntPacket(VEL, -32768);
    EXPECT_EQ(most[4], 0x1B);
    EXPECT_EQ(most[5], 0x00);
    EXPECT_EQ(most[6], 0x80);
}

TEST(ProtocolBytes, CommandsWithoutArgumentXorTheOddByte)
{
    EXPECT_EQ(commandPacket(SYNC0), (Bytes{0xFA, 0xFB, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(commandPacket(SYNC1), (Bytes{0xFA, 0xFB, 0x03, 0x01, 0x00, 0x01}));
    EXPECT_EQ(commandPacket(SYNC2), (Bytes{0xFA, 0xFB, 0x03, 0x02, 0x00, 0x02}));
    EXPECT_EQ(commandPacket(SIM_RESET), (Bytes{0xFA, 0xFB, 0x03, 0xE1, 0x00, 0xE1}));
    // Three bytes: one pair plus the odd one XORed into the low byte.
    const uint8_t odd[] = {0x12, 0x34, 0xFF};
    EXPECT_EQ(checksum(odd, 3), 0x1234 ^ 0x00FF);
    // Sums wrap at 16 bits.
    const uint8_t wrap[] = {0xFF, 0xFF, 0x00, 0x02};
    EXPECT_EQ(checksum(wrap, 4), 0x0001);
}

TEST(ProtocolBytes, Sync2AnswerCarriesNameTypeAndSubtype)
{
    Bytes expected{0xFA, 0xFB, 0x18, 0x02, 0x46, 0x61, 0x6B, 0x65, 0x42, 0x6F, 0x74, 0x00,
                   0x50, 0x69, 0x6F, 0x6E, 0x65, 0x65, 0x72, 0x00, 0x70, 0x33, 0x64, 0x78,
                   0x00, 0x21, 0xD1};
    EXPECT_EQ(frame(sync2Reply("FakeBot", "Pioneer", "p3dx")), expected);
    PacketReceiver rx;
    std::vector<Packet> got = receiveAll(rx, expected);
    ASSERT_EQ(got.size(), 1u);
    PacketReader r(got[0]);
    EXPECT_EQ(r.str(), "FakeBot");
    EXPECT_EQ(r.str(), "Pioneer");
    EXPECT_EQ(r.str(), "p3dx");
    // Past the end: empty strings and zeros, not errors.
    EXPECT_EQ(r.str(), "");
    EXPECT_EQ(r.u16(), 0);
}

TEST(ProtocolBytes, StatusPacketFieldsSitAtTheirOffsets)
{
    StatusPacket s;
    s.id = kStatusMoving;
    s.x = 0x1234;
    s.y = 0x7FFF;
    s.th = -100;
    s.leftVel = 300;
    s.rightVel = -300;
    s.battery = 125;
    s.stallBumpers = kLeftStallBit | kRightStallBit;
    s.flags = kFlagMotorsEnabled;
    s.sonars = {{3, 1354}, {12, 5000}};
    Packet p = s.encode();
    ASSERT_EQ(p.data.size(), 19u + 2 * 3);
    EXPECT_EQ(p.id, 0x33);
    EXPECT_EQ(p.data[0], 0x34);
    EXPECT_EQ(p.data[1], 0x12);
    EXPECT_EQ(p.data[4], 0x9C); // -100 little-endian
    EXPECT_EQ(p.data[5], 0xFF);
    EXPECT_EQ(p.data[10], 125);
    EXPECT_EQ(p.data[11], 0x01); // left stall, low byte
    EXPECT_EQ(p.data[12], 0x01); // right stall, high byte
    EXPECT_EQ(p.data[15], 0x01); // motors enabled
    EXPECT_EQ(p.data[18], 2);    // sonar count
    EXPECT_EQ(p.data[19], 3);
    EXPECT_EQ(p.data[20] | (p.data[21] << 8), 1354);

    StatusPacket back = StatusPacket::decode(p);
    EXPECT_EQ(back.x, 0x1234);
    EXPECT_EQ(back.th, -100);
    EXPECT_EQ(back.rightVel, -300);
    ASSERT_EQ(back.sonars.size(), 2u);
    EXPECT_EQ(back.sonars[1].index, 12);
    EXPECT_FALSE(back.hasTail);
}

TEST(ProtocolBytes, ShortStatusPacketsReadMissingFieldsAsZero)
{
    Packet p{0x32, {0x10, 0x00, 0x20}};
    StatusPacket s = StatusPacket::decode(p);
    EXPECT_EQ(s.x, 0x10);
    EXPECT_EQ(s.y, 0x20);
    EXPECT_EQ(s.stallBumpers, 0);
    EXPECT_TRUE(s.sonars.empty());
    // A sonar count larger than the readings present stops at the data's end.
    StatusPacket full;
    Packet q = full.encode();
    q.data[18] = 50;
    q.data.push_back(1);
    q.data.push_back(0x10);
    q.data.push_back(0x00);
    EXPECT_EQ(StatusPacket::decode(q).sonars.size(), 1u);
}

TEST(ProtocolBytes, ConfigAndSimStatRoundTrip)
{
    ConfigPacket c;
    c.type = "Pioneer";
    c.subtype = "p3dx";
    c.transVelTop = 2200;
    c.transVelMax = 1500;
    c.rotVelMax = 100;
    c.transAccel = 300;
    c.transDecel = 250;
    c.firmwareVersion = "x";
    ConfigPacket d = ConfigPacket::decode(c.encode());
    EXPECT_EQ(d.subtype, "p3dx");
    EXPECT_EQ(d.transVelTop, 2200);
    EXPECT_EQ(d.transVelMax, 1500);
    EXPECT_EQ(d.rotVelMax, 100);
    EXPECT_EQ(d.transDecel, 250);
    EXPECT_EQ(d.firmwareVersion, "x");

    SimStatPacket s;
    s.x = -1234;
    s.y = 5678;
    s.th = -90;
    Packet p = s.encode();
    EXPECT_EQ(p.id, 0x62);
    // 2 ignored, flags 4, three intervals 6, then x.
    EXPECT_EQ(static_cast<int32_t>(p.data[12] | (p.data[13] << 8) | (p.data[14] << 16) |
                                   (static_cast<uint32_t>(p.data[15]) << 24)),
              -1234);
    SimStatPacket back = SimStatPacket::decode(p);
    EXPECT_EQ(back.y, 5678);
    EXPECT_EQ(back.th, -90);
}

TEST(PacketReceiver, FindsPacketsSplitAcrossReads)
{
    PacketReceiver rx;
    Bytes enable = commandIntPacket(ENABLE, 1);
    Bytes head = commandIntPacket(HEAD, -60);
    Bytes both = concat({enable, head});
    std::vector<Packet> got;
    for (uint8_t b : both) {
        std::vector<Packet> more = receiveAll(rx, Bytes{b});
        got.insert(got.end(), more.begin(), more.end());
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, ENABLE);
    EXPECT_EQ(PacketReader(got[1]).commandInt(), -60);
    EXPECT_EQ(rx.dropped(), 0u);
}

TEST(PacketReceiver, DropsBrokenPacketsAndKeepsTheGoodOnes)
{
    Bytes good = commandIntPacket(VEL, 250);
    Bytes badSum = commandIntPacket(ENABLE, 1);
    badSum.back() ^= 0x01;
    Bytes oversize{0xFA, 0xFB, 0xFF, 0x01, 0x02};
    Bytes tooShort{0xFA, 0xFB, 0x02, 0x00, 0x00};
    Bytes garbage{0x00, 0xFA, 0x13, 0xFB, 0xFA};
    PacketReceiver rx;
    std::vector<Packet> got =
        receiveAll(rx, concat({garbage, badSum, good, oversize, good, tooShort, garbage, good}));
    ASSERT_EQ(got.size(), 3u);
    for (const Packet &p : got) {
        EXPECT_EQ(p.id, VEL);
        EXPECT_EQ(PacketReader(p).commandInt(), 250);
    }
    EXPECT_GE(rx.dropped(), 3u);
}

TEST(PacketReceiver, AStalledPacketIsDroppedAfterItsTimeout)
{
    PacketReceiver rx;
    Bytes good = commandIntPacket(VEL, 100);
    auto t0 = Clock::now();
    // A header that promises 20 bytes and delivers 3.
    EXPECT_TRUE(receiveAll(rx, Bytes{0xFA, 0xFB, 20, 0x0B, 0x3B, 0x64}, t0).empty());
    // Within the timeout the rest could still come.
    Packet p;
    EXPECT_FALSE(rx.next(p, t0 + std::chrono::milliseconds(50)));
    // After it, the bytes are given up and a later packet is found.
    std::vector<Packet> got = receiveAll(rx, good, t0 + std::chrono::milliseconds(150));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(PacketReader(got[0]).commandInt(), 100);
    EXPECT_EQ(rx.dropped(), 1u);
}

TEST(PacketReceiver, LargestPacketPassesAndDataIsCappedWhenBuilding)
{
    PacketBuilder b(0x20);
    for (int i = 0; i < 250; ++i)
        b.u8(static_cast<uint8_t>(i));
    Bytes bytes = b.bytes();
    EXPECT_EQ(bytes.size(), 4u + kMaxData + 2);
    EXPECT_EQ(bytes[2], kMaxCount);
    PacketReceiver rx;
    std::vector<Packet> got = receiveAll(rx, bytes);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].data.size(), kMaxData);
}
