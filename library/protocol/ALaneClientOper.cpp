#include "protocol/ALaneClientOper.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/JsonText.h"
#include "common/Md5.h"
#include "common/ResultCodes.h"
#include "logging/Logger.h"
#include "protocol/FieldCodec.h"
#include "protocol/LaneCommandIds.h"
#include "transport/Packet.h"
#include "transport/PacketFault.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAnswerIdOffset = 3100;                    // an answer's id is its request's + 100
constexpr auto kAckWriteTime = std::chrono::seconds(1);  // bounds the receive thread's stall
constexpr std::size_t kSerialWidth = 8;

// Time-out limits of the request texts, in milliseconds.
constexpr std::uint32_t kSearchTimeOutMin = 500;
constexpr std::uint32_t kSearchTimeOutMax = 30000;
constexpr std::uint32_t kPayTimeOutMin = 500;
constexpr std::uint32_t kPayTimeOutMax = 120000;

constexpr int kNoCardType = -1;

// Holds a channel's busy flag from a successful compare-and-swap until the request leaves.
class BusyClaim {
 public:
  explicit BusyClaim(std::atomic<bool>& flag) : flag_(flag) {
    bool expected = false;
    owned_ = flag_.compare_exchange_strong(expected, true);
  }
  ~BusyClaim() {
    if (owned_) flag_.store(false);
  }
  BusyClaim(const BusyClaim&) = delete;
  BusyClaim& operator=(const BusyClaim&) = delete;
  bool owned() const { return owned_; }

 private:
  std::atomic<bool>& flag_;
  bool owned_ = false;
};

// A member read as text, without creating it when absent.
std::string textOf(const Json::Value& root, const char* key) { return jsontext::text(root[key]); }

}  // namespace

// What a request method checks before it completes the request.
enum class CommandCheck {
  None,
  Password,          // "PassWord" must be text; sent as its digest
  SearchTimeOut,     // "TimeOut" text, 500..30000; the wait is a tenth longer
  SearchTimeOutNum,  // as SearchTimeOut, and "TimeOut" goes out as a number
  PayTimeout,        // "Timeout" text, 500..120000; the two-stage payment wait
};

// The hex and number encodings of the write commands.
struct stWriteEncoding_t {
  bool cashMoney;          // "CashMoney" as a number
  std::size_t plateWidth;  // 0: nothing encoded; else "VehPlate" width, and the 2-digit fields
  bool littleFields;       // "LittleCashMoney", "LittleTime" as 8 hex digits
};

// One command of the protocol: everything in which the request methods differ.
struct stLaneCommand_t {
  BufView<5> id;
  LaneChannel channel;
  const char* opKey;      // the member that names the operation; null: none
  const char* opValue;
  const char* devIdFrom;  // "DevID" mirrors this member; null: no "DevID"
  int cardType;           // "CardType" as a number, or kNoCardType
  CommandCheck check;
  stWriteEncoding_t writes;
};

