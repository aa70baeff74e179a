// What lanesim --forward --summary prints at exit: per pair and command, the requests, the
// answers, the median and worst time to an answer, and the flags raised.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class SimSummary {
 public:
  // Every call names the pair by its number and printed name and the command by its request id
  // ("03014"); a flag of the stream that names no command has an empty id. Any thread.
  void request(unsigned pair, const std::string& name, const std::string& requestId);
  void answer(unsigned pair, const std::string& name, const std::string& requestId, long long latencyMs);
  void flag(unsigned pair, const std::string& name, const std::string& requestId);

  // A header and one line per pair and command, by pair number and then id.
  std::vector<std::string> lines() const;

 private:
  struct Row {
    std::string name;
    std::size_t requests = 0;
    std::size_t answers = 0;
    std::size_t flags = 0;
    std::map<long long, std::size_t> latencies;  // milliseconds → how many answers took that long
  };
  Row& rowLocked(unsigned pair, const std::string& name, const std::string& requestId);

  mutable std::mutex mutex_;  // guards rows_
  std::map<std::pair<unsigned, std::string>, Row> rows_;
};
