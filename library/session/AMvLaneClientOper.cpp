#include "session/AMvLaneClientOper.h"

#include <chrono>
#include <exception>
#include <string>

#include "common/BufView.h"
#include "common/JsonText.h"
#include "common/ResultCodes.h"
#include "logging/Logger.h"

namespace {

constexpr unsigned kMsPerSecond = 1000;
constexpr std::size_t kIdentityField = 5;  // 4 characters and the NUL
constexpr std::size_t kCardNoMinLength = 2;
constexpr char kGdCardPrefix[] = "44";
constexpr char kEmptyRequest[] = "{}";

std::string identityField(const char* format, unsigned value) {
  char area[kIdentityField] = {};
  BufView<kIdentityField>(area).szprintf(format, static_cast<int>(value));
  return area;
}

// A member of a document that may not be an object: null unless the document has it.
Json::Value memberOf(const Json::Value& doc, const char* name) {
  return doc.isObject() ? doc.get(name, Json::Value()) : Json::Value();
}

// Parses an answer into a document whose members can be set: an object, or null.
bool parseAnswer(const std::string& text, Json::Value& doc) {
  return jsontext::parse(text, doc) && (doc.isObject() || doc.isNull());
}

bool isUsableCardNo(const Json::Value& cardNo) {
  return jsontext::isStringOfAtLeast(cardNo, kCardNoMinLength);
}

bool isGdCardNo(const Json::Value& cardNo) {
  return cardNo.asString().compare(0, sizeof kGdCardPrefix - 1, kGdCardPrefix) == 0;
}

// What names the lane's connection in log lines.
std::string laneName(const stMvLaneInfo_t& info) { return "Lane " + std::to_string(info.LaneNo); }

// A failing result of a request to the lane server, in words for the log.
std::string failureText(int code) {
  switch (code) {
    case result::kChannelBusy: return "its channel was busy (1)";
    case result::kNoResponse: return "no answer (2)";
    case result::kNotWritten: return "not sent (6)";
    case result::kBadErrorCode: return "an answer whose code is no number (998)";
    default: return "refused with code " + std::to_string(code);
  }
}

long long millisecondsBetween(WaitClock::Clock::time_point from, WaitClock::Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Runs one step of the heartbeat thread, from which nothing may escape: an exception is logged.
template <typename Step>
void runStep(unsigned lane, const char* name, Step&& step) noexcept {
  try {
    step();
    return;
  } catch (const std::exception& e) {
    try {
      logLine('E', "Lane %u %s failed: %s\n", lane, name, e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      logLine('E', "Lane %u %s failed\n", lane, name);
    } catch (...) {
    }
  }
}

}  // namespace

AMvLaneClientOper::AMvLaneClientOper(const stMvLaneInfo_t& info, const WaitClock& clock)
    : laneClient([&] {
        stLaneClientSetup_t setup;
        setup.logName = laneName(info);
        setup.listener = &linkWatch;
        return setup;
      }()),
      linkWatch(*this),
      beatClock(clock),
      laneInfo(info),
      identity(identityOf(info)),
      readerIdText(std::to_string(info.ReaderID)),
      rsuIdText(std::to_string(info.RSUID)),
      backoff(std::chrono::seconds(info.HeartBeatTime), beatClock.now()) {
  laneClient.setUiTimeOut(static_cast<unsigned>(laneInfo.TimeOut) * kMsPerSecond);
}

AMvLaneClientOper::~AMvLaneClientOper() { Uninit(); }

ALaneClientOper* AMvLaneClientOper::client() { return &laneClient; }

std::array<AMvLaneClientOper::IdentityMember, 6> AMvLaneClientOper::identityOf(
    const stMvLaneInfo_t& info) {
  return {{{"UserName", info.UserName},
           {"ProvinceNo", identityField("%02d", info.ProvinceNo)},
           {"CityNo", identityField("%02d", info.CityNo)},
           {"AreaNo", identityField("%04d", info.AreaNo)},
           {"GateNo", identityField("%02d", info.GateNo)},
           {"LaneNo", identityField("%02d", info.LaneNo)}}};
}

void AMvLaneClientOper::prologue(Json::Value& request) const {
  for (const IdentityMember& member : identity) request[member.name] = member.value;
}

// ---- Lifecycle -----------------------------------------------------------------------------------

int AMvLaneClientOper::Init() {
  Uninit();
  const int connected = laneClient.connectToServer(laneInfo.IpAddr.c_str(), laneInfo.Port);
  if (connected != result::kOk) return connected;

  Json::Value request(Json::objectValue);
  request["UserName"] = laneInfo.UserName;
  const std::string statusText = jsontext::styled(request);
  request["PassWord"] = laneInfo.PassWord;
  prologue(request);
  const std::string loginText = jsontext::styled(request);

  std::string scratch;
  const int login = laneClient.LaneLogin(loginText.c_str(), scratch);
  if (login != result::kOk) logFailure("login", login);
  {
    std::lock_guard<std::mutex> lock(statusMutex);
    status = Json::Value(Json::objectValue);
    status["Connection"] = "0";
    status["HeartBeat"] = std::to_string(login);
    status["CardReaderStatus"] = Json::Value();
    status["RSUStatus"] = Json::Value();
  }
  reconnectFailed = false;
  outageStart = {};
  failedAttempts = 0;
  {
    std::lock_guard<std::mutex> lock(heartBeatMutex);
    running = true;
  }
  heartBeatThread =
      std::thread(&AMvLaneClientOper::heartBeatLoop, this, statusText, loginText);
  return result::kOk;
}

void AMvLaneClientOper::Uninit() {
  // Each step on its own, so that the socket is closed even when an earlier step failed.
  try {
    stopHeartBeat();
  } catch (...) {
  }
  try {
    autoLogout();
  } catch (...) {
  }
  try {
    laneClient.closeSocket();
  } catch (...) {
  }
}

void AMvLaneClientOper::stopHeartBeat() {
  {
    std::lock_guard<std::mutex> lock(heartBeatMutex);
    running = false;
  }
  heartBeatCond.notify_all();
  if (heartBeatThread.joinable()) heartBeatThread.join();
}

void AMvLaneClientOper::autoLogout() {
  if (laneInfo.AutoLogout == 0) return;
  Json::Value request(Json::objectValue);
  prologue(request);
  std::string scratch;
  laneClient.LaneQuit(jsontext::styled(request).c_str(), scratch);
}

// ---- Heartbeat thread ----------------------------------------------------------------------------

void AMvLaneClientOper::heartBeatLoop(const std::string& statusText,
                                      const std::string& loginText) {
  const unsigned lane = laneInfo.LaneNo;
  bool queryStatus = true;
  for (;;) {
    if (queryStatus)
      runStep(lane, "status query", [&] { updateDevStatus(statusText.c_str()); });
    bool goOn = false;
    bool waited = false;
    // A wait that throws leaves no safe way to pace the loop: the thread quits.
    runStep(lane, "wait", [&] {
      goOn = waitNextBeat();
      waited = true;
    });
    if (!goOn) {
      if (!waited) runStep(lane, "abandon", [this] { abandonLane(); });
      runStep(lane, "quit", [] { logLine('I', "Heart Beat Thread Quit\n"); });
      return;
    }
    queryStatus = false;
    runStep(lane, "heartbeat", [&] { queryStatus = updateHeartHeat(loginText.c_str()); });
  }
}

void AMvLaneClientOper::abandonLane() {
  try {
    laneClient.closeSocket();
  } catch (...) {
    // The status must still tell the truth.
  }
  setStatus("Connection", std::to_string(result::kConnectFailed));
  // Last, so that whoever sees the lane stopped also sees it closed.
  std::lock_guard<std::mutex> lock(heartBeatMutex);
  running = false;
}

bool AMvLaneClientOper::isRunning() {
  std::lock_guard<std::mutex> lock(heartBeatMutex);
  return running;
}

void AMvLaneClientOper::LinkWatch::linkUp() {
  std::lock_guard<std::mutex> lock(session_.heartBeatMutex);
  session_.backoff.connected(session_.beatClock.now());
}

void AMvLaneClientOper::LinkWatch::linkLost() {
  {
    std::lock_guard<std::mutex> lock(session_.heartBeatMutex);
    session_.backoff.lost(session_.beatClock.now());
  }
  session_.heartBeatCond.notify_all();
}

bool AMvLaneClientOper::waitNextBeat() {
  std::unique_lock<std::mutex> lock(heartBeatMutex);
  if (reconnectFailed) {
    beatClock.waitUntil(lock, heartBeatCond, backoff.notBefore(), [this] { return !running; });
    return running;
  }
  // A lost connection ends the wait: its heartbeat then fails at once and the reconnect follows.
  const auto deadline = beatClock.now() + std::chrono::seconds(laneInfo.HeartBeatTime);
  beatClock.waitUntil(lock, heartBeatCond, deadline,
                      [this] { return !running || !laneClient.isConnected(); });
  return running;
}

bool AMvLaneClientOper::pauseBeforeReconnect() {
  std::unique_lock<std::mutex> lock(heartBeatMutex);
  beatClock.waitUntil(lock, heartBeatCond, backoff.notBefore(), [this] { return !running; });
  return running;
}

bool AMvLaneClientOper::updateHeartHeat(const char* loginText) {
  std::string scratch;
  const int beat = laneClient.HeartBeat(kEmptyRequest, scratch);
  if (beat == result::kOk) {
    std::lock_guard<std::mutex> lock(statusMutex);
    status["Connection"] = "0";
    status["HeartBeat"] = "0";
    return true;
  }
  if (beat < 0) {
    // The server answered and refused: log in again on the same connection.
    const int login = laneClient.LaneLogin(loginText, scratch);
    setStatus("HeartBeat", std::to_string(login));
    if (login == result::kOk)
      logLine('I', "Login Success\n");
    else
      logLine('I', "Login Failed ErrorCode = [%d]\n", login);
    return true;
  }

  setStatus("Connection", std::to_string(beat));
  // A connection that went down has said so already, and each retry of a lane that is down
  // logs one line of its own (the failed connect's).
  if (laneClient.isConnected()) logFailure("heartbeat", beat);
  if (outageStart == WaitClock::Clock::time_point{}) outageStart = beatClock.now();
  logLine('I', "Heart Beat Failed, try to reconnect\n");
  if (!pauseBeforeReconnect()) return false;
  {
    std::lock_guard<std::mutex> lock(heartBeatMutex);
    backoff.attempt();
  }
  const int connected = laneClient.connectToServer(laneInfo.IpAddr.c_str(), laneInfo.Port);
  setStatus("Connection", std::to_string(connected));
  if (connected != result::kOk) {
    {
      std::lock_guard<std::mutex> lock(heartBeatMutex);
      backoff.failed(beatClock.now());
    }
    reconnectFailed = true;
    ++failedAttempts;
    logLine('I', "Reconnect Failed\n");
    return false;
  }
  reconnectFailed = false;
  logLine('I', "Reconnect Success\n");
  logLine('I', "Lane %u: connection to %s:%u back after %lld ms, %u failed attempts\n",
          static_cast<unsigned>(laneInfo.LaneNo), laneInfo.IpAddr.c_str(),
          static_cast<unsigned>(laneInfo.Port), millisecondsBetween(outageStart, beatClock.now()),
          failedAttempts);
  outageStart = {};
  failedAttempts = 0;
  const int login = laneClient.LaneLogin(loginText, scratch);
  setStatus("HeartBeat", std::to_string(login));
  if (login != result::kOk) logFailure("login", login);
  return login == result::kOk;
}

void AMvLaneClientOper::logFailure(const char* what, int code) const {
  logLine('E', "Lane %u: %s to %s:%u failed: %s\n", static_cast<unsigned>(laneInfo.LaneNo), what,
          laneInfo.IpAddr.c_str(), static_cast<unsigned>(laneInfo.Port), failureText(code).c_str());
}

void AMvLaneClientOper::updateDevStatus(const char* statusText) {
  std::string text;
  if (laneClient.StatusQuery(statusText, text) != result::kOk) return;
  Json::Value answer;
  if (!jsontext::parse(text, answer) || !answer.isObject()) return;
  Json::Value reader = deviceObject(answer, "CardReader", laneInfo.ReaderID);
  Json::Value rsu = deviceObject(answer, "RSU", laneInfo.RSUID);
  std::lock_guard<std::mutex> lock(statusMutex);
  status["CardReaderStatus"].swap(reader);
  status["RSUStatus"].swap(rsu);
}

Json::Value AMvLaneClientOper::deviceObject(const Json::Value& answer, const char* prefix,
                                            int id) const {
  if (id < 0) return Json::Value();
  Json::Value device(Json::objectValue);
  const std::string suffix = std::to_string(id);
  for (const char* name : {"Status", "LastTime", "ErrorMsg"}) {
    const Json::Value& value = answer[std::string(prefix) + name + suffix];
    device[name] = value.isString() ? value : Json::Value("");
  }
  return device;
}

void AMvLaneClientOper::setStatus(const char* member, const Json::Value& value) {
  std::lock_guard<std::mutex> lock(statusMutex);
  status[member] = value;
}

int AMvLaneClientOper::ETCStatusQuery(const char* /*input*/, std::string& output) {
  std::lock_guard<std::mutex> lock(statusMutex);
  output = jsontext::styled(status);
  return result::kOk;
}

// ---- Lane operations -----------------------------------------------------------------------------

bool AMvLaneClientOper::prepareRequest(const char* input, Device device, Json::Value& request,
                                       std::string& output) const {
  if (!jsontext::parse(input == nullptr ? "" : input, request) ||
      !(request.isObject() || request.isNull())) {
    output.clear();
    return false;
  }
  prologue(request);
  if (device == Device::CardReader) request["ReaderID"] = readerIdText;
  if (device == Device::Rsu) request["RSUID"] = rsuIdText;
  return true;
}

int AMvLaneClientOper::forward(const char* input, std::string& output, Device device,
                               LaneCommand command) {
  Json::Value request;
  if (!prepareRequest(input, device, request, output)) return result::kRejected;
  return laneClient.runCommand(command, request, output);
}

// The two-step operations hand the first command a copy: the command completes its request in
// place, and the second request starts from the caller's, not from the first one's.

int AMvLaneClientOper::ReaderRead(const char* input, std::string& output) {
  Json::Value request;
  if (!prepareRequest(input, Device::CardReader, request, output)) return result::kRejected;
  Json::Value search = request;
  const int searched = laneClient.runCommand(LaneCommand::CardSearch, search, output);
  if (searched != result::kOk) return searched;

  Json::Value response;
  if (!parseAnswer(output, response)) return result::kUnusableAnswer;
  const Json::Value cardNo = memberOf(response, "CardNo");
  if (!isUsableCardNo(cardNo)) return result::kUnusableAnswer;
  request["CardNo"] = cardNo;

  const int read = laneClient.runCommand(
      isGdCardNo(cardNo) ? LaneCommand::GetCardInfo_GD : LaneCommand::GetCardInfo, request, output);
  if (!parseAnswer(output, response)) return result::kUnusableAnswer;
  response["CardNo"] = cardNo;
  output = jsontext::styled(response);
  return read;
}

int AMvLaneClientOper::ReaderWrite(const char* input, std::string& output) {
  Json::Value request;
  if (!prepareRequest(input, Device::CardReader, request, output)) return result::kRejected;
  const Json::Value& cardNo = request["CardNo"];
  if (!isUsableCardNo(cardNo)) return result::kRejected;
  const LaneCommand write =
      isGdCardNo(cardNo) ? LaneCommand::CardReaderWriteCard_GD : LaneCommand::CardReaderWriteCard;
  return laneClient.runCommand(write, request, output);
}

int AMvLaneClientOper::RSURead(const char* input, std::string& output) {
  Json::Value request;
  if (!prepareRequest(input, Device::Rsu, request, output)) return result::kRejected;
  Json::Value search = request;
  const int searched = laneClient.runCommand(LaneCommand::OBUSearch, search, output);
  if (searched != result::kOk) return searched;

  Json::Value response;
  if (!parseAnswer(output, response)) return result::kUnusableAnswer;
  const Json::Value obuId = memberOf(response, "OBUID");
  const Json::Value obuNo = memberOf(response, "OBUNO");
  request["OBUID"] = obuId;
  request["OBUNO"] = obuNo;

  const int read = laneClient.runCommand(LaneCommand::GetOBUInfo, request, output);
  if (!parseAnswer(output, response)) return result::kUnusableAnswer;
  response["OBUID"] = obuId;
  response["OBUNO"] = obuNo;
  output = jsontext::styled(response);
  return read;
}

int AMvLaneClientOper::RSUWrite(const char* input, std::string& output) {
  return forward(input, output, Device::Rsu, LaneCommand::RSUWriteCard_GD);
}

int AMvLaneClientOper::SendNonCashPay(const char* input, std::string& output) {
  return forward(input, output, Device::CardReader, LaneCommand::SendNonCashPay);
}

int AMvLaneClientOper::StopNonCashPay(const char* input, std::string& output) {
  return forward(input, output, Device::CardReader, LaneCommand::StopNonCashPay);
}

int AMvLaneClientOper::ListUpLoad(const char* input, std::string& output) {
  return forward(input, output, Device::None, LaneCommand::ListUpLoad);
}

int AMvLaneClientOper::BlackListQuery(const char* input, std::string& output) {
  return forward(input, output, Device::None, LaneCommand::BlackListQuery);
}

int AMvLaneClientOper::ListQuery(const char* input, std::string& output) {
  return forward(input, output, Device::None, LaneCommand::ListQuery);
}

int AMvLaneClientOper::QueryTransDetail(const char* input, std::string& output) {
  return forward(input, output, Device::None, LaneCommand::QueryTransDetail);
}
