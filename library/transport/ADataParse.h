// A received candidate packet, cut out of the byte stream by the receive scan, and its checks.
#pragma once

#include "common/BufView.h"

class ADataParse {
 public:
  // The messages written to the standard error stream by the failing check.
  static constexpr const char* kBadLengthMessage = "包长度不对！\n";
  static constexpr const char* kBadCheckCodeMessage = "校验码错误！\n";
  static constexpr const char* kBadBodyLengthMessage = "消息长度错误！\n";

  // `packet` points at the head marker; `length` bytes are readable and length >= 60. Neither is
  // owned or copied: the object must not outlive the bytes.
  ADataParse(const char* packet, int length);
  virtual ~ADataParse() = default;

  // The checks in the order they are made.
  enum class Failure { None, PacketLength, CheckCode, BodyLength };

  // True when the packet passes all three checks; the first failing check writes its message to
  // the standard error stream and the later ones are not looked at.
  bool serverWork() const;
  // The first check that fails (None when all pass); its message goes to the standard error stream
  // only when `writeMessage` is set.
  Failure firstFailure(bool writeMessage) const;

  bool checkPckgLength() const;      // the length field equals the length
  bool checkPackageVerifed() const;  // the check code matches, byte for byte
  bool checkBodyLength() const;      // the body length field equals length - 60

  // The 5-character command id read as a decimal number (atoi rules: letters give 0 or the value
  // of the leading digits).
  int cmdId() const;
  // The message part: from the command id to the end of the body.
  const char* getDataBody() const;
  // Size of the message part: length - 39.
  unsigned getDataLen() const;

  static void ssh_crc32(BufView<8> out, const char* data, unsigned size);

 private:
  const char* packet_;
  int length_;
  const char* checkCode_;
};
