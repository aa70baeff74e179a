// What the lane-server simulator does with each request, and the scenario document that sets it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "SimFaults.h"

// What the simulator does with one request id.
struct CommandBehaviour {
  Json::Value errorCode;           // null: default "0"; otherwise the value sent as "ErrorCode" (any JSON type)
  Json::Value members;             // object: members added or replaced in the answer
  std::vector<std::string> removeMembers;  // members taken out of the answer
  std::string rawBody;             // when not empty: sent as the answer body instead of the JSON answer
  int delayMs = 0;                 // answer delay
  bool noAnswer = false;
  bool wrongSerial = false;        // answer with another serial
  bool closeConnection = false;    // close the connection instead of answering (after delayMs)
  int pushDelayMs = 0;             // 03029 only: time between the answer and the push
  bool noPush = false;             // 03029 only
  bool forcePush = false;          // 03029 only: push even when the answer is not "ErrorCode" "0" or not sent
  bool pushBeforeAnswer = false;   // 03029 only: the push goes first, the answer pushDelayMs later
  Json::Value pushMembers;         // 03029 only: members added/replaced in the push
  std::vector<std::string> pushRemoveMembers;  // 03029 only: members taken out of the push
};

// Settings that shape the default answers.
struct SimSettings {
  static constexpr const char* kDefaultCardNo = "44011001220000123456";
  static constexpr const char* kDefaultPlate = "A12345";
  static constexpr const char* kDefaultObuId = "0A1B2C3D";
  static constexpr const char* kDefaultObuNo = "4401000012345678";

  std::string cardNo = kDefaultCardNo;  // "CardNo" of card search, card info and card number answers
  std::string plate = kDefaultPlate;    // plate bytes, sent hex-coded in the plate members
  std::string obuId = kDefaultObuId;    // "OBUID" of OBU search and OBU info answers
  std::string obuNo = kDefaultObuNo;    // "OBUNO" of the same answers
  SimFaultPlan faults;                  // faults injected into what is sent, per connection
};

// One packet of a recorded outcome: sent `delayMs` after the request, with the request's serial
// plus `serialOffset` (modulo 100000000).
struct ReplaySend {
  std::string cmdId;
  int delayMs = 0;
  long long serialOffset = 0;
  std::string body;
};

// What the server did with one recorded request: the packets it sent for it and, when `closeMs` is
// not negative, a close of the connection that long after the request (a reset with `reset`).
struct ReplayEntry {
  std::vector<ReplaySend> sends;
  int closeMs = -1;
  bool reset = false;
};

// The recorded outcomes by request id, each list in the order its requests came.
using ReplayQueues = std::map<std::string, std::deque<ReplayEntry>>;

namespace simscenario {

// Longest delay a scenario may ask for.
using simfaults::kMaxDelayMs;

// The members of a recorded session ("Replay").
constexpr const char* kReplayMember = "Replay";
constexpr const char* kReplaySends = "Sends";
constexpr const char* kReplayId = "Id";
constexpr const char* kReplayDelayMs = "DelayMs";
constexpr const char* kReplaySerialOffset = "SerialOffset";
constexpr const char* kReplayBody = "Body";
constexpr const char* kReplayCloseMs = "CloseMs";
constexpr const char* kReplayReset = "Reset";

// A command id as the simulator keys it: up to five digits, zero-padded to five ("3010" gives
// "03010"). Empty when the text is not such a number.
std::string normaliseCmdId(const std::string& cmdId);

// Reads a scenario document. On success `settings` holds the given top-level settings over its
// previous values, `commands` the behaviour of every listed request id and `replay` the recorded
// outcomes; on failure none is touched and `error` (when given) tells what is wrong.
bool parse(const Json::Value& doc, SimSettings& settings,
           std::map<std::string, CommandBehaviour>& commands, ReplayQueues& replay, std::string* error);

// Reads the JSON file at `path` and hands the document to `load`. False, with the reason prefixed
// by the path, when the file cannot be read, is not JSON or `load` refuses it.
bool loadFile(const std::string& path,
              const std::function<bool(const Json::Value&, std::string*)>& load, std::string* error);

}  // namespace simscenario
