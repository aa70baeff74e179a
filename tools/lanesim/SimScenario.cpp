#include "SimScenario.h"

#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>

#include "SimAnswers.h"
#include "common/JsonText.h"

namespace simscenario {

using simfaults::fail;

namespace {

constexpr std::size_t kCmdIdWidth = 5;

// Reads one member into its target; false (with the reason in *why) when it does not fit.
template <typename Target>
using MemberReaders = std::map<std::string, std::function<bool(const Json::Value&, Target&, std::string*)>>;

// Reads every member of the object `doc` with its reader; `where` names the object in reasons.
template <typename Target>
bool readMembers(const Json::Value& doc, const std::string& where, const MemberReaders<Target>& readers,
                 Target& out, std::string* error) {
  if (!doc.isObject()) return fail(error, where + " must be an object");
  for (const std::string& name : doc.getMemberNames()) {
    const auto reader = readers.find(name);
    if (reader == readers.end()) return fail(error, where + ": unknown member \"" + name + "\"");
    std::string why;
    if (!reader->second(doc[name], out, &why)) return fail(error, where + "." + name + " " + why);
  }
  return true;
}

bool readBool(const Json::Value& v, bool& target, std::string* why) {
  if (!v.isBool()) {
    *why = "must be true or false";
    return false;
  }
  target = v.asBool();
  return true;
}

bool readDelay(const Json::Value& v, int& target, std::string* why) {
  if (!v.isIntegral() || !v.isInt() || v.asInt() < 0 || v.asInt() > kMaxDelayMs) {
    *why = "must be an integer from 0 to " + std::to_string(kMaxDelayMs);
    return false;
  }
  target = v.asInt();
  return true;
}

bool readObject(const Json::Value& v, Json::Value& target, std::string* why) {
  if (!v.isObject()) {
    *why = "must be an object";
    return false;
  }
  target = v;
  return true;
}

bool readNames(const Json::Value& v, std::vector<std::string>& target, std::string* why) {
  if (!v.isArray()) {
    *why = "must be an array of member names";
    return false;
  }
  std::vector<std::string> names;
  for (const Json::Value& name : v) {
    if (!name.isString()) {
      *why = "must be an array of member names";
      return false;
    }
    names.push_back(name.asString());
  }
  target = names;
  return true;
}

bool readText(const Json::Value& v, std::string& target, std::string* why) {
  if (!v.isString()) {
    *why = "must be a string";
    return false;
  }
  target = v.asString();
  return true;
}

const MemberReaders<CommandBehaviour>& behaviourReaders() {
  static const MemberReaders<CommandBehaviour> readers = {
      {"ErrorCode", [](const Json::Value& v, CommandBehaviour& b, std::string*) {
         b.errorCode = v;
         return true;
       }},
      {"Members", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readObject(v, b.members, why);
       }},
      {"Remove", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readNames(v, b.removeMembers, why);
       }},
      {"RawBody", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readText(v, b.rawBody, why);
       }},
      {"DelayMs", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readDelay(v, b.delayMs, why);
       }},
      {"NoAnswer", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.noAnswer, why);
       }},
      {"WrongSerial", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.wrongSerial, why);
       }},
      {"CloseConnection", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.closeConnection, why);
       }},
      {"PushDelayMs", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readDelay(v, b.pushDelayMs, why);
       }},
      {"NoPush", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.noPush, why);
       }},
      {"ForcePush", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.forcePush, why);
       }},
      {"PushBeforeAnswer", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readBool(v, b.pushBeforeAnswer, why);
       }},
      {"PushMembers", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readObject(v, b.pushMembers, why);
       }},
      {"PushRemove", [](const Json::Value& v, CommandBehaviour& b, std::string* why) {
         return readNames(v, b.pushRemoveMembers, why);
       }},
  };
  return readers;
}

// The top-level text settings and where they go.
const std::map<std::string, std::string SimSettings::*>& settingMembers() {
  static const std::map<std::string, std::string SimSettings::*> members = {
      {"CardNo", &SimSettings::cardNo},
      {"Plate", &SimSettings::plate},
      {"OBUID", &SimSettings::obuId},
      {"OBUNO", &SimSettings::obuNo},
  };
  return members;
}

constexpr const char* kCommandsMember = "Commands";
constexpr const char* kFaultsMember = "Faults";

// A request id of the scenario: one that is answered, up to five digits. Empty (with the reason)
// when it is not.
std::string requestIdOf(const std::string& where, const std::string& key, std::string* error) {
  std::string cmdId = normaliseCmdId(key);
  if (simanswers::isRequestId(cmdId)) return cmdId;
  fail(error, where + ": \"" + key + "\" is not an answered request id (03001 to 03032 but 03030)");
  return std::string();
}

