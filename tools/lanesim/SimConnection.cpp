#include "SimConnection.h"

#include <algorithm>

SimConnection::SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults)
    : socket_(s), id_(id), faults_(faults, id) {}

bool SimConnection::send(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ending_.empty() || shut_) return false;
  const Clock::time_point now = Clock::now();
  lastDue_ = std::max(lastDue_, now);
  for (SimSlice& slice : faults_.slice(bytes)) {
    lastDue_ += slice.pauseBefore;
    outbox_.push_back(Pending{std::move(slice.bytes), lastDue_, now, slice.cutAfter});
  }
  writeDueLocked(now);
  return true;
}

std::chrono::milliseconds SimConnection::flush(std::chrono::milliseconds longest) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  writeDueLocked(now);
  if (outbox_.empty() || !ending_.empty()) return longest;
  const Pending& next = outbox_.front();
  if (next.due <= now) return std::min(longest, kRetryWait);  // the peer's window is full
  return std::min(longest, std::chrono::duration_cast<std::chrono::milliseconds>(next.due - now) +
                               std::chrono::milliseconds(1));
}

void SimConnection::writeDueLocked(Clock::time_point now) {
  while (!outbox_.empty() && ending_.empty() && !shut_) {
    Pending& next = outbox_.front();
    if (next.due > now) return;
    while (!next.bytes.empty()) {
      const long sent = platform::sendBytes(socket_.get(), next.bytes.data(), next.bytes.size());
      if (sent < 0 && platform::wouldBlock()) {
        if (now - next.queued > kSendTimeout) {
          ending_ = "lost";
          outbox_.clear();
        }
        return;
      }
      if (sent <= 0) {
        ending_ = "lost";
        outbox_.clear();
        return;
      }
      next.bytes.erase(0, static_cast<std::size_t>(sent));
    }
    if (next.cutAfter) ending_ = "cut";
    outbox_.pop_front();
  }
}

void SimConnection::setFaults(const SimFaultPlan& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = SimFaultInjector(faults, id_);
}

bool SimConnection::readsNothing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.plan().noRead;
}

bool SimConnection::chance(double SimFaultPlan::*probability) {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.chance(faults_.plan().*probability);
}

std::string SimConnection::mangle(std::string packetBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.mangle(std::move(packetBytes));
}

SimFaultPlan SimConnection::faults() {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_.plan();
}

std::string SimConnection::ending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ending_;
}

void SimConnection::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  outbox_.clear();
  shut_ = true;
  if (ending_ == "cut" && faults_.plan().reset) {
    platform::abortConnection(socket_.get());
    socket_.release();
  } else {
    platform::shutdownSocket(socket_.get());
  }
}

void SimConnection::shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  shut_ = true;
  platform::shutdownSocket(socket_.get());
}

bool SimConnection::closing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shut_;
}