namespace {

using CC = CommandCheck;
using LC = LaneChannel;

constexpr const char* kRsu = "RSUID";
constexpr const char* kReader = "ReaderID";
constexpr const char* kNoDev = nullptr;
constexpr int kNoCard = kNoCardType;
constexpr stWriteEncoding_t kNoWrite{false, 0, false};
constexpr stWriteEncoding_t kRsuWrite{false, fieldcodec::kPlateHexWidth, false};
constexpr stWriteEncoding_t kRsuWriteGD{false, fieldcodec::kPlateHexWidthGD, true};
constexpr stWriteEncoding_t kReaderWrite{true, fieldcodec::kPlateHexWidth, false};
constexpr stWriteEncoding_t kReaderWriteGD{true, fieldcodec::kPlateHexWidthGD, true};

// The id, name and operation member of a command come from the shared table of command ids.
stLaneCommand_t row(const lanecommand::Request& r, LaneChannel channel, const char* devIdFrom, int cardType,
                    CommandCheck check, stWriteEncoding_t writes) {
  return {BufView<5>(r.id), channel, r.opKey, r.opValue, devIdFrom, cardType, check, writes};
}

namespace lc = lanecommand;

const stLaneCommand_t kCommands[] = {
    // command, channel, DevID source, CardType, check, write encodings
    row(lc::kLaneLogin, LC::Lane, kNoDev, kNoCard, CC::Password, kNoWrite),
    row(lc::kLaneQuit, LC::Lane, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kRSUOpen, LC::Rsu, kRsu, kNoCard, CC::None, kNoWrite),
    row(lc::kRSUClose, LC::Rsu, kRsu, kNoCard, CC::None, kNoWrite),
    row(lc::kOBUSearch, LC::Rsu, kRsu, kNoCard, CC::SearchTimeOut, kNoWrite),
    row(lc::kGetOBUInfo_GD, LC::Rsu, kRsu, kNoCard, CC::None, kNoWrite),
    row(lc::kRSUWriteCard, LC::Rsu, kRsu, kNoCard, CC::None, kRsuWrite),
    row(lc::kCardReaderOpen, LC::CardReader, kReader, kNoCard, CC::None, kNoWrite),
    row(lc::kCardReaderClose, LC::CardReader, kReader, kNoCard, CC::None, kNoWrite),
    row(lc::kCardSearch, LC::CardReader, kReader, kNoCard, CC::SearchTimeOutNum, kNoWrite),
    row(lc::kGetCardInfo, LC::CardReader, kReader, 0, CC::None, kNoWrite),
    row(lc::kCardReaderWriteCard, LC::CardReader, kReader, 0, CC::None, kReaderWrite),
    row(lc::kListUpLoad, LC::List, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kListQuery, LC::List, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kStatusQuery, LC::Status, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kBlackListQuery, LC::BlackList, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kGetCardNo, LC::Rsu, kRsu, kNoCard, CC::None, kNoWrite),
    row(lc::kHeartBeat, LC::HeartBeat, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kRSUWriteCard_GD, LC::Rsu, kRsu, kNoCard, CC::None, kRsuWriteGD),
    row(lc::kCardReaderWriteCard_GD, LC::CardReader, kReader, 1, CC::None, kReaderWriteGD),
    row(lc::kGetOBUInfo, LC::Rsu, kRsu, kNoCard, CC::None, kNoWrite),
    row(lc::kGetCardInfo_GD, LC::CardReader, kReader, 1, CC::None, kNoWrite),
    row(lc::kSendNonCashPay, LC::NonCash, kNoDev, kNoCard, CC::PayTimeout, kNoWrite),
    row(lc::kStopNonCashPay, LC::Stop, kNoDev, kNoCard, CC::None, kNoWrite),
    row(lc::kQueryTransDetail, LC::NonCash, kNoDev, kNoCard, CC::None, kNoWrite),
};

static_assert(sizeof kCommands / sizeof kCommands[0] == static_cast<std::size_t>(LaneCommand::kCount) &&
                  lanecommand::kRequestCount == static_cast<std::size_t>(LaneCommand::kCount),
              "one row per command");

const stLaneCommand_t& rowOf(LaneCommand command) {
  return kCommands[static_cast<std::size_t>(command)];
}

const BufView<5> kPayAckId("03030");

// Reads a time-out text of the request into `ms`. Returns the message of the error result, or null
// when the text reads as a number within [min, max].
const char* readTimeOut(const Json::Value& request, const char* key, std::uint32_t min,
                        std::uint32_t max, const char* notString, const char* notValid,
                        std::uint32_t& ms) {
  const Json::Value& value = request[key];
  if (!value.isString()) return notString;
  ms = fieldcodec::strtoul32(value.asString());
  return (ms < min || ms > max) ? notValid : nullptr;
}

}  // namespace

