#include "LaneSimulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "SimAnswers.h"
#include "SimPacketText.h"
#include "common/BufView.h"
#include "common/JsonText.h"
#include "transport/Package.h"
#include "transport/Packet.h"
#include "transport/PacketScanner.h"

namespace {

// A command id as given by a caller: five characters as they are, a shorter number zero-padded.
std::string commandField(const std::string& cmdId) {
  if (cmdId.size() == packet::kCmdIdWidth) return cmdId;
  std::string normal = simscenario::normaliseCmdId(cmdId);
  if (!normal.empty()) return normal;
  std::string field = cmdId.substr(0, packet::kCmdIdWidth);
  field.resize(packet::kCmdIdWidth, ' ');
  return field;
}

std::string keyOf(const std::string& cmdId) {
  std::string normal = simscenario::normaliseCmdId(cmdId);
  return normal.empty() ? cmdId : normal;
}

}  // namespace

// Hands the packets that one connection's scan finds to the simulator.
class LaneSimulator::Sink : public PacketSink {
 public:
  Sink(LaneSimulator& sim, std::shared_ptr<SimConnection> connection)
      : sim_(sim), connection_(std::move(connection)) {}

  void onPacket(int, const char* message, unsigned length) override {
    SimPacket p;
    p.cmdId.assign(message, packet::kCmdIdWidth);
    p.serial = simtext::serialOf(message + packet::kMessageSerialOffset);
    p.body.assign(message + packet::kMessageBodyOffset, length - packet::kMessageBodyOffset);
    if (!jsontext::parse(p.body, p.json)) p.json = Json::Value();
    p.connection = connection_->id();
    sim_.onPacket(connection_, std::move(p));
  }

  void onBadPacket() override { sim_.onBadPacket(*connection_); }
  bool writesCheckMessages() const override { return false; }

 private:
  LaneSimulator& sim_;
  std::shared_ptr<SimConnection> connection_;
};

LaneSimulator::LaneSimulator()
    : acceptor_([this] { return settings().faults; },
                [this](const std::shared_ptr<SimConnection>& c) { serveConnection(c); }, echo_) {}

LaneSimulator::~LaneSimulator() { stop(); }

bool LaneSimulator::start(const std::string& host, std::uint16_t port, std::string* error) {
  timer_.start();
  if (acceptor_.start(host, port, error)) return true;
  timer_.stop();
  return false;
}

void LaneSimulator::stop() {
  acceptor_.stop();
  timer_.stop();
  echo_.drain();
}

void LaneSimulator::setBehaviour(const std::string& cmdId, const CommandBehaviour& b) {
  std::lock_guard<std::mutex> lock(configMutex_);
  behaviours_[keyOf(cmdId)] = b;
}

void LaneSimulator::clearBehaviours() {
  std::lock_guard<std::mutex> lock(configMutex_);
  behaviours_.clear();
}

bool LaneSimulator::loadScenario(const Json::Value& scenario, std::string* error) {
  SimFaultPlan faults;
  {
    std::lock_guard<std::mutex> lock(configMutex_);
    if (!simscenario::parse(scenario, settings_, behaviours_, replay_, error)) return false;
    faults = settings_.faults;
  }
  applyFaults(faults);
  return true;
}

bool LaneSimulator::loadScenarioFile(const std::string& path, std::string* error) {
  return simscenario::loadFile(
      path, [this](const Json::Value& doc, std::string* why) { return loadScenario(doc, why); }, error);
}

void LaneSimulator::setCardNo(const std::string& cardNo) {
  std::lock_guard<std::mutex> lock(configMutex_);
  settings_.cardNo = cardNo;
}

void LaneSimulator::setSettings(const SimSettings& settings) {
  {
    std::lock_guard<std::mutex> lock(configMutex_);
    settings_ = settings;
  }
  applyFaults(settings.faults);
}

void LaneSimulator::setFaults(const SimFaultPlan& faults) {
  {
    std::lock_guard<std::mutex> lock(configMutex_);
    settings_.faults = faults;
  }
  applyFaults(faults);
}

void LaneSimulator::applyFaults(const SimFaultPlan& faults) {
  for (const auto& connection : acceptor_.openConnections()) connection->setFaults(faults);
}

