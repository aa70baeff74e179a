#include "transport/PacketFault.h"

#include <cstdio>

#include "transport/Packet.h"

namespace packetfault {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kLastPrintable = 0x7E;

// "bad NAME FIELD, expected VALUE" for a numeric header field.
std::string badField(const char* what, const char* field, long expected) {
  char value[packet::kFieldWidth + 2];
  std::snprintf(value, sizeof value, "%08ld", expected);
  return std::string("bad ") + what + ' ' + printable(field, packet::kFieldWidth) + ", expected " +
         value;
}

}  // namespace

bool isFault(ScanSkip why) {
  switch (why) {
    case ScanSkip::LengthMismatch:
    case ScanSkip::FailedPacketLength:
    case ScanSkip::FailedCheckCode:
    case ScanSkip::FailedBodyLength:
      return true;
    case ScanSkip::Noise:
    case ScanSkip::ShortLength:
    case ScanSkip::BadTail:
      break;
  }
  return false;
}

std::string describe(const char* head, std::size_t readable, ScanSkip why) {
  const auto overhead = static_cast<long>(packet::kOverhead);
  switch (why) {
    case ScanSkip::FailedCheckCode: {
      char computed[packet::kCheckCodeSize];
      packet::writeCheckCode(BufView<8>(computed), head + packet::kChecksumStart,
                             readable - packet::kUnchecksummed);
      return "bad check code " +
             printable(head + readable - packet::kCheckCodeFromEnd, packet::kCheckCodeSize) +
             ", computed " + std::string(computed, sizeof computed);
    }
    case ScanSkip::FailedPacketLength:
      return badField("packet length", head + packet::kLengthOffset, static_cast<long>(readable));
    case ScanSkip::FailedBodyLength:
      return badField("body length", head + packet::kBodyLenOffset,
                      static_cast<long>(readable) - overhead);
    case ScanSkip::LengthMismatch: {
      // The packet never completes: what its body length should be follows from its length field.
      const long length = packet::readField(head + packet::kLengthOffset, packet::kFieldWidth);
      return badField("body length", head + packet::kBodyLenOffset, length - overhead);
    }
    case ScanSkip::Noise:
    case ScanSkip::ShortLength:
    case ScanSkip::BadTail:
      break;
  }
  return std::string();
}

std::string printable(const char* at, std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(at[i]);
    if (c >= kFirstPrintable && c <= kLastPrintable) {
      text += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

}  // namespace packetfault
