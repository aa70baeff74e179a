#include "CallWatchdog.h"

#include "StackDump.h"

namespace soak {

CallWatchdog::CallWatchdog(std::size_t slots) : watches_(slots), thread_(&CallWatchdog::run, this) {}

CallWatchdog::~CallWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void CallWatchdog::begin(std::size_t slot, const std::string& name, std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  watches_[slot] = Watch{true, name, Clock::now() + limit};
}

void CallWatchdog::end(std::size_t slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  watches_[slot].active = false;
}

void CallWatchdog::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kCheckEvery, [this] { return stopping_; })) {
    const Clock::time_point now = Clock::now();
    for (const Watch& w : watches_) {
      if (w.active && now > w.deadline) {
        const std::string reason = "call " + w.name + " hangs past its limit";
        dumpStacksAndAbort(reason.c_str());
      }
    }
  }
}

}  // namespace soak
