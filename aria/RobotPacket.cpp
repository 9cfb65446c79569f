// ArBasePacket and ArRobotPacket: the data of a robot packet, read in order.
#include "Aria.h"

#include <cstring>

ArBasePacket::ArBasePacket() : myReadPos(0), myIsValid(true) {}

ArBasePacket::~ArBasePacket() {}

bool ArBasePacket::take(unsigned char *into, size_t count)
{
  if (myData.size() - myReadPos < count)
  {
    // As ARIA: nothing is read, the value is 0 and the packet is spoilt.
    myIsValid = false;
    std::memset(into, 0, count);
    return false;
  }
  std::memcpy(into, myData.data() + myReadPos, count);
  myReadPos += count;
  return true;
}

namespace {

// Little-endian value of `size` bytes.
template <typename T>
T littleEndian(const unsigned char *bytes, size_t size)
{
  unsigned long long v = 0;
  for (size_t i = size; i-- > 0;)
    v = (v << 8) | bytes[i];
  return static_cast<T>(v);
}

} // namespace

ArTypes::Byte ArBasePacket::bufToByte(void)
{
  unsigned char b[1];
  take(b, 1);
  return static_cast<ArTypes::Byte>(b[0]);
}

ArTypes::Byte2 ArBasePacket::bufToByte2(void)
{
  unsigned char b[2];
  take(b, 2);
  return littleEndian<ArTypes::Byte2>(b, 2);
}

ArTypes::Byte4 ArBasePacket::bufToByte4(void)
{
  unsigned char b[4];
  take(b, 4);
  return littleEndian<ArTypes::Byte4>(b, 4);
}

ArTypes::UByte ArBasePacket::bufToUByte(void)
{
  unsigned char b[1];
  take(b, 1);
  return b[0];
}

ArTypes::UByte2 ArBasePacket::bufToUByte2(void)
{
  unsigned char b[2];
  take(b, 2);
  return littleEndian<ArTypes::UByte2>(b, 2);
}

ArTypes::UByte4 ArBasePacket::bufToUByte4(void)
{
  unsigned char b[4];
  take(b, 4);
  return littleEndian<ArTypes::UByte4>(b, 4);
}

void ArBasePacket::resetRead(void)
{
  myReadPos = 0;
  myIsValid = true;
}

ArTypes::UByte2 ArBasePacket::getDataLength(void) const
{
  return static_cast<ArTypes::UByte2>(myData.size());
}

ArTypes::UByte2 ArBasePacket::getDataReadLength(void) const
{
  return static_cast<ArTypes::UByte2>(myReadPos);
}

bool ArBasePacket::isValid(void) { return myIsValid; }

// The sync bytes are those of every robot packet; ARIA takes them for
// packets it frames itself.
ArRobotPacket::ArRobotPacket(unsigned char, unsigned char) : myID(0) {}

ArRobotPacket::~ArRobotPacket() {}

ArTypes::UByte ArRobotPacket::getID(void) { return myID; }
