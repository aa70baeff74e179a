// What the soak saw: calls per operation with their codes and worst latencies, recoveries after
// fault phases and after the servers' restarts, the process census per phase, and every
// violation. Any thread may record.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "SoakCensus.h"

namespace soak {

class SoakReport {
 public:
  using Ms = std::chrono::milliseconds;
  // Violations printed in full; beyond that only counted.
  static constexpr std::size_t kViolationsShown = 40;

  // `overlapped`: the call ran while an Init or Uninit did, and is reported apart.
  void call(const std::string& op, int code, Ms latency, bool overlapped);
  void sessionCycle(const std::string& what, int code, Ms latency);
  void violation(const std::string& what);
  void recovery(const std::string& phase, Ms time, bool inTime);
  // From the servers' return to the lane's first answered call (`served` false: none by `time`).
  void restart(const std::string& phase, int lane, Ms time, bool served, bool inTime);
  void census(const std::string& phase, const SoakCensus& c);

  std::size_t violations() const;
  void print(std::ostream& out) const;

 private:
  struct Stats {
    unsigned long calls = 0;
    std::map<int, unsigned long> codes;
    Ms worst{0};
    unsigned long overlapped = 0;
    Ms worstOverlapped{0};
  };

  mutable std::mutex mutex_;  // guards everything below
  std::map<std::string, Stats> ops_;
  std::vector<std::string> violations_;
  std::size_t violationCount_ = 0;
  std::vector<std::string> recoveries_;
  std::vector<std::string> restarts_;
  std::vector<std::string> census_;
};

}  // namespace soak
