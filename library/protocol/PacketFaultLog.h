// The 'E' lines of one lane that say why a packet from its server reached no call, or why the call
// it reached failed: one line a packet, naming the lane, the command (id and name), the serial and
// the reason, "Lane 7: 03114 ListQuery-answer 00000004: answer is not JSON". A flood of them does
// not fill the disk: after kLinesPerSecond lines in a second, the rest of that second is left out
// and one line tells how many.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "common/FunctionRef.h"
#include "common/WaitClock.h"
#include "logging/LineRateLimiter.h"

class PacketFaultLog {
 public:
  static constexpr unsigned kLinesPerSecond = 20;

  // `laneName` begins every line ("Lane 7"); `clock` must outlive the log.
  PacketFaultLog(std::string laneName, const WaitClock& clock);
  PacketFaultLog(const PacketFaultLog&) = delete;
  PacketFaultLog& operator=(const PacketFaultLog&) = delete;

  // One line about the packet whose 5-character command id and 8-character serial fields are at
  // `cmdId` and `serial`; `reason` is asked only when the line is written. Any thread.
  void write(const char* cmdId, const char* serial, FunctionRef<std::string()> reason);
  // Tells the lines left out once their second is over; called when the connection is idle, so
  // that the count comes also when no later line brings it. Any thread.
  void flush();

 private:
  void writeLeftOut(std::uint64_t count) const;

  const std::string lane_;
  std::mutex mutex_;         // taken only to decide; the lines are written outside it
  LineRateLimiter limiter_;  // guarded by mutex_
};
