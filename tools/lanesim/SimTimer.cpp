#include "SimTimer.h"

void SimTimer::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) return;
  running_ = true;
  thread_ = std::thread(&SimTimer::run, this);
}

void SimTimer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    tasks_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SimTimer::schedule(std::chrono::milliseconds delay, Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    tasks_.emplace(std::make_pair(Clock::now() + delay, nextSeq_++), std::move(task));
  }
  wake_.notify_all();
}

void SimTimer::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (running_) {
    if (tasks_.empty()) {
      wake_.wait_for(lock, kIdleWait);
      continue;
    }
    auto first = tasks_.begin();
    // A copy: stop() may free the entry while this thread waits for its time.
    const Clock::time_point due = first->first.first;
    if (due > Clock::now()) {
      wake_.wait_until(lock, due);
      continue;
    }
    Task task = std::move(first->second);
    tasks_.erase(first);
    lock.unlock();
    task();
    lock.lock();
  }
}