ALaneClientOper::ALaneClientOper() : ALaneClientOper(stLaneClientSetup_t()) {}

ALaneClientOper::ALaneClientOper(const stLaneClientSetup_t& setup)
    : ATcpClient(setup.logName, setup.listener),
      clock_(setup.clock != nullptr ? *setup.clock : WaitClock::steady()),
      serials_(setup.serials != nullptr ? *setup.serials : SerialSource::processWide()),
      faults_(setup.logName, clock_) {}

ALaneClientOper::~ALaneClientOper() {
  // The channels go before the base's destructor would stop the receive thread.
  closeSocket();
}

void ALaneClientOper::onLinkDown() {
  Channel* const channels[] = {&laneChannel,      &rsuChannel,       &cardReaderChannel,
                               &listChannel,      &blackListChannel, &heartBeatChannel,
                               &statusChannel,    &nonCashChannel,   &stopChannel};
  for (Channel* channel : channels) {
    // Taken and given back so that a waiter between its check and its wait is in the wait now.
    { const std::lock_guard<std::mutex> lock(channel->mtx); }
    channel->cond.notify_all();
  }
}

int ALaneClientOper::makeErrorResult(const char* message, std::string& out) {
  Json::Value error(Json::objectValue);
  error["ErrMsg"] = message;
  error["Result"] = "3";
  out = jsontext::styled(error);
  return result::kRejected;
}

ALaneClientOper::Channel& ALaneClientOper::channelOf(LaneChannel which) {
  switch (which) {
    case LaneChannel::Lane: return laneChannel;
    case LaneChannel::Rsu: return rsuChannel;
    case LaneChannel::CardReader: return cardReaderChannel;
    case LaneChannel::List: return listChannel;
    case LaneChannel::BlackList: return blackListChannel;
    case LaneChannel::HeartBeat: return heartBeatChannel;
    case LaneChannel::Status: return statusChannel;
    case LaneChannel::NonCash: return nonCashChannel;
    case LaneChannel::Stop: return stopChannel;
  }
  throw std::logic_error("no such channel");
}

std::chrono::steady_clock::time_point ALaneClientOper::startRequest(Channel& channel,
                                                                    unsigned packetSerial,
                                                                    unsigned timeOutMs) const {
  channel.startTime = clock_.now();
  channel.result = result::kNoResponse;
  channel.respBody.clear();
  channel.answered = false;
  channel.waiting = true;
  std::snprintf(channel.serialNo, sizeof channel.serialNo, "%08u", packetSerial);
  return channel.startTime + std::chrono::milliseconds(timeOutMs);
}

int ALaneClientOper::abandon(Channel& channel) {
  std::lock_guard<std::mutex> lock(channel.mtx);
  channel.waiting = false;
  return result::kNotWritten;
}

bool ALaneClientOper::sendRequest(Channel& channel, Json::Value& request,
                                  std::pair<unsigned, unsigned> serials, const BufView<5>& cmdId,
                                  Clock::time_point deadline, unsigned link) {
  request["OpSerialNo"] = std::to_string(serials.first);
  const std::string text = channel.writer.write(request);
  return writeOnLink(link, text.data(), static_cast<long long>(text.size()), cmdId, serials.second,
                     deadline);
}

int ALaneClientOper::Operation(Json::Value& request, Channel& channel, unsigned timeOutMs,
                               const BufView<5>& cmdId, std::string& out) {
  BusyClaim claim(channel.busy);
  if (!claim.owned()) return result::kChannelBusy;
  // The connection the request goes out on: once it changes, the answer cannot come.
  const unsigned link = linkState();
  if (!isUp(link)) return result::kNotWritten;
  const auto serials = incSerialSeq();
  Clock::time_point deadline;
  {
    std::lock_guard<std::mutex> lock(channel.mtx);
    deadline = startRequest(channel, serials.second, timeOutMs);
  }
  if (!sendRequest(channel, request, serials, cmdId, deadline, link)) return abandon(channel);

  std::unique_lock<std::mutex> lock(channel.mtx);
  clock_.waitUntil(lock, channel.cond, deadline,
                   [&] { return channel.answered || linkState() != link; });
  channel.waiting = false;
  out = channel.respBody;
  return channel.answered ? channel.result : result::kNoResponse;
}

