#include "SimSummary.h"

#include <cstdio>

#include "SimPacketText.h"

namespace {

constexpr const char* kStreamRow = "stream";  // flags of bytes that named no command
constexpr const char* kNone = "-";
constexpr const char* kRowFormat = "summary %-5s %-30s %8s %8s %8s %8s %6s";

std::string cell(const char* format, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string formatRow(const std::string& pair, const std::string& command, const std::string& requests,
                      const std::string& answers, const std::string& median, const std::string& worst,
                      const std::string& flags) {
  char text[160];
  std::snprintf(text, sizeof text, kRowFormat, pair.c_str(), command.c_str(), requests.c_str(),
                answers.c_str(), median.c_str(), worst.c_str(), flags.c_str());
  return text;
}

// The lower median: the middle one of an odd count, the lower middle one of an even count.
long long medianOf(const std::map<long long, std::size_t>& latencies, std::size_t count) {
  std::size_t rank = (count + 1) / 2;
  for (const auto& entry : latencies) {
    if (rank <= entry.second) return entry.first;
    rank -= entry.second;
  }
  return 0;
}

}  // namespace

SimSummary::Row& SimSummary::rowLocked(unsigned pair, const std::string& name, const std::string& requestId) {
  Row& row = rows_[{pair, requestId}];
  row.name = name;
  return row;
}

void SimSummary::request(unsigned pair, const std::string& name, const std::string& requestId) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++rowLocked(pair, name, requestId).requests;
}

void SimSummary::answer(unsigned pair, const std::string& name, const std::string& requestId,
                        long long latencyMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Row& row = rowLocked(pair, name, requestId);
  ++row.answers;
  ++row.latencies[latencyMs];
}

void SimSummary::flag(unsigned pair, const std::string& name, const std::string& requestId) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++rowLocked(pair, name, requestId).flags;
}

std::vector<std::string> SimSummary::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out = {formatRow("pair", "command", "requests", "answers", "median", "worst", "flags")};
  for (const auto& entry : rows_) {
    const std::string& id = entry.first.second;
    const Row& row = entry.second;
    const std::string command = id.empty() ? kStreamRow : id + " " + simtext::commandName(id);
    const bool timed = !row.latencies.empty();
    out.push_back(formatRow(row.name, command, cell("%lld", static_cast<long long>(row.requests)),
                            cell("%lld", static_cast<long long>(row.answers)),
                            timed ? cell("%lldms", medianOf(row.latencies, row.answers)) : kNone,
                            timed ? cell("%lldms", row.latencies.rbegin()->first) : kNone,
                            cell("%lld", static_cast<long long>(row.flags))));
  }
  return out;
}
