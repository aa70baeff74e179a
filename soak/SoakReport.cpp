#include "SoakReport.h"

#include <cstdio>

namespace soak {

namespace {

std::string codesText(const std::map<int, unsigned long>& codes) {
  std::string text;
  for (const auto& c : codes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(c.first) + ":" + std::to_string(c.second);
  }
  return text;
}

}  // namespace

void SoakReport::call(const std::string& op, int code, Ms latency, bool overlapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stats& s = ops_[op];
  ++s.calls;
  ++s.codes[code];
  if (overlapped) {
    ++s.overlapped;
    if (latency > s.worstOverlapped) s.worstOverlapped = latency;
  } else if (latency > s.worst) {
    s.worst = latency;
  }
}

void SoakReport::sessionCycle(const std::string& what, int code, Ms latency) { call(what, code, latency, false); }

void SoakReport::violation(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++violationCount_;
  if (violations_.size() < kViolationsShown) violations_.push_back(what);
}

void SoakReport::recovery(const std::string& phase, Ms time, bool inTime) {
  std::lock_guard<std::mutex> lock(mutex_);
  recoveries_.push_back(phase + ": " + std::to_string(time.count()) + " ms" + (inTime ? "" : " (TOO LATE)"));
}

void SoakReport::restart(const std::string& phase, int lane, Ms time, bool served, bool inTime) {
  std::lock_guard<std::mutex> lock(mutex_);
  restarts_.push_back(phase + ": lane " + std::to_string(lane) + (served ? " " : " none in ") +
                      std::to_string(time.count()) + " ms" + (inTime ? "" : " (TOO LATE)"));
}

void SoakReport::census(const std::string& phase, const SoakCensus& c) {
  std::lock_guard<std::mutex> lock(mutex_);
  census_.push_back(phase + ": " + c.text());
}

std::size_t SoakReport::violations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return violationCount_;
}

void SoakReport::print(std::ostream& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  char line[512];
  std::snprintf(line, sizeof line, "%-17s %8s %9s %11s %9s  %s\n", "operation", "calls", "worst ms",
                "overlapped", "worst ms", "codes (code:count)");
  out << line;
  for (const auto& entry : ops_) {
    const Stats& s = entry.second;
    std::snprintf(line, sizeof line, "%-17s %8lu %9lld %11lu %9lld  %s\n", entry.first.c_str(), s.calls,
                  static_cast<long long>(s.worst.count()), s.overlapped,
                  static_cast<long long>(s.worstOverlapped.count()), codesText(s.codes).c_str());
    out << line;
  }
  out << "recovery after each fault phase (both lanes serving again):\n";
  for (const std::string& r : recoveries_) out << "  " << r << '\n';
  out << "after the servers' restarts, their return to each lane's first answered call:\n";
  for (const std::string& r : restarts_) out << "  " << r << '\n';
  out << "process at the end of each phase:\n";
  for (const std::string& c : census_) out << "  " << c << '\n';
  if (violationCount_ == 0) {
    out << "no violation\n";
  } else {
    out << violationCount_ << " violation(s):\n";
    for (const std::string& v : violations_) out << "  " << v << '\n';
    if (violationCount_ > violations_.size()) out << "  ...\n";
  }
}

}  // namespace soak
