#include "logging/LineRateLimiter.h"

#include <gtest/gtest.h>

using std::chrono::milliseconds;

namespace {

// A clock that stands still until the test moves it.
class ManualClock : public WaitClock {
 public:
  Clock::time_point now() const override { return now_; }
  void advance(milliseconds by) { now_ += by; }

 private:
  Clock::time_point now_ = Clock::time_point() + std::chrono::hours(1);
};

constexpr unsigned kLimit = 20;
constexpr milliseconds kWindow{1000};

unsigned admitted(LineRateLimiter& limiter, unsigned tries) {
  unsigned n = 0;
  for (unsigned i = 0; i < tries; ++i) n += limiter.admit() ? 1 : 0;
  return n;
}

}  // namespace

TEST(LineRateLimiterTest, LetsTheFirstLinesOfAWindowThroughAndCountsTheRestOnceItIsOver) {
  ManualClock clock;
  LineRateLimiter limiter(clock, kLimit, kWindow);
  EXPECT_EQ(admitted(limiter, kLimit + 6), kLimit);
  clock.advance(kWindow - milliseconds(1));
  EXPECT_FALSE(limiter.admit());
  EXPECT_EQ(limiter.takeLeftOut(), 0u);  // told only once the window is over

  clock.advance(milliseconds(1));
  EXPECT_EQ(limiter.takeLeftOut(), 7u);
  EXPECT_EQ(limiter.takeLeftOut(), 0u);
  // The next window opens with the next line, not on a fixed beat.
  clock.advance(milliseconds(500));
  EXPECT_EQ(admitted(limiter, kLimit), kLimit);
  clock.advance(kWindow - milliseconds(1));
  EXPECT_FALSE(limiter.admit());
  clock.advance(milliseconds(1));
  EXPECT_EQ(limiter.takeLeftOut(), 1u);
  EXPECT_TRUE(limiter.admit());
}
