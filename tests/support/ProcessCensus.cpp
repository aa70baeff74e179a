#include "ProcessCensus.h"

#include <filesystem>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer runtimes' own count (sanitizer/allocator_interface.h, which GCC does not ship).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace testsupport {

namespace {

std::size_t entriesOf(const char* dir) {
  std::size_t n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    ++n;
  }
  return n;
}

std::size_t residentKbNow() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      std::size_t kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

// A sanitizer allocates on behalf of the program and counts for itself.
std::size_t heapInUseKbNow() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes() / 1024;
#else
  const struct mallinfo2 heap = mallinfo2();
  return (heap.uordblks + heap.hblkhd) / 1024;
#endif
}

}  // namespace

ProcessCensus ProcessCensus::take() {
  ProcessCensus c;
  // The listing's own descriptor is counted every time alike.
  c.descriptors = entriesOf("/proc/self/fd");
  c.threads = entriesOf("/proc/self/task");
  c.residentKb = residentKbNow();
  c.heapInUseKb = heapInUseKbNow();
  return c;
}

std::string ProcessCensus::text() const {
  return std::to_string(descriptors) + " fds, " + std::to_string(threads) + " threads, " +
         std::to_string(residentKb) + " kB resident, " + std::to_string(heapInUseKb) +
         " kB heap in use";
}

}  // namespace testsupport