const MemberReaders<ReplaySend>& replaySendReaders() {
  static const MemberReaders<ReplaySend> readers = {
      {kReplayId, [](const Json::Value& v, ReplaySend& send, std::string* why) {
         send.cmdId = v.isString() ? normaliseCmdId(v.asString()) : std::string();
         if (send.cmdId.empty()) *why = "must be a command id of up to five digits";
         return !send.cmdId.empty();
       }},
      {kReplayDelayMs, [](const Json::Value& v, ReplaySend& send, std::string* why) {
         return readDelay(v, send.delayMs, why);
       }},
      {kReplaySerialOffset, [](const Json::Value& v, ReplaySend& send, std::string* why) {
         const auto modulus = static_cast<Json::Int64>(simanswers::kSerialModulus);
         if (!v.isInt64() || v.asInt64() <= -modulus || v.asInt64() >= modulus) {
           *why = "must be an integer between -100000000 and 100000000";
           return false;
         }
         send.serialOffset = v.asInt64();
         return true;
       }},
      {kReplayBody, [](const Json::Value& v, ReplaySend& send, std::string* why) {
         return readText(v, send.body, why);
       }},
  };
  return readers;
}

const MemberReaders<ReplayEntry>& replayEntryReaders() {
  static const MemberReaders<ReplayEntry> readers = {
      {kReplaySends, [](const Json::Value& v, ReplayEntry& entry, std::string* why) {
         if (!v.isArray()) {
           *why = "must be an array";
           return false;
         }
         for (Json::ArrayIndex i = 0; i < v.size(); ++i) {
           ReplaySend send;
           const std::string where = "[" + std::to_string(i) + "]";
           if (!readMembers(v[i], where, replaySendReaders(), send, why)) return false;
           if (send.cmdId.empty()) return fail(why, where + " has no " + kReplayId);
           entry.sends.push_back(send);
         }
         return true;
       }},
      {kReplayCloseMs, [](const Json::Value& v, ReplayEntry& entry, std::string* why) {
         return readDelay(v, entry.closeMs, why);
       }},
      {kReplayReset, [](const Json::Value& v, ReplayEntry& entry, std::string* why) {
         return readBool(v, entry.reset, why);
       }},
  };
  return readers;
}

bool parseReplay(const Json::Value& doc, ReplayQueues& out, std::string* error) {
  if (!doc.isObject()) return fail(error, std::string(kReplayMember) + " must be an object");
  ReplayQueues read;
  for (const std::string& key : doc.getMemberNames()) {
    const std::string cmdId = requestIdOf(kReplayMember, key, error);
    if (cmdId.empty()) return false;
    const std::string where = std::string(kReplayMember) + "." + key;
    if (read.count(cmdId) != 0) return fail(error, std::string(kReplayMember) + ": " + cmdId + " is given twice");
    if (!doc[key].isArray()) return fail(error, where + " must be an array");
    std::deque<ReplayEntry>& queue = read[cmdId];
    for (Json::ArrayIndex i = 0; i < doc[key].size(); ++i) {
      ReplayEntry entry;
      if (!readMembers(doc[key][i], where + "[" + std::to_string(i) + "]", replayEntryReaders(), entry, error)) {
        return false;
      }
      queue.push_back(entry);
    }
  }
  out = read;
  return true;
}

}  // namespace

std::string normaliseCmdId(const std::string& cmdId) {
  if (cmdId.empty() || cmdId.size() > kCmdIdWidth) return std::string();
  for (char c : cmdId) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::string();
  }
  return std::string(kCmdIdWidth - cmdId.size(), '0') + cmdId;
}

bool parse(const Json::Value& doc, SimSettings& settings,
           std::map<std::string, CommandBehaviour>& commands, ReplayQueues& replay, std::string* error) {
  if (!doc.isObject()) return fail(error, "a scenario must be a JSON object");
  SimSettings newSettings = settings;
  std::map<std::string, CommandBehaviour> newCommands;
  ReplayQueues newReplay;
  const auto& textSettings = settingMembers();
  for (const std::string& name : doc.getMemberNames()) {
    const Json::Value& value = doc[name];
    auto setting = textSettings.find(name);
    if (setting != textSettings.end()) {
      if (!value.isString()) return fail(error, name + " must be a string");
      newSettings.*(setting->second) = value.asString();
    } else if (name == kFaultsMember) {
      if (!simfaults::parse(value, newSettings.faults, error)) return false;
    } else if (name == kCommandsMember) {
      if (!value.isObject()) return fail(error, "Commands must be an object");
      for (const std::string& key : value.getMemberNames()) {
        const std::string cmdId = requestIdOf(kCommandsMember, key, error);
        if (cmdId.empty()) return false;
        if (newCommands.count(cmdId) != 0) {
          return fail(error, "Commands: " + cmdId + " is given twice");
        }
        CommandBehaviour behaviour;
        if (!readMembers(value[key], "Commands." + cmdId, behaviourReaders(), behaviour, error)) return false;
        newCommands[cmdId] = behaviour;
      }
    } else if (name == kReplayMember) {
      if (!parseReplay(value, newReplay, error)) return false;
    } else {
      return fail(error, "unknown member \"" + name + "\"");
    }
  }
  settings = newSettings;
  commands = newCommands;
  replay = newReplay;
  return true;
}

bool loadFile(const std::string& path,
              const std::function<bool(const Json::Value&, std::string*)>& load, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(error, "cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  Json::Value doc;
  if (!jsontext::parse(text.str(), doc)) return fail(error, path + " is not a JSON text");
  std::string why;
  if (!load(doc, &why)) return fail(error, path + ": " + why);
  return true;
}

}  // namespace simscenario
