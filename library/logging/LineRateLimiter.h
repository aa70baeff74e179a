// Keeps a kind of log line from filling the disk: at most a number of lines per window of time, and
// a count of the lines left out, to be told once their window is over. Pure: no lock, no output.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/WaitClock.h"

class LineRateLimiter {
 public:
  // `clock` must outlive the limiter. A window opens with the first line let through after the
  // previous one closed.
  LineRateLimiter(const WaitClock& clock, unsigned linesPerWindow,
                  std::chrono::milliseconds window);

  // Whether a line may be written now; one that may not is counted as left out.
  bool admit();
  // The number of lines left out in a window that is over, once; 0 while none was left out or their
  // window is still open. Told before the next line, so that it comes first.
  std::uint64_t takeLeftOut();

 private:
  bool windowOver(WaitClock::Clock::time_point now) const { return now >= windowStart_ + window_; }

  const WaitClock& clock_;
  const unsigned linesPerWindow_;
  const std::chrono::milliseconds window_;
  WaitClock::Clock::time_point windowStart_{};
  unsigned admitted_ = 0;       // lines let through in the current window
  std::uint64_t leftOut_ = 0;   // lines left out since the last count was taken
  bool started_ = false;        // a window has opened
};
