// A received candidate packet, cut out of the byte stream by the receive scan, and its checks.
#pragma once

#include "common/BufView.h"

class ADataParse {
 public:
  // `packet` points at the head marker; `length` bytes are readable and length >= 60.
  ADataParse(const char* packet, int length);
  virtual ~ADataParse() = default;

  // True when the packet passes all three checks; the first failing check writes its message to
  // the standard error stream.
  bool serverWork() const;

  bool checkPckgLength() const;      // the length field equals the length
  bool checkPackageVerifed() const;  // the check code matches, byte for byte
  bool checkBodyLength() const;      // the body length field equals length - 60

  // The command id read as a decimal number (atoi rules).
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
