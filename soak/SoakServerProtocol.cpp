#include "SoakServerProtocol.h"

#include <json/json.h>

#include "common/JsonText.h"

namespace soak {

namespace {

constexpr const char* kPushes = "pushes";
constexpr const char* kStray = "stray";

}  // namespace

std::string acksText(const ServerAcks& acks) {
  Json::Value lanes(Json::arrayValue);
  for (const LaneAcks& lane : acks) {
    Json::Value entry(Json::objectValue);
    entry[kPushes] = Json::Value(Json::objectValue);
    for (const auto& push : lane.pushes) entry[kPushes][push.first] = push.second;
    entry[kStray] = static_cast<Json::UInt64>(lane.stray);
    lanes.append(entry);
  }
  Json::StreamWriterBuilder oneLine;
  oneLine["indentation"] = "";
  return Json::writeString(oneLine, lanes);
}

bool parseAcks(const std::string& text, ServerAcks& acks) {
  Json::Value doc;
  if (!jsontext::parse(text, doc) || !doc.isArray() || doc.size() != kLaneServers) return false;
  ServerAcks parsed;
  for (Json::ArrayIndex i = 0; i < kLaneServers; ++i) {
    const Json::Value& lane = doc[i];
    if (!lane.isObject() || !lane[kPushes].isObject() || !lane[kStray].isUInt64()) return false;
    for (const std::string& tsSn : lane[kPushes].getMemberNames()) {
      const Json::Value& count = lane[kPushes][tsSn];
      if (!count.isInt()) return false;
      parsed[i].pushes[tsSn] = count.asInt();
    }
    parsed[i].stray = static_cast<std::size_t>(lane[kStray].asUInt64());
  }
  acks = std::move(parsed);
  return true;
}

}  // namespace soak
