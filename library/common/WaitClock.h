// The time and the waits of the library's threads: the steady clock, and a wait on a condition
// variable until a deadline. A class that waits takes one at construction; the library's own is
// steady(), and tests give one that records, fails or reports its waits instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/FunctionRef.h"

class WaitClock {
 public:
  using Clock = std::chrono::steady_clock;

  WaitClock() = default;
  WaitClock(const WaitClock&) = delete;
  WaitClock& operator=(const WaitClock&) = delete;

  virtual Clock::time_point now() const;
  // Waits on `cond`, `lock` held on entry and on return, until `done` holds or the deadline passes;
  // returns done(). Any thread.
  virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cond,
                         Clock::time_point deadline, FunctionRef<bool()> done) const;

  // The steady clock itself. Any thread, also while the library unloads.
  static const WaitClock& steady();

 protected:
  // Trivial, and never called through a base pointer: the library's own clock, a static, thus
  // outlives the global object whose destructor stops the threads that wait on it.
  ~WaitClock() = default;
};
