// Aborts the soak with a stack dump when a call runs far past its bound: a hang, not a slow call.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace soak {

class CallWatchdog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kCheckEvery{250};

  // One slot per thread that makes calls.
  explicit CallWatchdog(std::size_t slots);
  ~CallWatchdog();  // stops the watching thread
  CallWatchdog(const CallWatchdog&) = delete;
  CallWatchdog& operator=(const CallWatchdog&) = delete;

  // The slot's call began and must be over within `limit`. Its own thread only.
  void begin(std::size_t slot, const std::string& name, std::chrono::milliseconds limit);
  void end(std::size_t slot);

 private:
  struct Watch {
    bool active = false;
    std::string name;
    Clock::time_point deadline;
  };
  void run();

  std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::vector<Watch> watches_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace soak
