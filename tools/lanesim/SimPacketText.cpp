#include "SimPacketText.h"

#include <cstdio>
#include <map>

#include <json/json.h>

#include "common/JsonText.h"
#include "protocol/LaneCommandIds.h"
#include "transport/Packet.h"

namespace simtext {

namespace {

constexpr const char* kUnknownName = "unknown";
constexpr const char* kAnswerSuffix = "-answer";
constexpr char kAnswerMark = '1';  // third digit of an answer id: 031xx answers 030xx
constexpr std::size_t kAnswerMarkAt = 2;

const std::map<std::string, const char*>& names() {
  static const std::map<std::string, const char*> table = [] {
    std::map<std::string, const char*> byId;
    for (const lanecommand::Request* r : lanecommand::kRequests) byId[r->id] = r->name;
    byId[lanecommand::kPayAckId] = lanecommand::kPayAckName;
    return byId;
  }();
  return table;
}

}  // namespace

std::string commandName(const std::string& cmdId) {
  if (cmdId == lanecommand::kPayResultId) return lanecommand::kPayResultName;
  const auto& table = names();
  const auto request = table.find(cmdId);
  if (request != table.end()) return request->second;
  if (cmdId.size() == packet::kCmdIdWidth && cmdId[kAnswerMarkAt] == kAnswerMark) {
    std::string requestId = cmdId;
    requestId[kAnswerMarkAt] = '0';
    const auto answered = table.find(requestId);
    if (answered != table.end()) return answered->second + std::string(kAnswerSuffix);
  }
  return kUnknownName;
}

std::string oneLine(const std::string& body) {
  Json::Value doc;
  if (jsontext::parse(body, doc) && (doc.isObject() || doc.isArray())) {
    static const Json::StreamWriterBuilder builder = [] {
      Json::StreamWriterBuilder b;
      b["indentation"] = "";
      b["commentStyle"] = "None";
      b["emitUTF8"] = true;
      return b;
    }();
    return Json::writeString(builder, doc);
  }
  std::string out;
  for (unsigned char c : body) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string packetLine(const std::string& direction, const std::string& connection,
                       const std::string& cmdId, unsigned serial, const std::string& body,
                       const std::string& remark) {
  char serialText[16];
  std::snprintf(serialText, sizeof serialText, " %08u ", serial);
  return direction + ' ' + connection + ' ' + cmdId + ' ' + commandName(cmdId) + serialText +
         (remark.empty() ? std::string() : remark + ' ') + oneLine(body);
}

unsigned serialOf(const char* field) {
  unsigned value = 0;
  for (std::size_t i = 0; i < packet::kFieldWidth; ++i) {
    if (field[i] < '0' || field[i] > '9') return 0;
    value = value * 10 + static_cast<unsigned>(field[i] - '0');
  }
  return value;
}

}  // namespace simtext
