// What the running process holds: open descriptors, threads and resident memory (Linux /proc).
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

struct ProcessCensus {
  std::size_t descriptors = 0;
  std::size_t threads = 0;
  std::size_t residentKb = 0;

  static ProcessCensus take();
  std::string text() const;  // "N fds, N threads, N kB"
};

}  // namespace testsupport
