// The parts of the platform layer that are the same on every system.
#include "platform/Platform.h"

#include <atomic>
#include <memory>
#include <utility>

#include "platform/FaultCounters.h"
#include "platform/ThreadEndHook.h"

namespace platform {

namespace {

// Armed fault counters: 0 = disarmed, n = the nth following call fails.
std::atomic<unsigned> faultCountdown[static_cast<int>(Call::kCount)];

std::atomic<bool> processEndingFlag{false};

// One function to call when the thread ends, and the ones registered before it.
struct ThreadEndCall {
  void (*atEnd)();
  ThreadEndCall* earlier;
};

// The newest call of the thread; each owns the one before it. A plain pointer, so that nothing is
// registered with the C++ runtime for the thread's end (see callAtThreadEnd).
thread_local ThreadEndCall* threadEndCalls = nullptr;

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

void callAtThreadEnd(void (*atEnd)()) {
  hookThreadEnd();
  threadEndCalls = std::make_unique<ThreadEndCall>(ThreadEndCall{atEnd, threadEndCalls}).release();
}

void runThreadEnd() {
  // A function that registers another while it runs has that one run too, in this loop.
  while (threadEndCalls != nullptr) {
    const std::unique_ptr<ThreadEndCall> call(std::exchange(threadEndCalls, threadEndCalls->earlier));
    call->atEnd();
  }
}

bool processEnding() { return processEndingFlag.load(std::memory_order_acquire); }

void markProcessEnding() { processEndingFlag.store(true, std::memory_order_release); }

}  // namespace platform
