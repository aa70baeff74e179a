#include "SimConnection.h"

#include <algorithm>
#include <thread>
#include <vector>

SimConnection::SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults)
    : socket_(s), id_(id), name_("#" + std::to_string(id)), faults_(faults, id) {}

SimConnection::State SimConnection::receive(const std::atomic<bool>& stopping, const Received& received,
                                            const Idle& idle) {
  std::vector<char> chunk(kRecvChunk);
  const auto end = [this](State why) {
    std::lock_guard<std::mutex> lock(mutex_);
    endLocked(why);
  };
  for (;;) {
    if (stopping.load()) end(State::Stopped);
    if (isEnd(state())) return state();
    if (idle) idle(Clock::now());
    const std::chrono::milliseconds wait = flush(kPollInterval);
    if (readsNothing()) {
      std::this_thread::sleep_for(wait);
      continue;
    }
    const int ready = platform::waitReadable(socket_.get(), wait);
    if (ready == 0) continue;
    if (ready < 0) {
      end(State::PeerFailed);
      continue;
    }
    const long n = platform::recvBytes(socket_.get(), chunk.data(), chunk.size());
    if (n < 0 && platform::wouldBlock()) continue;
    if (n <= 0) {
      end(n == 0 ? State::PeerClosed : State::PeerFailed);
      continue;
    }
    received(chunk.data(), static_cast<std::size_t>(n));
  }
}

bool SimConnection::send(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!isOpenLocked()) return false;
  const Clock::time_point now = Clock::now();
  const SimFaultPlan& plan = faults_.plan();
  lastDue_ = std::max(lastDue_, now + std::chrono::milliseconds(plan.lateMs));
  const State cut = plan.reset ? State::CutByReset : State::Cut;
  for (SimSlice& slice : faults_.slice(bytes)) {
    lastDue_ += slice.pauseBefore;
    outbox_.push_back(Pending{std::move(slice.bytes), 0, lastDue_, slice.cutAfter ? cut : State::Open});
  }
  writeDueLocked(now);
  return true;
}

void SimConnection::closeAfterSent() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!isOpenLocked()) return;
  if (outbox_.empty()) {
    endLocked(State::Closed);
  } else {
    state_.store(State::Closing);
    outbox_.push_back(Pending{std::string(), 0, lastDue_, State::Closed});
  }
}

void SimConnection::resetNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  endLocked(State::Reset);
}

void SimConnection::closeNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  endLocked(State::Stopped);
  platform::shutdownSocket(socket_.get());
}

std::chrono::milliseconds SimConnection::flush(std::chrono::milliseconds longest) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  writeDueLocked(now);
  if (outbox_.empty() || isEnd(state())) return longest;
  const Pending& next = outbox_.front();
  if (next.due <= now) return std::min(longest, kRetryWait);  // the peer's window is full
  return std::min(longest, std::chrono::duration_cast<std::chrono::milliseconds>(next.due - now) +
                               std::chrono::milliseconds(1));
}

void SimConnection::endLocked(State end) {
  if (isEnd(state())) return;
  state_.store(end);
  outbox_.clear();
}

void SimConnection::writeDueLocked(Clock::time_point now) {
  while (!outbox_.empty() && !isEnd(state())) {
    Pending& next = outbox_.front();
    if (next.due > now) return;
    while (next.written < next.bytes.size()) {
      const long sent = platform::sendBytes(socket_.get(), next.bytes.data() + next.written,
                                            next.bytes.size() - next.written);
      if (sent < 0 && platform::wouldBlock()) {
        // Counted from the later of the piece's due time and the peer's last progress: a slow
        // reader that keeps taking bytes is not given up, a delayed piece not before it is due.
        if (now - std::max(next.due, lastProgress_) > kSendTimeout) endLocked(State::Lost);
        return;
      }
      if (sent <= 0) {
        endLocked(State::Lost);
        return;
      }
      lastProgress_ = now;
      next.written += static_cast<std::size_t>(sent);
    }
    const State after = next.after;
    outbox_.pop_front();
    if (after != State::Open) endLocked(after);
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

void SimConnection::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  endLocked(State::Stopped);
  const State end = state();
  if (end == State::Reset || end == State::CutByReset) {
    platform::abortConnection(socket_.get());
    socket_.release();
  } else {
    platform::shutdownSocket(socket_.get());
  }
}
