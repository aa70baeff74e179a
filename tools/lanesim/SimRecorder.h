// lanesim --forward --record FILE: what the server sent back for every request, kept as a scenario
// that lanesim --scenario FILE replays. Per request id, in the order the requests came, each
// request's outcome: the packets the server sent for it with their bodies as received, their
// delays after the request and their serials relative to the request's, and a close of the
// connection by the server. The file is rewritten as the session goes on, whole each time.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <json/json.h>

class SimRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  // The file is rewritten at most this often while packets come, and at every writeNow().
  static constexpr std::chrono::milliseconds kWriteInterval{500};

  // Where a request's outcome is kept.
  struct Ref {
    std::string requestId;
    std::size_t index = 0;
  };

  explicit SimRecorder(std::string path);
  SimRecorder(const SimRecorder&) = delete;
  SimRecorder& operator=(const SimRecorder&) = delete;

  const std::string& path() const { return path_; }

  // A request the lane sent at `at`: the next outcome of its id. Any thread.
  Ref request(const std::string& requestId, Clock::time_point at);
  // A packet the server sent at `at`, as part of the outcome of `ref`'s request; `serialOffset`
  // is its serial minus the request's.
  void send(const Ref& ref, const std::string& cmdId, long long serialOffset, const std::string& body,
            Clock::time_point at);
  // The server closed the connection (`reset`: with a reset) at `at`, after `ref`'s request.
  void close(const Ref& ref, bool reset, Clock::time_point at);

  // The scenario so far.
  Json::Value scenario() const;
  // Writes the scenario when something changed since the last write (or nothing was written yet)
  // and, for writeIfDue, kWriteInterval has passed since then. False, with the reason, when the
  // file cannot be written. Any thread.
  bool writeIfDue(Clock::time_point now, std::string* error = nullptr);
  bool writeNow(std::string* error = nullptr);

 private:
  struct Send {
    std::string cmdId;
    long long delayMs;
    long long serialOffset;
    std::string body;
  };
  struct Outcome {
    Clock::time_point at;
    std::vector<Send> sends;
    long long closeMs = -1;  // -1: the server did not close after this request
    bool reset = false;
  };
  Outcome* outcomeLocked(const Ref& ref);
  bool write(bool onlyWhenDue, Clock::time_point now, std::string* error);
  bool replaceFile(const std::string& text, std::string* error) const;

  const std::string path_;
  mutable std::mutex mutex_;  // guards the members below
  std::map<std::string, std::vector<Outcome>> outcomes_;  // by request id, in request order
  std::size_t changes_ = 0;                                // counts every change
  std::size_t written_ = 0;                                // changes_ when last written
  bool writtenOnce_ = false;
  Clock::time_point lastWrite_{};
  std::mutex fileMutex_;  // held while the file is written, so that writes do not overlap
};
