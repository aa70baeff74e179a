#include "SimExchanges.h"

#include <algorithm>
#include <cstdio>

#include <json/json.h>

#include "SimAnswers.h"
#include "SimPacketText.h"
#include "common/JsonText.h"

namespace {

constexpr const char* kFromServer = "server->lane";

std::string serialText(unsigned serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%08u", serial);
  return text;
}

std::string millis(std::chrono::steady_clock::duration d) {
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// The payment a push or a payment request names.
std::string tsSnOf(const std::string& body) {
  Json::Value doc;
  if (!jsontext::parse(body, doc) || !doc.isObject()) return std::string();
  return jsontext::text(doc["NonCashTsSn"]);
}

// A request that the lane sends: one of the library's commands.
bool isRequest(const std::string& cmdId) { return lanecommand::findRequest(cmdId.c_str()) != nullptr; }

template <typename T>
void keepAtMost(std::deque<T>& items, std::size_t most) {
  while (items.size() > most) items.pop_front();
}

}  // namespace

SimExchanges::SimExchanges(unsigned pair, std::string name, SimSummary& summary, SimRecorder* recorder)
    : pair_(pair), name_(std::move(name)), summary_(summary), recorder_(recorder) {}

std::string SimExchanges::requestIdOf(const std::string& cmdId) {
  if (isRequest(cmdId)) return cmdId;
  if (cmdId == simanswers::kPushId || cmdId == simanswers::kAckId) return simanswers::kPaymentId;
  if (cmdId.size() == 5 && cmdId.find_first_not_of("0123456789") == std::string::npos) {
    char request[16];
    std::snprintf(request, sizeof request, "%05d", std::stoi(cmdId) - lanecommand::kAnswerOffset);
    if (isRequest(request)) return request;
  }
  return std::string();
}

void SimExchanges::fromLane(const std::string& cmdId, unsigned serial, const std::string& body,
                            Clock::time_point at) {
  if (!isRequest(cmdId)) return;
  summary_.request(pair_, name_, cmdId);
  Sent sent{cmdId, serial, at, SimRecorder::Ref()};
  if (recorder_ != nullptr) sent.recorded = recorder_->request(cmdId, at);
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.push_back(Waiting{sent, false});
  keepAtMost(waiting_, kMaxRemembered);
  if (cmdId == simanswers::kPaymentId) {
    payments_.push_back(Payment{tsSnOf(body), sent});
    keepAtMost(payments_, kMaxRemembered);
  }
  latest_ = &(latestOf_[cmdId] = sent);
}

SimExchanges::Remark SimExchanges::fromServer(const std::string& cmdId, unsigned serial,
                                              const std::string& body, Clock::time_point at) {
  if (cmdId == simanswers::kPushId) return push(cmdId, serial, body, at);
  const bool isAnswer = !requestIdOf(cmdId).empty() && !isRequest(cmdId) && cmdId != simanswers::kAckId;
  if (isAnswer) return answer(cmdId, serial, body, at);
  std::lock_guard<std::mutex> lock(mutex_);
  recordLocked(nullptr, std::string(), cmdId, serial, body, at);
  return Remark();
}

void SimExchanges::recordLocked(const Sent* request, const std::string& requestId, const std::string& cmdId,
                                unsigned serial, const std::string& body, Clock::time_point at) {
  if (recorder_ == nullptr) return;
  if (request == nullptr) {
    const auto latestOfId = latestOf_.find(requestId);
    request = latestOfId != latestOf_.end() ? &latestOfId->second : latest_;
  }
  // What the server sends before the first request of a pair belongs to no request.
  if (request == nullptr) return;
  long long offset = static_cast<long long>(serial) - request->serial;
  const long long half = simanswers::kSerialModulus / 2;
  if (offset > half) offset -= simanswers::kSerialModulus;
  if (offset <= -half) offset += simanswers::kSerialModulus;
  recorder_->send(request->recorded, cmdId, offset, body, at);
}

void SimExchanges::serverClosed(bool reset, Clock::time_point at) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (recorder_ != nullptr && latest_ != nullptr) recorder_->close(latest_->recorded, reset, at);
}

SimExchanges::Remark SimExchanges::answer(const std::string& cmdId, unsigned serial, const std::string& body,
                                          Clock::time_point at) {
  const std::string requestId = requestIdOf(cmdId);
  Remark remark;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) {
      return w.request.id == requestId && w.request.serial == serial;
    });
    if (found != waiting_.end()) {
      const Clock::duration took = at - found->request.at;
      remark.latency = millis(took) + "ms";
      summary_.answer(pair_, name_, requestId, std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
      recordLocked(&found->request, requestId, cmdId, serial, body, at);
      waiting_.erase(found);
      return remark;
    }
    recordLocked(nullptr, requestId, cmdId, serial, body, at);
  }
  summary_.flag(pair_, name_, requestId);
  remark.flags.push_back("flag " + name_ + " " + kFromServer + " " + cmdId + " " + simtext::commandName(cmdId) +
                         " serial " + serialText(serial) + " matches no waiting request");
  return remark;
}

SimExchanges::Remark SimExchanges::push(const std::string& cmdId, unsigned serial, const std::string& body,
                                        Clock::time_point at) {
  const std::string tsSn = tsSnOf(body);
  Remark remark;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto started = std::find_if(payments_.rbegin(), payments_.rend(),
                                      [&](const Payment& p) { return p.tsSn == tsSn; });
    if (started != payments_.rend()) {
      remark.latency = millis(at - started->request.at) + "ms";
      recordLocked(&started->request, simanswers::kPaymentId, cmdId, serial, body, at);
      return remark;
    }
    recordLocked(nullptr, simanswers::kPaymentId, cmdId, serial, body, at);
  }
  summary_.flag(pair_, name_, simanswers::kPaymentId);
  remark.flags.push_back("flag " + name_ + " " + kFromServer + " " + cmdId + " " + simtext::commandName(cmdId) +
                         " " + serialText(serial) + " for NonCashTsSn \"" + simtext::oneLine(tsSn) +
                         "\" that no payment request started");
  return remark;
}

std::vector<std::string> SimExchanges::overdue(Clock::time_point now) {
  std::vector<std::string> flags;
  std::vector<std::string> ids;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Waiting& w : waiting_) {
      if (w.flagged || now - w.request.at < kNoAnswerAfter) continue;
      w.flagged = true;
      ids.push_back(w.request.id);
      flags.push_back("flag " + name_ + " no answer to " + w.request.id + " " + simtext::commandName(w.request.id) +
                      " " + serialText(w.request.serial) + " after " + std::to_string(kNoAnswerAfter.count()) +
                      " ms");
    }
  }
  for (const std::string& id : ids) summary_.flag(pair_, name_, id);
  return flags;
}

void SimExchanges::badPacket(const std::string& cmdId) { summary_.flag(pair_, name_, requestIdOf(cmdId)); }
