#include "protocol/SerialSource.h"

namespace {

constexpr unsigned kOpSerialModulo = 10000;
constexpr unsigned kPacketSerialModulo = 100000000;

}  // namespace

std::pair<unsigned, unsigned> SerialSource::next() {
  const std::uint32_t n = counter_.fetch_add(1);
  return {n % kOpSerialModulo, n % kPacketSerialModulo};
}

SerialSource& SerialSource::processWide() {
  static SerialSource serials;
  return serials;
}
