#include "transport/Packet.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace packet {

namespace {

constexpr unsigned kReflectedPolynomial = 0xEDB88320u;
constexpr unsigned kCrcInit = 0xFFFFFFFFu;
constexpr unsigned kCrcFinalXor = 0xFFFFFFFFu;

constexpr std::array<unsigned, 256> makeCrcTable() {
  std::array<unsigned, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<unsigned, 256> kCrcTable = makeCrcTable();

// Room for the widest numeric field and its terminator.
constexpr std::size_t kFieldScratch = 16;

}  // namespace

unsigned crc32(const char* data, std::size_t size) {
  unsigned crc = kCrcInit;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
  return (crc ^ kCrcFinalXor) & 0xFFFFFFFFu;
}

void writeCheckCode(BufView<8> out, const char* data, std::size_t size) {
  out.sprintf("%08X", crc32(data, size));
}

long readField(const char* field, std::size_t width) {
  char scratch[kFieldScratch] = {};
  if (width >= sizeof scratch) width = sizeof scratch - 1;
  std::size_t n = 0;
  while (n < width && field[n] != '\0') {
    scratch[n] = field[n];
    ++n;
  }
  return std::strtol(scratch, nullptr, 10);
}

}  // namespace packet
