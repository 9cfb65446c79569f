#include "Packet.h"

#include <algorithm>

namespace robotproto {

uint16_t checksum(const uint8_t *bytes, size_t length)
{
    uint16_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum = static_cast<uint16_t>(sum + ((bytes[i] << 8) | bytes[i + 1]));
    if (length & 1)
        sum ^= bytes[length - 1];
    return sum;
}

PacketBuilder &PacketBuilder::u8(uint8_t v)
{
    if (data_.size() < kMaxData)
        data_.push_back(v);
    return *this;
}

PacketBuilder &PacketBuilder::u16(uint16_t v)
{
    return u8(v & 0xFF).u8(v >> 8);
}

PacketBuilder &PacketBuilder::u32(uint32_t v)
{
    return u16(v & 0xFFFF).u16(v >> 16);
}

PacketBuilder &PacketBuilder::str(const std::string &s)
{
    for (char c : s)
        u8(static_cast<uint8_t>(c));
    return u8(0);
}

std::vector<uint8_t> PacketBuilder::bytes() const
{
    std::vector<uint8_t> out;
    out.reserve(data_.size() + 6);
    out.push_back(kHeader0);
    out.push_back(kHeader1);
    out.push_back(static_cast<uint8_t>(data_.size() + 3));
    out.push_back(id_);
    out.insert(out.end(), data_.begin(), data_.end());
    uint16_t sum = checksum(out.data() + 3, data_.size() + 1);
    out.push_back(sum >> 8);
    out.push_back(sum & 0xFF);
    return out;
}

std::vector<uint8_t> commandPacket(uint8_t command)
{
    return PacketBuilder(command).bytes();
}

std::vector<uint8_t> commandIntPacket(uint8_t command, int16_t argument)
{
    PacketBuilder b(command);
    int value = argument;
    if (value >= 0)
        b.u8(kArgPositive).u16(static_cast<uint16_t>(value));
    else
        b.u8(kArgNegative).u16(static_cast<uint16_t>(-value));
    return b.bytes();
}

uint8_t PacketReader::u8()
{
    return pos_ < data_.size() ? data_[pos_++] : 0;
}

uint16_t PacketReader::u16()
{
    uint16_t lo = u8();
    uint16_t hi = u8();
    return static_cast<uint16_t>(lo | (hi << 8));
}

uint32_t PacketReader::u32()
{
    uint32_t lo = u16();
    uint32_t hi = u16();
    return lo | (hi << 16);
}

std::string PacketReader::str()
{
    std::string s;
    while (pos_ < data_.size()) {
        char c = static_cast<char>(data_[pos_++]);
        if (c == '\0')
            break;
        s.push_back(c);
    }
    return s;
}

int PacketReader::commandInt()
{
    uint8_t marker = u8();
    int magnitude = u16();
    return marker == kArgNegative ? -magnitude : magnitude;
}

void PacketReceiver::feed(const uint8_t *bytes, size_t length, Clock::time_point now)
{
    (void)now;
    // Compact before growing so the buffer stays small on a long stream.
    if (start_ > 0 && start_ >= buf_.size() / 2) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buf_.insert(buf_.end(), bytes, bytes + length);
}

void PacketReceiver::discardFront(size_t n)
{
    start_ = std::min(buf_.size(), start_ + n);
    partial_ = false;
}

bool PacketReceiver::next(Packet &out, Clock::time_point now)
{
    for (;;) {
        // Hunt for FA FB.
        size_t avail = buf_.size() - start_;
        const uint8_t *p = buf_.data() + start_;
        size_t skip = 0;
        while (skip < avail && !(p[skip] == kHeader0 && (skip + 1 == avail || p[skip + 1] == kHeader1)))
            ++skip;
        if (skip > 0) {
            discardFront(skip);
            continue;
        }
        if (avail < 3) {
            if (avail > 0 && !partial_) {
                partial_ = true;
                partialSince_ = now;
            }
            if (partial_ && now - partialSince_ > kStallTimeout) {
                ++dropped_;
                discardFront(1);
                continue;
            }
            return false;
        }
        size_t count = p[2];
        if (count < 3 || count > kMaxCount) {
            ++dropped_;
            discardFront(1);
            continue;
        }
        if (avail < 3 + count) {
            if (!partial_) {
                partial_ = true;
                partialSince_ = now;
            } else if (now - partialSince_ > kStallTimeout) {
                ++dropped_;
                discardFront(1);
                continue;
            }
            return false;
        }
        size_t body = count - 2; // ID and data
        uint16_t want = static_cast<uint16_t>((p[3 + body] << 8) | p[3 + body + 1]);
        if (checksum(p + 3, body) != want) {
            ++dropped_;
            discardFront(1);
            continue;
        }
        out.id = p[3];
        out.data.assign(p + 4, p + 3 + body);
        discardFront(3 + count);
        return true;
    }
}

} // namespace robotproto
