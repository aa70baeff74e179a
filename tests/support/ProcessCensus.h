// What the running process holds: open descriptors, threads and resident memory (Linux /proc), and
// the heap memory its allocations hold now (the allocator's own count, which a leak moves and the
// allocator's caching and fragmentation do not).
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

struct ProcessCensus {
  std::size_t descriptors = 0;
  std::size_t threads = 0;
  std::size_t residentKb = 0;
  std::size_t heapInUseKb = 0;

  static ProcessCensus take();
  std::string text() const;  // "N fds, N threads, N kB resident, N kB heap in use"
};

}  // namespace testsupport