std::map<std::string, int> LaneSimulator::pushAcks() const {
  std::lock_guard<std::mutex> lock(pushMutex_);
  return pushAcks_;
}

std::size_t LaneSimulator::strayAcks() const {
  std::lock_guard<std::mutex> lock(pushMutex_);
  return strayAcks_;
}

std::map<std::string, int> LaneSimulator::takePushAcks() {
  std::lock_guard<std::mutex> lock(pushMutex_);
  const std::map<std::string, int> taken = pushAcks_;
  for (auto it = pushedSerials_.begin(); it != pushedSerials_.end();) {
    PushRecord& push = it->second;
    if (pushAcks_[push.tsSn] == 0 && !push.taken) {
      push.taken = true;
      ++it;
      continue;
    }
    pushAcks_.erase(push.tsSn);
    it = pushedSerials_.erase(it);
  }
  return taken;
}

void LaneSimulator::noteAck(const SimPacket& ack) {
  std::lock_guard<std::mutex> lock(pushMutex_);
  const auto pushed = pushedSerials_.find({ack.connection, ack.serial});
  if (pushed == pushedSerials_.end()) {
    ++strayAcks_;
  } else {
    ++pushAcks_[pushed->second.tsSn];
  }
}

SimSettings LaneSimulator::settings() const {
  std::lock_guard<std::mutex> lock(configMutex_);
  return settings_;
}

std::vector<SimPacket> LaneSimulator::received() const {
  std::lock_guard<std::mutex> lock(receivedMutex_);
  return received_;
}

std::vector<SimPacket> LaneSimulator::receivedWith(const std::string& cmdId) const {
  const std::string key = keyOf(cmdId);
  std::vector<SimPacket> out;
  std::lock_guard<std::mutex> lock(receivedMutex_);
  for (const SimPacket& p : received_) {
    if (p.cmdId == key) out.push_back(p);
  }
  return out;
}

bool LaneSimulator::waitForPacket(const std::string& cmdId, std::chrono::milliseconds timeout,
                                  SimPacket* out, std::size_t count) {
  const std::string key = keyOf(cmdId);
  const std::size_t wanted = std::max<std::size_t>(count, 1);
  const SimPacket* found = nullptr;
  std::unique_lock<std::mutex> lock(receivedMutex_);
  const bool arrived = receivedCond_.wait_for(lock, timeout, [&] {
    std::size_t seen = 0;
    for (const SimPacket& p : received_) {
      if (p.cmdId == key && ++seen == wanted) {
        found = &p;
        return true;
      }
    }
    return false;
  });
  if (arrived && out != nullptr) *out = *found;
  return arrived;
}

void LaneSimulator::clearReceived() {
  std::lock_guard<std::mutex> lock(receivedMutex_);
  received_.clear();
}

std::size_t LaneSimulator::connectionCount() const { return acceptor_.connectionCount(); }

void LaneSimulator::dropConnections() {
  for (const auto& connection : acceptor_.openConnections()) connection->closeNow();
}

void LaneSimulator::sendToAll(const std::string& cmdId, unsigned serial, const std::string& body) {
  for (const auto& connection : acceptor_.openConnections()) sendPacket(*connection, cmdId, serial, body);
}

void LaneSimulator::sendRawToAll(const std::string& bytes) {
  for (const auto& connection : acceptor_.openConnections()) {
    const bool ok = connection->send(bytes);
    echo_.line(std::string(ok ? "send " : "lost ") + connection->name() + " raw " +
               std::to_string(bytes.size()) + " bytes");
  }
}

void LaneSimulator::setEcho(std::ostream* out) { echo_.setStream(out); }

void LaneSimulator::serveConnection(const std::shared_ptr<SimConnection>& connection) {
  Sink sink(*this, connection);
  PacketAccumulator accumulator;
  const std::string& name = connection->name();
  const SimConnection::State end = connection->receive(acceptor_.stopping(), [&](const char* data, std::size_t size) {
    accumulator.append(data, size);
    try {
      accumulator.scan(sink);
    } catch (const std::exception& e) {
      echo_.line("error " + name + " " + e.what());
    }
  });
  switch (end) {
    case SimConnection::State::Lost:
      echo_.line("lost " + name + " the lane took nothing for " +
                 std::to_string(SimConnection::kSendTimeout.count()) + " ms, closing");
      break;
    case SimConnection::State::Cut:
      echo_.line("note " + name + " cut");
      break;
    case SimConnection::State::CutByReset:
      echo_.line("note " + name + " cut by a reset");
      break;
    default:
      break;
  }
  connection->finish();
  echo_.line("close " + name);
}

