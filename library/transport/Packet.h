// Layout of a packet: head marker, ASCII header, body, CRC-32 check code, tail marker.
#pragma once

#include <cstddef>

#include "common/BufView.h"

namespace packet {

constexpr unsigned char kHead[3] = {0xFF, 0xFE, 0xFD};
constexpr unsigned char kTail[3] = {0xFD, 0xFE, 0xFF};
constexpr std::size_t kMarkerSize = 3;

constexpr std::size_t kLengthOffset = 3;     // packet length, "%08d"
constexpr std::size_t kTimeOffset = 11;      // send time, 15 characters
constexpr std::size_t kFixedOffset = 26;     // "01"
constexpr std::size_t kCmdIdOffset = 28;     // command id, 5 characters
constexpr std::size_t kSerialOffset = 33;    // serial number, "%08d"
constexpr std::size_t kBodyLenOffset = 41;   // body length, "%08d"
constexpr std::size_t kHeaderSize = 49;      // the body starts here
constexpr std::size_t kFieldWidth = 8;       // width of the numeric fields and the check code
constexpr std::size_t kTimeWidth = 15;
constexpr std::size_t kCmdIdWidth = 5;
constexpr std::size_t kCheckCodeSize = 8;
constexpr std::size_t kOverhead = 60;        // header, check code and tail marker
constexpr std::size_t kChecksumStart = kTimeOffset;
// Bytes of a packet outside the checksummed range: head marker, length field, check code, tail.
constexpr std::size_t kUnchecksummed = 22;
// Distance of the check code from the end of the packet: itself and the tail marker.
constexpr std::size_t kCheckCodeFromEnd = 11;
constexpr char kFixedField[] = "01";
// Largest packet whose length still fits the 8-digit length field.
constexpr long long kMaxPacketSize = 99999999;

// Offsets inside the message part (command id to end of body) handed to the protocol layer.
constexpr std::size_t kMessageSerialOffset = 5;
constexpr std::size_t kMessageBodyLenOffset = 13;
constexpr std::size_t kMessageBodyOffset = 21;
// The packet bytes before the message part plus the check code and tail after it.
constexpr std::size_t kMessageOverhead = 39;

// True when a body of this many bytes makes a packet whose length fits the length field.
constexpr bool bodyFits(long long bodyLength) {
  return bodyLength >= 0 && bodyLength <= kMaxPacketSize - static_cast<long long>(kOverhead);
}

// CRC-32 (ISO-HDLC: reflected 04C11DB7, initial and final FFFFFFFF) of a byte range.
unsigned crc32(const char* data, std::size_t size);

// Writes the CRC-32 of the bytes as exactly 8 upper-case hex digits, without a terminator.
void writeCheckCode(BufView<8> out, const char* data, std::size_t size);

// Reads a numeric field of at most `width` characters, stopping early at a NUL, with strtol rules
// (leading blanks and a sign accepted, reading stops at the first non-digit; no digits give 0).
long readField(const char* field, std::size_t width);

}  // namespace packet
