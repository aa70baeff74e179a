#include "SimAnswers.h"

#include <cstdio>
#include <map>

#include "common/JsonText.h"
#include "transport/Packet.h"

namespace simanswers {

namespace {

constexpr int kFirstRequest = 3001;
constexpr int kLastRequest = 3032;
constexpr int kAck = 3030;

// Plate members are fixed-size byte fields: 12 bytes, 10 for the variants of "44" cards.
constexpr std::size_t kPlateWidth = 24;
constexpr std::size_t kPlateWidthGd = 20;

// Defaults of the hex-coded vehicle and card data.
constexpr unsigned kBalance = 1000;          // in cents
constexpr unsigned kVehClass = 1;
constexpr unsigned kVehUserType = 0;
constexpr unsigned kVehType = 1;
constexpr const char* kObuVehSize = "11940320";  // 4500 x 3 x 32 (length, width, height codes)
constexpr unsigned kWheelNo = 4;
constexpr unsigned kAxleNo = 2;
constexpr unsigned kWheelbase = 2700;
constexpr unsigned kWeight = 4500;
constexpr unsigned kLittleCashMoney = 100;
constexpr unsigned kLittleTime = 60;

constexpr const char* kKeyServiceNo = "00000001";
constexpr const char* kTradeType = "09";
constexpr const char* kTermCode = "440100000001";
constexpr unsigned kCardTradeNoMask = 0xFFFF;

// Status answer: device ids 0 and 1 of both devices.
constexpr int kStatusDevices = 2;

// Ids that no lane command sends but whose answers echo the operation member alike.
const std::map<int, const char*>& echoOnlyOps() {
  static const std::map<int, const char*> ops = {{3027, "OpType"}, {3028, "ICReaderOP"}};
  return ops;
}

std::string hexField(unsigned long long value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llX", width, value);
  return text;
}

// Copies the request's member when present, else sets the fallback (when there is one).
void echo(Json::Value& out, const Json::Value& request, const char* name,
          const char* fallback = nullptr) {
  if (request.isMember(name)) {
    out[name] = request[name];
  } else if (fallback != nullptr) {
    out[name] = fallback;
  }
}

void cardData(Json::Value& out, const SimSettings& settings) {
  out["CardNo"] = settings.cardNo;
  out["Balance"] = hexField(kBalance, 8);
  out["CardPlate"] = plateHex(settings.plate, kPlateWidth);
  out["CardVehClass"] = hexField(kVehClass, 2);
  out["CardVehUserType"] = hexField(kVehUserType, 2);
}

void vehicleData(Json::Value& out, const SimSettings& settings, std::size_t plateWidth) {
  out["VehPlate"] = plateHex(settings.plate, plateWidth);
  out["VehType"] = hexField(kVehType, 2);
  out["VehClass"] = hexField(kVehClass, 2);
  out["LittleCashMoney"] = hexField(kLittleCashMoney, 8);
  out["LittleTime"] = hexField(kLittleTime, 8);
}

void obuData(Json::Value& out, const SimSettings& settings) {
  out["OBUID"] = settings.obuId;
  out["OBUNO"] = settings.obuNo;
  out["OBUPlate"] = plateHex(settings.plate, kPlateWidth);
  out["OBUVehClass"] = hexField(kVehClass, 2);
  out["OBUVehUserType"] = hexField(kVehUserType, 2);
  out["OBUVehSize"] = kObuVehSize;
  out["OBUWheelNo"] = hexField(kWheelNo, 2);
  out["OBUAxieNo"] = hexField(kAxleNo, 2);
  out["OBUWheelbase"] = hexField(kWheelbase, 4);
  out["OBUWeight"] = hexField(kWeight, 8);
}

void tradeData(Json::Value& out, const Json::Value& request, const SimSettings& settings,
               unsigned tradeNo) {
  const std::string termTradeNo = hexField(tradeNo, 8);
  const std::string cardNo = request.isMember("CardNo") && request["CardNo"].isString()
                                 ? request["CardNo"].asString()
                                 : settings.cardNo;
  const std::string signedText = cardNo + termTradeNo;
  out["CardNo"] = cardNo;
  out["KeyServiceNo"] = kKeyServiceNo;
  out["TradeType"] = kTradeType;
  out["TermTradeNo"] = termTradeNo;
  out["CardTradeNo"] = hexField(tradeNo & kCardTradeNoMask, 4);
  out["TermCode"] = kTermCode;
  out["Tac"] = hexField(packet::crc32(signedText.data(), signedText.size()), 8);
}

void statusData(Json::Value& out, const platform::LocalTime& now) {
  const std::string lastTime = timeText(now);
  for (const char* prefix : {"CardReader", "RSU"}) {
    for (int id = 0; id < kStatusDevices; ++id) {
      const std::string suffix = std::to_string(id);
      out[prefix + std::string("Status") + suffix] = "0";
      out[prefix + std::string("LastTime") + suffix] = lastTime;
      out[prefix + std::string("ErrorMsg") + suffix] = "";
    }
  }
}

}  // namespace

bool acceptsPayment(const std::string& answerBody) {
  Json::Value doc;
  if (!jsontext::parse(answerBody, doc) || !doc.isObject()) return false;
  const Json::Value& code = doc["ErrorCode"];
  return code.isString() && code.asString() == "0";
}

bool isRequestId(const std::string& cmdId) {
  if (cmdId.size() != 5 || cmdId.compare(0, 2, "03") != 0) return false;
  for (char c : cmdId) {
    if (c < '0' || c > '9') return false;
  }
  const int id = std::stoi(cmdId);
  return id >= kFirstRequest && id <= kLastRequest && id != kAck;
}

std::string answerId(const std::string& requestId) {
  char text[16];
  std::snprintf(text, sizeof text, "%05d", std::stoi(requestId) + lanecommand::kAnswerOffset);
  return text;
}

Json::Value answer(const std::string& requestId, const Json::Value& request,
                   const SimSettings& settings, unsigned tradeNo, const platform::LocalTime& now) {
  const Json::Value req = request.isObject() ? request : Json::Value(Json::objectValue);
  Json::Value out(Json::objectValue);
  out["ErrorCode"] = "0";
  echo(out, req, "OpSerialNo");

  const int id = std::stoi(requestId);
  const lanecommand::Request* command = lanecommand::findRequest(requestId.c_str());
  if (command != nullptr && command->opKey != nullptr) echo(out, req, command->opKey, command->opValue);
  const auto echoOnly = echoOnlyOps().find(id);
  if (echoOnly != echoOnlyOps().end()) echo(out, req, echoOnly->second);

  switch (id) {
    case 3001:
      out["ServerTime"] = timeText(now);
      break;
    case 3005:
      out["OBUID"] = settings.obuId;
      out["OBUNO"] = settings.obuNo;
      break;
    case 3006:  // the variant for "44" cards
    case 3025:
      cardData(out, settings);
      obuData(out, settings);
      vehicleData(out, settings, id == 3006 ? kPlateWidthGd : kPlateWidth);
      break;
    case 3007:
    case 3012:
    case 3023:
    case 3024:
      tradeData(out, req, settings, tradeNo);
      break;
    case 3010:
      out["CardNo"] = settings.cardNo;
      break;
    case 3011:
    case 3026:  // the variant for "44" cards
      cardData(out, settings);
      echo(out, req, "CardType");
      vehicleData(out, settings, id == 3026 ? kPlateWidthGd : kPlateWidth);
      break;
    case 3014:
      out["ListCount"] = "0";
      break;
    case 3016:
      statusData(out, now);
      break;
    case 3017:
      echo(out, req, "CardNo", settings.cardNo.c_str());
      out["BlackFlag"] = "0";
      break;
    case 3020:
      cardData(out, settings);
      break;
    case 3021:
      out["ServerTime"] = timeText(now);
      break;
    case 3029:
    case 3031:
      echo(out, req, "NonCashTsSn");
      break;
    case 3032:
      echo(out, req, "NonCashTsSn");
      out["PayStatus"] = "0";
      out["PayTime"] = timeText(now);
      break;
    default:
      break;
  }
  return out;
}

Json::Value push(const Json::Value& request) {
  const Json::Value req = request.isObject() ? request : Json::Value(Json::objectValue);
  Json::Value out(Json::objectValue);
  out["ErrorCode"] = "0";
  echo(out, req, "NonCashTsSn");
  echo(out, req, "UserName");
  echo(out, req, "OpSerialNo");
  return out;
}

void applyOverrides(Json::Value& doc, const Json::Value& members,
                    const std::vector<std::string>& remove) {
  if (members.isObject()) {
    for (const std::string& name : members.getMemberNames()) doc[name] = members[name];
  }
  for (const std::string& name : remove) doc.removeMember(name);
}

std::string plateHex(const std::string& plate, std::size_t width) {
  std::string out;
  for (unsigned char c : plate) out += hexField(c, 2);
  out.resize(width, '0');
  return out;
}

std::string timeText(const platform::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

}  // namespace simanswers
