// Runs delayed work of the simulator (late answers, pushes, delayed closes) on one thread, so that
// a delay on one connection never holds up another.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

class SimTimer {
 public:
  using Task = std::function<void()>;
  using Clock = std::chrono::steady_clock;

  // How long the idle thread sleeps before it looks at the stop flag again.
  static constexpr std::chrono::milliseconds kIdleWait{500};

  SimTimer() = default;
  ~SimTimer() { stop(); }
  SimTimer(const SimTimer&) = delete;
  SimTimer& operator=(const SimTimer&) = delete;

  // Starts the thread (no-op when running). Not concurrently with stop().
  void start();
  // Drops pending tasks and joins the thread; a task already running finishes first. Never throws.
  void stop();

  // Runs the task `delay` from now, after every task due earlier or at the same time that was
  // scheduled before it. Any thread; ignored while stopped.
  void schedule(std::chrono::milliseconds delay, Task task);

 private:
  void run();

  std::mutex mutex_;  // guards everything below but thread_
  std::condition_variable wake_;
  bool running_ = false;
  std::uint64_t nextSeq_ = 0;
  std::map<std::pair<Clock::time_point, std::uint64_t>, Task> tasks_;
  std::thread thread_;  // started and joined by start() and stop() only
};