int ALaneClientOper::payOperation(Json::Value& request, unsigned timeOutMs,
                                  const BufView<5>& cmdId, std::string& out) {
  NonCashChannel& channel = nonCashChannel;
  BusyClaim claim(channel.busy);
  if (!claim.owned()) return result::kChannelBusy;
  const unsigned link = linkState();
  if (!isUp(link)) return result::kNotWritten;
  const auto serials = incSerialSeq();
  const std::string tsSn = textOf(request, "NonCashTsSn");
  Clock::time_point deadline;
  {
    std::lock_guard<std::mutex> lock(channel.mtx);
    deadline = startRequest(channel, serials.second, timeOutMs);
    channel.payStopped = false;
    channel.payResult = result::kNoResponse;
    channel.payBody.clear();
    channel.pushArrived = false;
    channel.tsSn = tsSn;
  }
  if (!sendRequest(channel, request, serials, cmdId, deadline, link)) return abandon(channel);

  std::unique_lock<std::mutex> lock(channel.mtx);
  clock_.waitUntil(lock, channel.cond, deadline, [&] {
    return channel.answered || channel.payStopped || linkState() != link;
  });
  // The answer is in or will not come; the push is matched by its NonCashTsSn instead.
  channel.waiting = false;
  if (channel.payStopped) return result::kNoResponse;
  if (!channel.answered || channel.result != result::kOk) {
    out = channel.respBody;
    return channel.answered ? channel.result : result::kNoResponse;
  }
  // Accepted: a connection that goes down now takes the result push with it, so the payment's
  // outcome is unknown to the caller (2) and QueryTransDetail tells it.
  clock_.waitUntil(lock, channel.cond, deadline, [&] {
    return channel.pushArrived || channel.payStopped || linkState() != link;
  });
  out = channel.payBody;
  return channel.pushArrived ? channel.payResult : result::kNoResponse;
}

void ALaneClientOper::stopPayment() {
  {
    std::lock_guard<std::mutex> lock(nonCashChannel.mtx);
    nonCashChannel.payStopped = true;
  }
  // Woken after the lock is released, so the waiter does not block on it at once.
  nonCashChannel.cond.notify_all();
}

int ALaneClientOper::runText(LaneCommand command, const char* json, std::string& out) {
  Json::Value request;
  if (json == nullptr || !jsontext::parse(json, json + std::strlen(json), request)) {
    return makeErrorResult("Invalid Json", out);
  }
  return runCommand(command, request, out);
}

