#include "session/ReconnectBackoff.h"

#include <algorithm>

namespace {

// Doubling kFirstDelay this often passes any cap a configuration allows (120 s).
constexpr unsigned kLastDoubling = 16;

}  // namespace

ReconnectBackoff::ReconnectBackoff(Ms cap, Clock::time_point now)
    : cap_(std::max(cap, kFirstDelay)), upSince_(now), notBefore_(now) {}

void ReconnectBackoff::connected(Clock::time_point now) { upSince_ = now; }

void ReconnectBackoff::lost(Clock::time_point now) {
  if (now - upSince_ >= cap_) attempts_ = 0;
  notBefore_ = now + nextDelay();
}

void ReconnectBackoff::attempt() {
  if (attempts_ <= kLastDoubling) ++attempts_;
}

void ReconnectBackoff::failed(Clock::time_point now) { notBefore_ = now + nextDelay(); }

ReconnectBackoff::Ms ReconnectBackoff::nextDelay() const {
  if (attempts_ == 0) return Ms(0);
  return std::min(cap_, kFirstDelay * (1u << (attempts_ - 1)));
}
