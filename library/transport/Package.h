// An outgoing packet, built in one allocation from a body, a command id and a serial number.
#pragma once

#include <memory>
#include <string>

#include "common/BufView.h"

class Package {
 public:
  // Thrown when the send time is not 15 characters long.
  static constexpr const char* kBadTimeMessage = "void copyFrom(const std::string& str)";
  static constexpr const char* kBodyTooLongMessage = "packet body too long for the length field";

  // Builds the packet, stamped with the current local time. The body is read during construction
  // only. Throws std::out_of_range when the send time is not 15 characters long, and
  // std::length_error, before reading the body, when the packet would not fit the length field.
  Package(const char* body, unsigned bodyLength, const BufView<5>& cmdId, unsigned serial);
  // Builds the packet with a given send time (15 characters expected, as above).
  Package(const char* body, unsigned bodyLength, const BufView<5>& cmdId, unsigned serial,
          const std::string& sendTime);
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // The packet bytes: size() of them, valid while the object lives.
  const char* returnmsg() const { return packet_.get(); }
  unsigned size() const { return bodyLength_ + 60; }

  // Writes the command id, the serial number and the body length into the header. The serial is
  // printed as a signed int into 8 characters; callers keep it below 100000000.
  void PackMsgHeader(const BufView<5>& cmdId, unsigned serial);

  // The local time now as "%y%m%d%H%M%S" followed by the milliseconds as "%03d".
  static std::string GetPackageTime();

  // Writes the check code of the bytes as exactly 8 upper-case hex digits, no terminator.
  static void ssh_crc32(BufView<8> out, const char* data, unsigned size);

 private:
  void build(const char* body, const BufView<5>& cmdId, unsigned serial, const std::string& sendTime);

  unsigned bodyLength_;
  std::unique_ptr<char[]> packet_;  // bodyLength_ + 60 bytes
  char* checkCode_ = nullptr;       // inside packet_
};