void LaneSimulator::onPacket(const std::shared_ptr<SimConnection>& connection, SimPacket packet) {
  if (echo_.active()) {
    echo_.line(simtext::packetLine("recv", connection->name(), packet.cmdId, packet.serial, packet.body));
  }
  if (recording_.load()) {
    {
      std::lock_guard<std::mutex> lock(receivedMutex_);
      received_.push_back(packet);
    }
    receivedCond_.notify_all();
  }
  if (packet.cmdId == simanswers::kAckId) {
    noteAck(packet);
    return;
  }
  if (!simanswers::isRequestId(packet.cmdId)) {
    echo_.line("note " + connection->name() + " unknown command id " + packet.cmdId + ", not answered");
    return;
  }
  answer(connection, packet);
}

void LaneSimulator::onBadPacket(const SimConnection& connection) {
  ++badPackets_;
  echo_.line("drop " + connection.name() + " packet failed its checks, not answered");
}

void LaneSimulator::answer(const std::shared_ptr<SimConnection>& connection,
                           const SimPacket& request) {
  CommandBehaviour b;
  SimSettings settings;
  ReplayEntry recorded;
  bool replaying = false;
  {
    std::lock_guard<std::mutex> lock(configMutex_);
    auto queued = replay_.find(request.cmdId);
    if (queued != replay_.end() && !queued->second.empty()) {
      recorded = queued->second.front();
      queued->second.pop_front();
      replaying = true;
    }
    auto found = behaviours_.find(request.cmdId);
    if (found != behaviours_.end()) b = found->second;
    settings = settings_;
  }
  if (replaying) {
    replay(connection, request, recorded);
    return;
  }
  // The connection itself delays whatever it sends by the plan's lateness; a close is no send.
  const int delayMs = b.delayMs;

  if (b.closeConnection) {
    later(delayMs + connection->faults().lateMs, [this, connection] {
      echo_.line("note " + connection->name() + " closing instead of answering");
      connection->closeNow();
    });
    return;
  }

  std::string body;
  if (b.noAnswer) {
    echo_.line("note " + connection->name() + " " + request.cmdId + " not answered");
  } else {
    body = answerBody(request, b, settings);
  }
  unsigned serial = b.wrongSerial ? (request.serial + 1) % simanswers::kSerialModulus : request.serial;
  if (connection->chance(&SimFaultPlan::staleSerials)) {
    serial = (request.serial + simanswers::kSerialModulus - 1) % simanswers::kSerialModulus;
  }
  floodUnknownIds(*connection, request.serial);

  const bool isPayment = request.cmdId == simanswers::kPaymentId;
  const bool accepted = !b.noAnswer && isPayment && simanswers::acceptsPayment(body);
  std::function<void()> first;
  if (!b.noAnswer) {
    first = [this, connection, id = simanswers::answerId(request.cmdId), serial, body = std::move(body)] {
      sendPacket(*connection, id, serial, body);
    };
  }
  std::function<void()> second = paymentPush(connection, request, b, accepted);
  // The answer goes after the delay and the push a push delay later, unless the push goes first.
  if (isPayment && b.pushBeforeAnswer) std::swap(first, second);
  if (first) later(delayMs, std::move(first));
  if (second) later(delayMs + b.pushDelayMs, std::move(second));
  pushUnknownTransaction(connection, request.serial, delayMs);
}

std::string LaneSimulator::answerBody(const SimPacket& request, const CommandBehaviour& b,
                                      const SimSettings& settings) {
  if (!b.rawBody.empty()) return b.rawBody;
  Json::Value doc =
      simanswers::answer(request.cmdId, request.json, settings, ++tradeNo_, platform::localTimeNow());
  simanswers::applyOverrides(doc, b.members, b.removeMembers);
  if (!b.errorCode.isNull()) doc["ErrorCode"] = b.errorCode;
  return jsontext::styled(doc);
}

