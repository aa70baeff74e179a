#include "common/WaitClock.h"

WaitClock::Clock::time_point WaitClock::now() const { return Clock::now(); }

bool WaitClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cond,
                          Clock::time_point deadline, FunctionRef<bool()> done) const {
  return cond.wait_until(lock, deadline, [&] { return done(); });
}

namespace {

class SteadyClock final : public WaitClock {};

}  // namespace

const WaitClock& WaitClock::steady() {
  static const SteadyClock clock;
  return clock;
}
