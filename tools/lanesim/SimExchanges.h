// The requests of one forwarded pair and what the server sent back: pairs each answer with the
// request it answers and times it, flags an answer or a payment push that matches nothing and a
// request left without an answer, counts it all into the summary, and records what the server
// sent as the outcome of the request it belongs to.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "SimRecorder.h"
#include "SimSummary.h"

class SimExchanges {
 public:
  using Clock = std::chrono::steady_clock;
  // A request still without an answer this long after it went to the server is flagged.
  static constexpr std::chrono::milliseconds kNoAnswerAfter{3000};
  // Requests, and payments, remembered at most; the oldest go first.
  static constexpr std::size_t kMaxRemembered = 10000;

  // What a packet from the server adds to the printing of it.
  struct Remark {
    std::string latency;             // the time since the request it answers, "12ms"; empty: none
    std::vector<std::string> flags;  // whole flag lines
  };

  // `pair` and `name` ("#1") as the pair's lines name it. What the server sent back for every
  // request also goes to `recorder` when there is one. Both must outlive this.
  SimExchanges(unsigned pair, std::string name, SimSummary& summary, SimRecorder* recorder = nullptr);
  SimExchanges(const SimExchanges&) = delete;
  SimExchanges& operator=(const SimExchanges&) = delete;

  // A checked packet that the lane sent, and one that the server sent, at `at`. Any thread.
  void fromLane(const std::string& cmdId, unsigned serial, const std::string& body, Clock::time_point at);
  Remark fromServer(const std::string& cmdId, unsigned serial, const std::string& body, Clock::time_point at);
  // The flag lines of the requests that have waited kNoAnswerAfter by `now`, each told once.
  std::vector<std::string> overdue(Clock::time_point now);
  // A candidate packet with this command id (empty: none readable) failed its checks.
  void badPacket(const std::string& cmdId);
  // The server closed its side (`reset`: with a reset) at `at`.
  void serverClosed(bool reset, Clock::time_point at);

  // The request id that a packet with this id belongs to in the summary: a lane command's own, an
  // answer's request, the payment for its push and acknowledgement; empty for any other id.
  static std::string requestIdOf(const std::string& cmdId);

 private:
  // A request sent, where its outcome is recorded.
  struct Sent {
    std::string id;
    unsigned serial = 0;
    Clock::time_point at{};
    SimRecorder::Ref recorded;
  };
  struct Waiting {
    Sent request;
    bool flagged;
  };
  struct Payment {
    std::string tsSn;
    Sent request;
  };
  Remark answer(const std::string& cmdId, unsigned serial, const std::string& body, Clock::time_point at);
  Remark push(const std::string& cmdId, unsigned serial, const std::string& body, Clock::time_point at);
  // Records a packet of the server as part of the outcome of `request`, or of the latest request of
  // `requestId` (or else of any id) when `request` is null. The caller holds mutex_.
  void recordLocked(const Sent* request, const std::string& requestId, const std::string& cmdId,
                    unsigned serial, const std::string& body, Clock::time_point at);

  const unsigned pair_;
  const std::string name_;
  SimSummary& summary_;
  SimRecorder* const recorder_;
  std::mutex mutex_;  // guards the members below
  std::deque<Waiting> waiting_;    // in the order they were sent
  std::deque<Payment> payments_;   // payment requests, by their NonCashTsSn
  std::map<std::string, Sent> latestOf_;  // the latest request of every id
  const Sent* latest_ = nullptr;          // the latest request, in latestOf_
};