std::function<void()> LaneSimulator::paymentPush(const std::shared_ptr<SimConnection>& connection,
                                                 const SimPacket& request, const CommandBehaviour& b,
                                                 bool accepted) {
  // A lane server pushes the outcome only of a payment it accepted; forcing it tests the lane.
  if (request.cmdId != simanswers::kPaymentId || b.noPush || !(accepted || b.forcePush)) return nullptr;
  Json::Value push = simanswers::push(request.json);
  simanswers::applyOverrides(push, b.pushMembers, b.pushRemoveMembers);
  return [this, connection, serial = request.serial, tsSn = push["NonCashTsSn"].asString(),
          body = jsontext::styled(push)] { sendPush(*connection, serial, tsSn, body); };
}

void LaneSimulator::sendPush(SimConnection& connection, unsigned serial, const std::string& tsSn,
                             const std::string& body) {
  {
    std::lock_guard<std::mutex> lock(pushMutex_);
    pushedSerials_[{connection.id(), serial}] = PushRecord{tsSn};
    pushAcks_.emplace(tsSn, 0);
  }
  sendPacket(connection, simanswers::kPushId, serial, body);
}

void LaneSimulator::replay(const std::shared_ptr<SimConnection>& connection, const SimPacket& request,
                           const ReplayEntry& entry) {
  const long long modulus = simanswers::kSerialModulus;
  for (const ReplaySend& send : entry.sends) {
    const auto serial = static_cast<unsigned>(((request.serial + send.serialOffset) % modulus + modulus) % modulus);
    later(send.delayMs, [this, connection, send, serial] {
      if (send.cmdId != simanswers::kPushId) {
        sendPacket(*connection, send.cmdId, serial, send.body);
        return;
      }
      Json::Value push;
      const bool json = jsontext::parse(send.body, push) && push.isObject();
      sendPush(*connection, serial, json ? jsontext::text(push["NonCashTsSn"]) : std::string(), send.body);
    });
  }
  if (entry.closeMs < 0) return;
  later(entry.closeMs + connection->faults().lateMs, [this, connection, reset = entry.reset] {
    echo_.line("note " + connection->name() + (reset ? " resetting" : " closing") + " as recorded");
    if (reset) {
      connection->resetNow();
    } else {
      connection->closeNow();
    }
  });
}

void LaneSimulator::floodUnknownIds(SimConnection& connection, unsigned serial) {
  const int flood = connection.faults().unknownIdFlood;
  for (int i = 0; i < flood; ++i) {
    const char* id = simanswers::kUnknownIds[static_cast<std::size_t>(i) % simanswers::kUnknownIdCount];
    sendPacket(connection, id, serial, "{}");
  }
}

void LaneSimulator::pushUnknownTransaction(const std::shared_ptr<SimConnection>& connection,
                                           unsigned requestSerial, int delayMs) {
  if (!connection->chance(&SimFaultPlan::unknownPushes)) return;
  Json::Value push = simanswers::push(Json::Value());
  push["NonCashTsSn"] = "UNKNOWN" + std::to_string(++tradeNo_);
  later(delayMs, [this, connection, serial = (requestSerial + simanswers::kSerialModulus / 2) %
                                             simanswers::kSerialModulus,
                  body = jsontext::styled(push)] {
    sendPacket(*connection, simanswers::kPushId, serial, body);
  });
}

void LaneSimulator::later(int delayMs, std::function<void()> work) {
  if (delayMs <= 0) {
    work();
  } else {
    timer_.schedule(std::chrono::milliseconds(delayMs), std::move(work));
  }
}

void LaneSimulator::sendPacket(SimConnection& connection, const std::string& cmdId,
                               unsigned serial, const std::string& body) {
  const std::string field = commandField(cmdId);
  char id[packet::kCmdIdWidth];
  std::memcpy(id, field.data(), sizeof id);
  bool ok = false;
  try {
    Package pkg(body.data(), static_cast<unsigned>(body.size()), BufView<5>(id), serial);
    ok = connection.send(connection.mangle(std::string(pkg.returnmsg(), pkg.size())));
  } catch (const std::exception& e) {
    echo_.line("error " + connection.name() + " " + e.what());
  }
  if (echo_.active()) echo_.line(simtext::packetLine(ok ? "send" : "lost", connection.name(), field, serial, body));
}
