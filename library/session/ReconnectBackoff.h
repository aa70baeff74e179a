// When a lane may try its next reconnect. The first try comes at once; while the lane stays down
// the next comes after 0.5 s, then after twice as long each time, up to the cap (the heartbeat
// period). A connection that stays up for the cap starts the back-off afresh when it is lost; one
// lost sooner continues it where it was, so a server that accepts and then closes every
// connection is tried once per cap, not hammered. Arithmetic on the times it is given; not
// thread-safe.
#pragma once

#include <chrono>

class ReconnectBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  using Ms = std::chrono::milliseconds;

  static constexpr Ms kFirstDelay{500};

  // A `cap` below kFirstDelay is raised to it; `now` counts as the moment the first connection
  // came up.
  ReconnectBackoff(Ms cap, Clock::time_point now);

  // A connection came up at `now`.
  void connected(Clock::time_point now);
  // The connection was lost at `now`.
  void lost(Clock::time_point now);
  // A reconnect attempt starts.
  void attempt();
  // That attempt failed at `now`.
  void failed(Clock::time_point now);

  // The earliest time of the next reconnect attempt.
  Clock::time_point notBefore() const { return notBefore_; }

 private:
  // What the next attempt waits after the event before it.
  Ms nextDelay() const;

  const Ms cap_;
  unsigned attempts_ = 0;  // reconnect attempts since the back-off last started afresh
  Clock::time_point upSince_;
  Clock::time_point notBefore_;
};
