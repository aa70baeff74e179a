#include "transport/Package.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "common/Digits.h"
#include "platform/Platform.h"
#include "transport/Packet.h"

namespace {

constexpr int kCenturyYears = 100;
constexpr int kFieldDigits = 2;   // year of the century, month, day, hour, minute, second
constexpr int kMillisDigits = 3;
constexpr int kTimeFields = 6;
static_assert(kTimeFields * kFieldDigits + kMillisDigits == static_cast<int>(packet::kTimeWidth),
              "the send time fills its field");
constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr std::int64_t kNanosPerMilli = 1000000;

}  // namespace

Package::Package(const char* body, unsigned bodyLength, const BufView<5>& cmdId, unsigned serial)
    : Package(body, bodyLength, cmdId, serial, GetPackageTime()) {}

Package::Package(const char* body, unsigned bodyLength, const BufView<5>& cmdId, unsigned serial,
                 const std::string& sendTime)
    : bodyLength_(bodyLength) {
  build(body, cmdId, serial, sendTime);
}

void Package::build(const char* body, const BufView<5>& cmdId, unsigned serial,
                    const std::string& sendTime) {
  if (sendTime.size() != packet::kTimeWidth) throw std::out_of_range(kBadTimeMessage);
  // Its length would not fit the length field: the packet could not be framed.
  if (!packet::bodyFits(bodyLength_)) throw std::length_error(kBodyTooLongMessage);
  // Deliberately not value-initialised: every byte is written below.
  packet_.reset(new char[size()]);
  char* p = packet_.get();
  std::memcpy(p, packet::kHead, packet::kMarkerSize);
  BufView<8>(p + packet::kLengthOffset).sprintf("%08d", static_cast<int>(size()));
  std::memcpy(p + packet::kTimeOffset, sendTime.data(), packet::kTimeWidth);
  std::memcpy(p + packet::kFixedOffset, packet::kFixedField, sizeof packet::kFixedField - 1);
  PackMsgHeader(cmdId, serial);
  if (bodyLength_ > 0) std::memcpy(p + packet::kHeaderSize, body, bodyLength_);
  checkCode_ = p + packet::kHeaderSize + bodyLength_;
  ssh_crc32(BufView<8>(checkCode_), p + packet::kChecksumStart, bodyLength_ + packet::kHeaderSize - packet::kChecksumStart);
  std::memcpy(checkCode_ + packet::kCheckCodeSize, packet::kTail, packet::kMarkerSize);
}

void Package::PackMsgHeader(const BufView<5>& cmdId, unsigned serial) {
  char* p = packet_.get();
  std::memcpy(p + packet::kCmdIdOffset, cmdId.data(), packet::kCmdIdWidth);
  // Signed, as the field is read back on receipt: a serial taken from a received field as an int
  // (the acknowledgement of a push) goes out exactly as it came in.
  BufView<8>(p + packet::kSerialOffset).sprintf("%08d", static_cast<int>(serial));
  BufView<8>(p + packet::kBodyLenOffset).sprintf("%08d", static_cast<int>(bodyLength_));
}

std::string Package::GetPackageTime() {
  const std::int64_t nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
  std::int64_t seconds = nanos / kNanosPerSecond;
  std::int64_t rest = nanos % kNanosPerSecond;
  if (rest < 0) {
    rest += kNanosPerSecond;
    --seconds;
  }
  const platform::LocalTime t = platform::localTimeOf(seconds);
  const int fields[kTimeFields] = {t.year % kCenturyYears, t.month, t.day, t.hour, t.minute, t.second};
  const int millis = static_cast<int>(rest / kNanosPerMilli);
  std::string text(packet::kTimeWidth, '0');
  char* at = &text[0];
  for (int field : fields) at = digits::putFixed(at, field, kFieldDigits);
  digits::putFixed(at, millis, kMillisDigits);
  return text;
}

void Package::ssh_crc32(BufView<8> out, const char* data, unsigned size) {
  packet::writeCheckCode(out, data, size);
}
