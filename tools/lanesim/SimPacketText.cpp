#include "SimPacketText.h"

#include <cstdio>

#include <json/json.h>

#include "common/JsonText.h"
#include "protocol/LaneCommandIds.h"
#include "transport/Packet.h"

namespace simtext {

std::string commandName(const std::string& cmdId) {
  if (cmdId.size() != packet::kCmdIdWidth) return lanecommand::kUnknownName;
  const lanecommand::WireName name = lanecommand::wireName(cmdId.c_str());
  return std::string(name.name) + name.suffix;
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