int ALaneClientOper::runCommand(LaneCommand which, Json::Value& request, std::string& out) {
  if (!request.isObject()) return makeErrorResult("Invalid Json", out);
  const stLaneCommand_t& command = rowOf(which);

  std::uint64_t timeOutMs = uiTimeOut();
  std::uint32_t given = 0;
  const char* rejected = nullptr;
  switch (command.check) {
    case CommandCheck::None:
      break;
    case CommandCheck::Password:
      if (!request["PassWord"].isString()) return makeErrorResult("PassWord is not string", out);
      request["PassWord"] = md5(request["PassWord"].asString());
      break;
    case CommandCheck::SearchTimeOut:
    case CommandCheck::SearchTimeOutNum:
      rejected = readTimeOut(request, "TimeOut", kSearchTimeOutMin, kSearchTimeOutMax,
                             "TimeOut is not string", "TimeOut is not valid", given);
      if (rejected != nullptr) return makeErrorResult(rejected, out);
      if (command.check == CommandCheck::SearchTimeOutNum) request["TimeOut"] = given;
      timeOutMs = std::uint64_t{given} + given / 10;  // a tenth longer than the device waits
      break;
    case CommandCheck::PayTimeout:
      rejected = readTimeOut(request, "Timeout", kPayTimeOutMin, kPayTimeOutMax,
                             "Timeout is not string", "Timeout is not valid", given);
      if (rejected != nullptr) return makeErrorResult(rejected, out);
      timeOutMs = given;
      break;
  }

  const stWriteEncoding_t& writes = command.writes;
  if (writes.cashMoney) fieldcodec::cashMoneyField(request, "CashMoney");
  if (writes.plateWidth != 0) {
    fieldcodec::plateToHexField(request, "VehPlate", writes.plateWidth);
    for (const char* key : {"VehType", "VehClass", "OutFlag"}) {
      fieldcodec::toHexField(request, key, fieldcodec::kSmallHexWidth);
    }
    if (writes.littleFields) {
      for (const char* key : {"LittleCashMoney", "LittleTime"}) {
        fieldcodec::toHexField(request, key, fieldcodec::kWideHexWidth);
      }
    }
  }
  if (command.opKey != nullptr) request[command.opKey] = command.opValue;
  if (command.cardType != kNoCardType) request["CardType"] = command.cardType;
  if (command.devIdFrom != nullptr) request["DevID"] = request[command.devIdFrom];

  const auto ms = static_cast<unsigned>(timeOutMs);
  if (command.check == CommandCheck::PayTimeout) return payOperation(request, ms, command.id, out);
  // The stop is applied before its request goes out, whether or not a payment waits.
  if (command.channel == LaneChannel::Stop) stopPayment();
  return Operation(request, channelOf(command.channel), ms, command.id, out);
}

// ---- Request methods ----------------------------------------------------------------------------

int ALaneClientOper::LaneLogin(const char* json, std::string& out) {
  return runText(LaneCommand::LaneLogin, json, out);
}
int ALaneClientOper::LaneQuit(const char* json, std::string& out) {
  return runText(LaneCommand::LaneQuit, json, out);
}
int ALaneClientOper::RSUOpen(const char* json, std::string& out) {
  return runText(LaneCommand::RSUOpen, json, out);
}
int ALaneClientOper::RSUClose(const char* json, std::string& out) {
  return runText(LaneCommand::RSUClose, json, out);
}
int ALaneClientOper::OBUSearch(const char* json, std::string& out) {
  return runText(LaneCommand::OBUSearch, json, out);
}
int ALaneClientOper::GetOBUInfo_GD(const char* json, std::string& out) {
  return runText(LaneCommand::GetOBUInfo_GD, json, out);
}
int ALaneClientOper::RSUWriteCard(const char* json, std::string& out) {
  return runText(LaneCommand::RSUWriteCard, json, out);
}
int ALaneClientOper::CardReaderOpen(const char* json, std::string& out) {
  return runText(LaneCommand::CardReaderOpen, json, out);
}
int ALaneClientOper::CardReaderClose(const char* json, std::string& out) {
  return runText(LaneCommand::CardReaderClose, json, out);
}
int ALaneClientOper::CardSearch(const char* json, std::string& out) {
  return runText(LaneCommand::CardSearch, json, out);
}
int ALaneClientOper::GetCardInfo(const char* json, std::string& out) {
  return runText(LaneCommand::GetCardInfo, json, out);
}
int ALaneClientOper::CardReaderWriteCard(const char* json, std::string& out) {
  return runText(LaneCommand::CardReaderWriteCard, json, out);
}
int ALaneClientOper::ListUpLoad(const char* json, std::string& out) {
  return runText(LaneCommand::ListUpLoad, json, out);
}
int ALaneClientOper::ListQuery(const char* json, std::string& out) {
  return runText(LaneCommand::ListQuery, json, out);
}
int ALaneClientOper::StatusQuery(const char* json, std::string& out) {
  return runText(LaneCommand::StatusQuery, json, out);
}
int ALaneClientOper::BlackListQuery(const char* json, std::string& out) {
  return runText(LaneCommand::BlackListQuery, json, out);
}
int ALaneClientOper::GetCardNo(const char* json, std::string& out) {
  return runText(LaneCommand::GetCardNo, json, out);
}
int ALaneClientOper::HeartBeat(const char* json, std::string& out) {
  return runText(LaneCommand::HeartBeat, json, out);
}
int ALaneClientOper::RSUWriteCard_GD(const char* json, std::string& out) {
  return runText(LaneCommand::RSUWriteCard_GD, json, out);
}
int ALaneClientOper::CardReaderWriteCard_GD(const char* json, std::string& out) {
  return runText(LaneCommand::CardReaderWriteCard_GD, json, out);
}
int ALaneClientOper::GetOBUInfo(const char* json, std::string& out) {
  return runText(LaneCommand::GetOBUInfo, json, out);
}
int ALaneClientOper::GetCardInfo_GD(const char* json, std::string& out) {
  return runText(LaneCommand::GetCardInfo_GD, json, out);
}
int ALaneClientOper::SendNonCashPay(const char* json, std::string& out) {
  return runText(LaneCommand::SendNonCashPay, json, out);
}
int ALaneClientOper::StopNonCashPay(const char* json, std::string& out) {
  return runText(LaneCommand::StopNonCashPay, json, out);
}
int ALaneClientOper::QueryTransDetail(const char* json, std::string& out) {
  return runText(LaneCommand::QueryTransDetail, json, out);
}

