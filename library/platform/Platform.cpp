// The parts of the platform layer that are the same on every system.
#include "platform/Platform.h"

#include <atomic>

#include "platform/FaultCounters.h"

namespace platform {

namespace {

// Armed fault counters: 0 = disarmed, n = the nth following call fails.
std::atomic<unsigned> faultCountdown[static_cast<int>(Call::kCount)];

std::atomic<bool> processEndingFlag{false};

}  // namespace

bool faultDue(Call call) {
  std::atomic<unsigned>& counter = faultCountdown[static_cast<int>(call)];
  unsigned current = counter.load(std::memory_order_relaxed);
  while (current != 0) {
    if (counter.compare_exchange_weak(current, current - 1, std::memory_order_relaxed)) {
      return current == 1;
    }
  }
  return false;
}

void failNthCall(Call call, unsigned nth) {
  faultCountdown[static_cast<int>(call)].store(nth, std::memory_order_relaxed);
}

bool faultArmed(Call call) {
  return faultCountdown[static_cast<int>(call)].load(std::memory_order_relaxed) != 0;
}

void clearFaults() {
  for (auto& counter : faultCountdown) counter.store(0, std::memory_order_relaxed);
}

bool processEnding() { return processEndingFlag.load(std::memory_order_acquire); }

void markProcessEnding() { processEndingFlag.store(true, std::memory_order_release); }

}  // namespace platform
