#include "SimRecorder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "SimScenario.h"

namespace {

constexpr const char* kTemporarySuffix = ".part";

long long millisBetween(SimRecorder::Clock::time_point from, SimRecorder::Clock::time_point to) {
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
  return std::min<long long>(std::max<long long>(ms, 0), simscenario::kMaxDelayMs);
}

std::string documentText(const Json::Value& doc) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  builder["commentStyle"] = "None";
  builder["emitUTF8"] = true;  // bodies keep their bytes as received
  return Json::writeString(builder, doc) + "\n";
}

}  // namespace

SimRecorder::SimRecorder(std::string path) : path_(std::move(path)) {}

SimRecorder::Ref SimRecorder::request(const std::string& requestId, Clock::time_point at) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Outcome>& outcomes = outcomes_[requestId];
  outcomes.push_back(Outcome{at, {}, -1, false});
  ++changes_;
  return Ref{requestId, outcomes.size() - 1};
}

SimRecorder::Outcome* SimRecorder::outcomeLocked(const Ref& ref) {
  const auto found = outcomes_.find(ref.requestId);
  if (found == outcomes_.end() || ref.index >= found->second.size()) return nullptr;
  return &found->second[ref.index];
}

void SimRecorder::send(const Ref& ref, const std::string& cmdId, long long serialOffset,
                       const std::string& body, Clock::time_point at) {
  std::lock_guard<std::mutex> lock(mutex_);
  Outcome* outcome = outcomeLocked(ref);
  if (outcome == nullptr) return;
  outcome->sends.push_back(Send{cmdId, millisBetween(outcome->at, at), serialOffset, body});
  ++changes_;
}

void SimRecorder::close(const Ref& ref, bool reset, Clock::time_point at) {
  std::lock_guard<std::mutex> lock(mutex_);
  Outcome* outcome = outcomeLocked(ref);
  if (outcome == nullptr || outcome->closeMs >= 0) return;
  outcome->closeMs = millisBetween(outcome->at, at);
  outcome->reset = reset;
  ++changes_;
}

Json::Value SimRecorder::scenario() const {
  Json::Value replay(Json::objectValue);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& byId : outcomes_) {
    Json::Value& list = replay[byId.first] = Json::Value(Json::arrayValue);
    for (const Outcome& outcome : byId.second) {
      Json::Value entry(Json::objectValue);
      entry[simscenario::kReplaySends] = Json::Value(Json::arrayValue);
      for (const Send& send : outcome.sends) {
        Json::Value s(Json::objectValue);
        s[simscenario::kReplayId] = send.cmdId;
        s[simscenario::kReplayDelayMs] = static_cast<Json::Int64>(send.delayMs);
        if (send.serialOffset != 0) s[simscenario::kReplaySerialOffset] = static_cast<Json::Int64>(send.serialOffset);
        s[simscenario::kReplayBody] = send.body;
        entry[simscenario::kReplaySends].append(s);
      }
      if (outcome.closeMs >= 0) {
        entry[simscenario::kReplayCloseMs] = static_cast<Json::Int64>(outcome.closeMs);
        if (outcome.reset) entry[simscenario::kReplayReset] = true;
      }
      list.append(entry);
    }
  }
  Json::Value doc(Json::objectValue);
  doc[simscenario::kReplayMember] = replay;
  return doc;
}

bool SimRecorder::writeIfDue(Clock::time_point now, std::string* error) { return write(true, now, error); }

bool SimRecorder::writeNow(std::string* error) { return write(false, Clock::now(), error); }

bool SimRecorder::write(bool onlyWhenDue, Clock::time_point now, std::string* error) {
  // One writer at a time, and the document taken under it: a later write never loses to an
  // earlier one. A write that is only due leaves it to the one under way (and to the next
  // interval), so that no forwarding thread waits for another's file.
  std::unique_lock<std::mutex> file(fileMutex_, std::defer_lock);
  if (onlyWhenDue) {
    if (!file.try_lock()) return true;
  } else {
    file.lock();
  }
  std::size_t changes = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (writtenOnce_ && changes_ == written_) return true;
    if (onlyWhenDue && now - lastWrite_ < kWriteInterval) return true;
    changes = changes_;
  }
  const bool written = replaceFile(documentText(scenario()), error);
  std::lock_guard<std::mutex> lock(mutex_);
  lastWrite_ = now;  // a failed write too: it is tried again an interval later, not at once
  if (written) {
    written_ = changes;
    writtenOnce_ = true;
  }
  return written;
}

bool SimRecorder::replaceFile(const std::string& text, std::string* error) const {
  // Written beside the file and then put in its place, so that the file is whole at any time.
  const std::string part = path_ + kTemporarySuffix;
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return simfaults::fail(error, "cannot write " + part);
  }
  std::error_code ec;
  std::filesystem::rename(part, path_, ec);
  if (ec) return simfaults::fail(error, "cannot write " + path_ + ": " + ec.message());
  return true;
}