// ---- Dispatch of received packets ---------------------------------------------------------------

void ALaneClientOper::handlePackage(int cmdId, const char* data, unsigned len) {
  try {
    switch (cmdId) {
      case 3101: case 3102:
        getLaneRespon(cmdId, data, len);
        break;
      case 3103: case 3104: case 3105: case 3106: case 3107: case 3120: case 3123: case 3125:
      case 3127:
        getRSURespon(cmdId, data, len);
        break;
      case 3108: case 3109: case 3110: case 3111: case 3112: case 3124: case 3126: case 3128:
        getCARDRespon(cmdId, data, len);
        break;
      case 3113: case 3114:
        getListUpLoadRespon(cmdId, data, len);
        break;
      case 3115:
        break;
      case 3116:
        getStatusQueryRespon(cmdId, data, len);
        break;
      case 3117:
        getBlackListRespon(cmdId, data, len);
        break;
      case 3121:
        getHeartBeatRespon(cmdId, data, len);
        break;
      case 3129: case 3132:
        getNonCashRespon(cmdId, data, len);
        break;
      case 3130:
        getNonCashPay(cmdId, data, len);
        break;
      case 3131:
        getNonCashStopRespon(cmdId, data, len);
        break;
      default:
        std::fprintf(stderr, "no this cmdid:%d from server.\n", cmdId - kAnswerIdOffset);
        logFault(data, len, [&] {
          return "unknown command id " + packetfault::printable(data, packet::kCmdIdWidth);
        });
        break;
    }
  } catch (const std::exception& e) {
    // A malformed answer must not end the receive thread; its waiter runs into the deadline.
    logFault(data, len, [&] { return std::string("answer could not be read: ") + e.what(); });
  } catch (...) {
  }
}

void ALaneClientOper::handleBadPacket(const char* head, std::size_t readable, ScanSkip why) {
  faults_.write(head + packet::kCmdIdOffset, head + packet::kSerialOffset,
                [&] { return packetfault::describe(head, readable, why); });
}

void ALaneClientOper::onReceiveIdle() { faults_.flush(); }

