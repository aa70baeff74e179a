#include "session/ReconnectBackoff.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = ReconnectBackoff::Clock;
using Ms = ReconnectBackoff::Ms;

const Clock::time_point kStart = Clock::time_point() + 1000s;

Ms waitFrom(Clock::time_point at, const ReconnectBackoff& backoff) {
  return std::chrono::duration_cast<Ms>(backoff.notBefore() - at);
}

TEST(ReconnectBackoffTest, ALaneThatStaysDownIsTriedAtOnceThenAfterDoublingDelaysUpToTheCap) {
  ReconnectBackoff backoff(3s, kStart);
  Clock::time_point now = kStart + 60s;
  backoff.lost(now);
  EXPECT_EQ(waitFrom(now, backoff), 0ms);
  for (const Ms expected : {500ms, 1000ms, 2000ms, 3000ms, 3000ms}) {
    backoff.attempt();
    now += 10ms;
    backoff.failed(now);
    EXPECT_EQ(waitFrom(now, backoff), expected);
    now = backoff.notBefore();
  }
}

TEST(ReconnectBackoffTest, OnlyAConnectionThatStayedUpForTheCapStartsItAfresh) {
  ReconnectBackoff backoff(2s, kStart);
  Clock::time_point now = kStart;
  // Lost soon after the first connection: still the first try comes at once.
  backoff.lost(now += 100ms);
  EXPECT_EQ(waitFrom(now, backoff), 0ms);
  // Each later connection is lost at once: the back-off goes on where it was.
  for (const Ms expected : {500ms, 1000ms, 2000ms, 2000ms}) {
    backoff.attempt();
    backoff.connected(now += 5ms);
    backoff.lost(now += 5ms);
    EXPECT_EQ(waitFrom(now, backoff), expected);
    now = backoff.notBefore();
  }
  // One that lasts the cap makes the next loss a fresh start.
  backoff.attempt();
  backoff.connected(now);
  backoff.lost(now += 2s);
  EXPECT_EQ(waitFrom(now, backoff), 0ms);
  backoff.attempt();
  backoff.failed(now);
  EXPECT_EQ(waitFrom(now, backoff), 500ms);
}

}  // namespace
