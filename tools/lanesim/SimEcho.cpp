#include "SimEcho.h"

#include <cstdio>
#include <utility>

#include "platform/Platform.h"


namespace {

std::string localTimeStamp() {
  const platform::LocalTime t = platform::localTimeNow();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second, t.milliseconds);
  return text;
}

}  // namespace

SimEcho::SimEcho(Stamp stamp) : stamp_(stamp), thread_(&SimEcho::run, this) {}

SimEcho::~SimEcho() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    drainLocked(lock);
    out_ = nullptr;
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SimEcho::setStream(std::ostream* out) {
  std::unique_lock<std::mutex> lock(mutex_);
  drainLocked(lock);
  out_ = out;
}

void SimEcho::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  drainLocked(lock);
}

bool SimEcho::active() {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_ != nullptr;
}

void SimEcho::line(const std::string& text) {
  std::string queued = stamp_ == Stamp::LocalTime ? localTimeStamp() + text : text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (out_ == nullptr) return;
    if (queuedBytes_ + queued.size() > kMaxQueuedBytes) {
      ++leftOut_;
      return;
    }
    queuedBytes_ += queued.size();
    queue_.push_back(std::move(queued));
  }
  wake_.notify_one();
}

void SimEcho::drainLocked(std::unique_lock<std::mutex>& lock) {
  const bool written = drained_.wait_for(lock, kDrainWait, [this] { return queue_.empty() && !writing_; });
  if (written) return;
  leftOut_ += queue_.size();
  queue_.clear();
  queuedBytes_ = 0;
  // The batch under way goes to the stream the caller is about to let go: it must end first.
  while (writing_) drained_.wait_for(lock, kDrainWait);
}

void SimEcho::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (queue_.empty()) {
      if (stopping_) return;
      wake_.wait_for(lock, kIdleWait);
      continue;
    }
    std::deque<std::string> batch;
    batch.swap(queue_);
    queuedBytes_ = 0;
    const std::size_t leftOut = leftOut_;
    leftOut_ = 0;
    std::ostream* out = out_;
    writing_ = true;
    lock.unlock();
    for (const std::string& text : batch) *out << text << '\n';
    if (leftOut > 0) *out << "note " << leftOut << " lines left out: the output was not read in time\n";
    out->flush();
    lock.lock();
    writing_ = false;
    drained_.notify_all();
  }
}
