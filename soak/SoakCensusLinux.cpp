#include "SoakCensus.h"

#include "ProcessCensus.h"

namespace soak {

const char* const SoakCensus::kMemoryName = "resident memory";
const std::size_t SoakCensus::kHeapSlackKb = 512;
const std::size_t SoakCensus::kHandlesInFlight = 0;

SoakCensus SoakCensus::take() {
  const testsupport::ProcessCensus now = testsupport::ProcessCensus::take();
  SoakCensus c;
  c.handles = now.descriptors;
  c.threads = now.threads;
  c.memoryKb = now.residentKb;
  c.heapInUseKb = now.heapInUseKb;
  return c;
}

std::string SoakCensus::text() const {
  return std::to_string(handles) + " fds, " + std::to_string(threads) + " threads, " +
         std::to_string(memoryKb) + " kB resident, " + std::to_string(heapInUseKb) + " kB heap in use";
}

}  // namespace soak
