// The write lock of a connection: a mutex whose timed wait runs on the steady clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lockable with a timed wait on the steady clock (std::unique_lock takes it); every wait has a
// deadline, so there is no untimed lock().
// Built on a condition variable, whose steady-clock wait the toolchain's thread sanitizer follows,
// rather than on a timed mutex, whose steady-clock lock it does not see. Any thread.
class DeadlineMutex {
 public:
  DeadlineMutex() = default;
  DeadlineMutex(const DeadlineMutex&) = delete;
  DeadlineMutex& operator=(const DeadlineMutex&) = delete;

  // Takes the lock unless it is still held at the deadline; a deadline already passed only tries.
  bool try_lock_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!released_.wait_until(guard, deadline, [this] { return !held_; })) return false;
    held_ = true;
    return true;
  }

  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      held_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;  // guarded by mutex_
};
