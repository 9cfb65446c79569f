// Packets of the robot protocol, shared by the client layer and the simulator.
//
// Frame: FA FB, count (bytes after it: ID + data + 2 checksum bytes), ID,
// data, checksum high byte first. The checksum sums ID and data as big-endian
// 16-bit pairs (16-bit wrap-around) and XORs a leftover odd byte into the low
// byte. Multi-byte values inside robot packets are little-endian.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace robotproto {

constexpr uint8_t kHeader0 = 0xFA;
constexpr uint8_t kHeader1 = 0xFB;
// At most 200 data bytes: count = 1 (ID) + 200 + 2 (checksum).
constexpr size_t kMaxData = 200;
constexpr size_t kMaxCount = 1 + kMaxData + 2;
// A packet that has not arrived whole within this time is dropped.
constexpr std::chrono::milliseconds kStallTimeout{100};

// Argument markers of client commands.
constexpr uint8_t kArgPositive = 0x3B;
constexpr uint8_t kArgNegative = 0x1B;
constexpr uint8_t kArgString = 0x2B;

uint16_t checksum(const uint8_t *bytes, size_t length);

struct Packet {
    uint8_t id = 0;
    std::vector<uint8_t> data;
};

// Builds one packet; data beyond kMaxData bytes is not added.
class PacketBuilder {
public:
    explicit PacketBuilder(uint8_t id) : id_(id) {}
    PacketBuilder &u8(uint8_t v);
    PacketBuilder &s8(int8_t v) { return u8(static_cast<uint8_t>(v)); }
    PacketBuilder &u16(uint16_t v);
    PacketBuilder &s16(int16_t v) { return u16(static_cast<uint16_t>(v)); }
    PacketBuilder &u32(uint32_t v);
    PacketBuilder &s32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    // The characters and a terminating NUL.
    PacketBuilder &str(const std::string &s);
    // The framed bytes, header and checksum included.
    std::vector<uint8_t> bytes() const;

private:
    uint8_t id_;
    std::vector<uint8_t> data_;
};

// A command without argument: FA FB 03 id 00 id.
std::vector<uint8_t> commandPacket(uint8_t command);
// A command with an integer argument: 0x3B and the value, or 0x1B and the
// magnitude of a negative value (sign and magnitude), little-endian.
std::vector<uint8_t> commandIntPacket(uint8_t command, int16_t argument);

// Reads fields of a packet's data in order; past the end every read gives 0
// (or an empty string), as a robot's short packets require.
class PacketReader {
public:
    explicit PacketReader(const Packet &p) : data_(p.data) {}
    size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
    uint8_t u8();
    int8_t s8() { return static_cast<int8_t>(u8()); }
    uint16_t u16();
    int16_t s16() { return static_cast<int16_t>(u16()); }
    uint32_t u32();
    int32_t s32() { return static_cast<int32_t>(u32()); }
    std::string str();
    // The integer argument of a client command (0x3B/0x1B form), 0 when absent.
    int commandInt();

private:
    const std::vector<uint8_t> &data_;
    size_t pos_ = 0;
};

// Finds packets in a byte stream. Bytes before a header, packets with a
// count out of range or a bad checksum, and packets stalled for longer than
// kStallTimeout are dropped; the hunt for the next header starts one byte
// after the dropped header, so a good packet right behind garbage is found.
class PacketReceiver {
public:
    using Clock = std::chrono::steady_clock;

    void feed(const uint8_t *bytes, size_t length, Clock::time_point now);
    // Takes the next whole packet; false when none is complete.
    bool next(Packet &out, Clock::time_point now);
    // Packets dropped so far (bad count, bad checksum, stalled).
    size_t dropped() const { return dropped_; }

private:
    void discardFront(size_t n);

    std::vector<uint8_t> buf_;
    size_t start_ = 0;
    bool partial_ = false;
    Clock::time_point partialSince_{};
    size_t dropped_ = 0;
};

} // namespace robotproto
