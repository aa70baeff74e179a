#include "logging/LineRateLimiter.h"

LineRateLimiter::LineRateLimiter(const WaitClock& clock, unsigned linesPerWindow,
                                 std::chrono::milliseconds window)
    : clock_(clock), linesPerWindow_(linesPerWindow), window_(window) {}

bool LineRateLimiter::admit() {
  const auto now = clock_.now();
  if (!started_ || windowOver(now)) {
    started_ = true;
    windowStart_ = now;
    admitted_ = 0;
  }
  if (admitted_ < linesPerWindow_) {
    ++admitted_;
    return true;
  }
  ++leftOut_;
  return false;
}

std::uint64_t LineRateLimiter::takeLeftOut() {
  if (leftOut_ == 0 || !windowOver(clock_.now())) return 0;
  const std::uint64_t count = leftOut_;
  leftOut_ = 0;
  return count;
}
