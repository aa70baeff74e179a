#include "SimConnection.h"

#include <algorithm>
#include <thread>
#include <vector>

SimConnection::SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults)
    : socket_(s), id_(id), name_("#" + std::to_string(id)), faults_(faults, id) {}

SimConnection::LoopEnd SimConnection::receive(const std::atomic<bool>& stopping,
                                              const Received& received) {
  std::vector<char> chunk(kRecvChunk);
  while (!stopping.load() && !shutDown()) {
    if (ending() != Ending::None) return LoopEnd::Ending;
    const std::chrono::milliseconds wait = flush(kPollInterval);
    if (readsNothing()) {
      std::this_thread::sleep_for(wait);
      continue;
    }
    const int ready = platform::waitReadable(socket_.get(), wait);
    if (ready == 0) continue;
    if (ready < 0) return LoopEnd::PeerFailed;
    const long n = platform::recvBytes(socket_.get(), chunk.data(), chunk.size());
    if (n < 0 && platform::wouldBlock()) continue;
    if (n == 0) return LoopEnd::PeerClosed;
    if (n < 0) return LoopEnd::PeerFailed;
    received(chunk.data(), static_cast<std::size_t>(n));
  }
  return LoopEnd::Stopped;
}

bool SimConnection::send(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ending_ != Ending::None || closing_ || shut_) return false;
  const Clock::time_point now = Clock::now();
  lastDue_ = std::max(lastDue_, now + std::chrono::milliseconds(faults_.plan().lateMs));
  for (SimSlice& slice : faults_.slice(bytes)) {
    lastDue_ += slice.pauseBefore;
    outbox_.push_back(Pending{std::move(slice.bytes), lastDue_, slice.cutAfter ? Ending::Cut : Ending::None});
  }
  writeDueLocked(now);
  return true;
}

void SimConnection::closeAfterSent() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ending_ != Ending::None || closing_) return;
  closing_ = true;
  if (outbox_.empty()) {
    endLocked(Ending::Closed);
  } else {
    outbox_.push_back(Pending{std::string(), lastDue_, Ending::Closed});
  }
}

void SimConnection::resetNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ending_ == Ending::None) endLocked(Ending::Reset);
}

std::chrono::milliseconds SimConnection::flush(std::chrono::milliseconds longest) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  writeDueLocked(now);
  if (outbox_.empty() || ending_ != Ending::None) return longest;
  const Pending& next = outbox_.front();
  if (next.due <= now) return std::min(longest, kRetryWait);  // the peer's window is full
  return std::min(longest, std::chrono::duration_cast<std::chrono::milliseconds>(next.due - now) +
                               std::chrono::milliseconds(1));
}

void SimConnection::endLocked(Ending why) {
  ending_ = why;
  outbox_.clear();
}

void SimConnection::writeDueLocked(Clock::time_point now) {
  while (!outbox_.empty() && ending_ == Ending::None && !shut_) {
    Pending& next = outbox_.front();
    if (next.due > now) return;
    while (!next.bytes.empty()) {
      const long sent = platform::sendBytes(socket_.get(), next.bytes.data(), next.bytes.size());
      if (sent < 0 && platform::wouldBlock()) {
        // Counted from the later of the piece's due time and the peer's last progress: a slow
        // reader that keeps taking bytes is not given up, a delayed piece not before it is due.
        if (now - std::max(next.due, lastProgress_) > kSendTimeout) endLocked(Ending::Lost);
        return;
      }
      if (sent <= 0) {
        endLocked(Ending::Lost);
        return;
      }
      lastProgress_ = now;
      next.bytes.erase(0, static_cast<std::size_t>(sent));
    }
    const Ending after = next.after;
    outbox_.pop_front();
    if (after != Ending::None) endLocked(after);
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

SimConnection::Ending SimConnection::ending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ending_;
}

bool SimConnection::endsWithReset() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ending_ == Ending::Reset || (ending_ == Ending::Cut && faults_.plan().reset);
}

void SimConnection::finish() {
  const bool reset = endsWithReset();
  std::lock_guard<std::mutex> lock(mutex_);
  outbox_.clear();
  shut_ = true;
  if (reset) {
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

bool SimConnection::shutDown() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shut_;
}
