// The serial numbers of protocol requests: one counter numbers every request, and each number is
// carried twice, as the request's "OpSerialNo" (n mod 10000) and as the packet serial that the
// answer echoes (n mod 100000000).
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

class SerialSource {
 public:
  explicit SerialSource(std::uint32_t first = 0) : counter_(first) {}
  SerialSource(const SerialSource&) = delete;
  SerialSource& operator=(const SerialSource&) = delete;

  // {OpSerialNo, packet serial} of the counter's value n, which then advances by one (and wraps
  // modulo 2^32). Any thread; lock-free.
  std::pair<unsigned, unsigned> next();

  // The counter shared by every lane of the process.
  static SerialSource& processWide();

 private:
  std::atomic<std::uint32_t> counter_;
};