void ALaneClientOper::logFault(const char* data, unsigned len, FunctionRef<std::string()> reason) {
  if (data == nullptr || len < packet::kMessageBodyOffset) return;
  faults_.write(data, data + packet::kMessageSerialOffset, reason);
}

void ALaneClientOper::getLaneRespon(int, const char* data, unsigned len) {
  storeAnswer(laneChannel, AnswerKind::Generic, "lane server", data, len);
}
void ALaneClientOper::getRSURespon(int, const char* data, unsigned len) {
  storeAnswer(rsuChannel, AnswerKind::Rsu, "RSU", data, len);
}
void ALaneClientOper::getCARDRespon(int, const char* data, unsigned len) {
  storeAnswer(cardReaderChannel, AnswerKind::CardReader, "CardReader", data, len);
}
void ALaneClientOper::getListUpLoadRespon(int, const char* data, unsigned len) {
  storeAnswer(listChannel, AnswerKind::Generic, "list server", data, len);
}
void ALaneClientOper::getStatusQueryRespon(int, const char* data, unsigned len) {
  storeAnswer(statusChannel, AnswerKind::Status, "status server", data, len);
}
void ALaneClientOper::getHeartBeatRespon(int, const char* data, unsigned len) {
  storeAnswer(heartBeatChannel, AnswerKind::Generic, "heartbeat server", data, len);
}
void ALaneClientOper::getBlackListRespon(int, const char* data, unsigned len) {
  storeAnswer(blackListChannel, AnswerKind::Generic, "blacklist server", data, len);
}
void ALaneClientOper::getNonCashRespon(int, const char* data, unsigned len) {
  storeAnswer(nonCashChannel, AnswerKind::Generic, "noncash server", data, len);
}
void ALaneClientOper::getNonCashStopRespon(int, const char* data, unsigned len) {
  storeAnswer(stopChannel, AnswerKind::Generic, "noncash stop server", data, len);
}

namespace {

// What became of an answer, for its log line; Delivered needs none.
enum class AnswerFate { Delivered, WrongSerial, Unreadable, Unawaited, Refused };

// Why a body was not taken: "answer is not JSON", or parsed yet no object.
std::string unreadableText(const char* what, bool parsed) {
  return std::string(what) + (parsed ? " is not a JSON object" : " is not JSON");
}

// "ErrorCode "-3", the call returns -3": why a stored answer fails its call.
std::string refusalText(const Json::Value& root, int code) {
  const std::string returns = ", the call returns " + std::to_string(code);
  if (!root.isMember("ErrorCode")) return "no ErrorCode" + returns;
  const std::string text = textOf(root, "ErrorCode");
  return "ErrorCode \"" + packetfault::printable(text.data(), text.size()) + "\"" + returns;
}

}  // namespace

