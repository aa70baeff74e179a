// What the soak's process holds at the end of a phase, as its system counts it (SoakCensusLinux.cpp,
// SoakCensusWindows.cpp):
//   Linux    open descriptors, threads (/proc/self), resident memory, and the heap in use by the
//            allocator's own count (a sanitizer's under a sanitizer)
//   Windows  handles (GetProcessHandleCount), threads (a snapshot of the process's threads),
//            private bytes (PrivateUsage of K32GetProcessMemoryInfo), and the heap in use: the
//            busy blocks of every heap of the process, which the C runtime's malloc and new draw
//            from
// The heap in use is what a leak moves and the allocator's caching and fragmentation do not; the
// process's memory only guards against growth outside the heap.
#pragma once

#include <cstddef>
#include <string>

namespace soak {

struct SoakCensus {
  std::size_t handles = 0;  // descriptors on Linux
  std::size_t threads = 0;
  std::size_t memoryKb = 0;  // resident memory on Linux, private bytes on Windows
  std::size_t heapInUseKb = 0;

  static SoakCensus take();
  // "N fds, N threads, N kB resident, N kB heap in use", in the system's words.
  std::string text() const;

  // The system's words for memoryKb, e.g. "resident memory".
  static const char* const kMemoryName;
  // How much the heap in use may exceed the first half's most in the second half of the soak: the
  // calls in flight when the census is taken, and on Windows the heap's warming up. A leak of 100
  // bytes per call grows it by megabytes within a minute.
  static const std::size_t kHeapSlackKb;
  // How many more handles than at a calm moment the calls in flight may hold (0 on Linux: they
  // hold no descriptor of their own).
  static const std::size_t kHandlesInFlight;
};

}  // namespace soak
