#include "transport/ADataParse.h"

#include <cstdio>
#include <cstring>

#include "transport/Packet.h"

ADataParse::ADataParse(const char* packet, int length)
    : packet_(packet), length_(length), checkCode_(packet + length - packet::kCheckCodeFromEnd) {}

bool ADataParse::serverWork() const { return firstFailure(true) == Failure::None; }

ADataParse::Failure ADataParse::firstFailure(bool writeMessage) const {
  const auto fail = [writeMessage](Failure failure, const char* message) {
    if (writeMessage) std::fputs(message, stderr);
    return failure;
  };
  if (!checkPckgLength()) return fail(Failure::PacketLength, kBadLengthMessage);
  if (!checkPackageVerifed()) return fail(Failure::CheckCode, kBadCheckCodeMessage);
  if (!checkBodyLength()) return fail(Failure::BodyLength, kBadBodyLengthMessage);
  return Failure::None;
}

bool ADataParse::checkPckgLength() const {
  return packet::readField(packet_ + packet::kLengthOffset, packet::kFieldWidth) == length_;
}

bool ADataParse::checkPackageVerifed() const {
  char expected[packet::kCheckCodeSize];
  ssh_crc32(BufView<8>(expected), packet_ + packet::kChecksumStart,
            static_cast<unsigned>(length_) - packet::kUnchecksummed);
  return std::memcmp(expected, checkCode_, sizeof expected) == 0;
}

bool ADataParse::checkBodyLength() const {
  return packet::readField(packet_ + packet::kBodyLenOffset, packet::kFieldWidth) ==
         static_cast<long>(length_) - static_cast<long>(packet::kOverhead);
}

int ADataParse::cmdId() const {
  return static_cast<int>(packet::readField(packet_ + packet::kCmdIdOffset, packet::kCmdIdWidth));
}

const char* ADataParse::getDataBody() const { return packet_ + packet::kCmdIdOffset; }

unsigned ADataParse::getDataLen() const {
  return static_cast<unsigned>(length_) - packet::kMessageOverhead;
}

void ADataParse::ssh_crc32(BufView<8> out, const char* data, unsigned size) {
  packet::writeCheckCode(out, data, size);
}