void ALaneClientOper::storeAnswer(Channel& channel, AnswerKind kind, const char* logName,
                                  const char* data, unsigned len) {
  if (data == nullptr || len < packet::kMessageBodyOffset) return;
  const char* body = data + packet::kMessageBodyOffset;
  const char* end = data + len;
  const char* serial = data + packet::kMessageSerialOffset;

  AnswerFate fate = AnswerFate::Delivered;
  Json::Value root;
  bool parsed = false;
  int answerCode = result::kOk;
  {
    std::lock_guard<std::mutex> lock(channel.mtx);
    if (channel.serialNo[0] == '\0' || std::memcmp(serial, channel.serialNo, kSerialWidth) != 0) {
      logLine('E', "%s seq wrong\n", logName);
      fate = AnswerFate::WrongSerial;
    } else if (!(parsed = answerReader_.parse(body, end, root)) || !root.isObject()) {
      fate = AnswerFate::Unreadable;
    } else {
      // A late or repeated answer is still stored, though no request waits for it any more.
      const bool awaited = channel.waiting && !channel.answered;
      switch (kind) {
        case AnswerKind::Generic:
        case AnswerKind::Status:
          channel.respBody.assign(body, end);
          break;
        case AnswerKind::Rsu: {
          const int op = fieldcodec::readCode(textOf(root, "OpType"));
          if (op == 2) fieldcodec::convertCardNoAnswer(root);
          if (op == 3) fieldcodec::convertObuInfoAnswer(root);
          channel.respBody = answerWriter_.write(root);
          break;
        }
        case AnswerKind::CardReader: {
          const int op = fieldcodec::readCode(textOf(root, "ICReaderOP"));
          if (op == 2) fieldcodec::convertCardInfoAnswer(root);
          const Json::Value& code = static_cast<const Json::Value&>(root)["ErrorCode"];
          if (code.isInt()) root["ErrorCode"] = std::to_string(code.asInt());
          channel.respBody = answerWriter_.write(root);
          break;
        }
      }
      // The code is read after the text is stored: an unreadable "ErrorCode" type leaves the text
      // for the caller, who then waits out the deadline.
      channel.result = kind == AnswerKind::Status ? result::kOk
                                                  : fieldcodec::readCode(textOf(root, "ErrorCode"));
      channel.answered = true;
      answerCode = channel.result;
      if (!awaited) fate = AnswerFate::Unawaited;
      if (awaited && answerCode != result::kOk) fate = AnswerFate::Refused;
    }
  }
  // Woken after the lock is released, so the waiter does not block on it at once.
  if (fate != AnswerFate::WrongSerial && fate != AnswerFate::Unreadable) channel.cond.notify_all();
  switch (fate) {
    case AnswerFate::Delivered:
      return;
    case AnswerFate::WrongSerial:
    case AnswerFate::Unawaited:
      logFault(data, len, [&] {
        return "serial " + packetfault::printable(serial, kSerialWidth) +
               " matches no waiting request";
      });
      return;
    case AnswerFate::Unreadable:
      logFault(data, len, [&] { return unreadableText("answer", parsed); });
      return;
    case AnswerFate::Refused:
      logFault(data, len, [&] { return refusalText(root, answerCode); });
      return;
  }
}

void ALaneClientOper::getNonCashPay(int, const char* data, unsigned len) {
  if (data == nullptr || len < packet::kMessageBodyOffset) return;
  const char* body = data + packet::kMessageBodyOffset;
  const char* end = data + len;
  Json::Value push;
  const bool parsed = answerReader_.parse(body, end, push);
  if (!parsed || !push.isObject()) {
    logFault(data, len, [&] { return unreadableText("push", parsed); });
    return;
  }
  const std::string tsSn = textOf(push, "NonCashTsSn");
  bool matched = false;
  int code = result::kOk;
  {
    std::lock_guard<std::mutex> lock(nonCashChannel.mtx);
    matched = tsSn == nonCashChannel.tsSn;
    if (matched) {
      nonCashChannel.payBody.assign(body, end);
      code = nonCashChannel.payResult = fieldcodec::readCode(textOf(push, "ErrorCode"));
      nonCashChannel.pushArrived = true;
    }
  }
  if (!matched) {
    logFault(data, len, [&] {
      return "NonCashTsSn \"" + packetfault::printable(tsSn.data(), tsSn.size()) +
             "\" matches no waiting payment";
    });
    return;
  }
  nonCashChannel.cond.notify_all();
  if (code != result::kOk) logFault(data, len, [&] { return refusalText(push, code); });
  const Json::Value& received = push;
  Json::Value ack(Json::objectValue);
  ack["UserName"] = received["UserName"];
  ack["OpSerialNo"] = received["OpSerialNo"];
  ack["Result"] = "0";
  const std::string text = answerWriter_.write(ack);
  const int serial = fieldcodec::readCode(
      std::string(data + packet::kMessageSerialOffset, kSerialWidth));
  writeData(text.data(), static_cast<long long>(text.size()), kPayAckId,
            static_cast<unsigned>(serial), Clock::now() + kAckWriteTime);
}
