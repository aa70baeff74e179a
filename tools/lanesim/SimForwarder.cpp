#include "SimForwarder.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "SimScenario.h"

namespace {

constexpr const char* kFaultsMember = "Faults";
constexpr const char* kServerFaultsMember = "ServerFaults";

// A connected, non-blocking socket to ip:port, or an invalid one with the reason in `why`. Gives up
// at the deadline or once `stopping` is set.
SimSocket connectTo(const std::string& ip, std::uint16_t port, std::chrono::milliseconds timeout,
                    const std::atomic<bool>& stopping, std::string& why) {
  SimSocket s(platform::tcpSocket());
  if (!s.valid() || !platform::setNonBlocking(s.get())) {
    why = "no socket (error " + std::to_string(platform::lastError()) + ")";
    return SimSocket();
  }
  if (platform::connectStart(s.get(), ip.c_str(), port)) return s;
  if (!platform::connectInProgress()) {
    why = "connect failed (error " + std::to_string(platform::lastError()) + ")";
    return SimSocket();
  }
  const auto deadline = SimConnection::Clock::now() + timeout;
  while (!stopping.load()) {
    const auto left = deadline - SimConnection::Clock::now();
    if (left <= left.zero()) break;
    const auto wait = std::min<std::chrono::microseconds>(
        std::chrono::duration_cast<std::chrono::microseconds>(left), SimConnection::kPollInterval);
    const int ready = platform::waitWritable(s.get(), wait);
    if (ready == 0) continue;
    const int error = ready < 0 ? -1 : platform::socketError(s.get());
    if (error == 0) return s;
    why = "connect failed (error " + std::to_string(error) + ")";
    return SimSocket();
  }
  why = "no answer within " + std::to_string(timeout.count()) + " ms";
  return SimSocket();
}

}  // namespace

SimForwarder::SimForwarder(std::string serverHost, std::uint16_t serverPort,
                           std::chrono::milliseconds connectTimeout)
    : serverHost_(std::move(serverHost)),
      serverPort_(serverPort),
      serverName_(serverHost_ + ":" + std::to_string(serverPort_)),
      connectTimeout_(connectTimeout),
      acceptor_([this] { return plans().toLane; },
                [this](const std::shared_ptr<SimConnection>& lane) { serve(lane); }, echo_) {}

SimForwarder::~SimForwarder() { stop(); }

bool SimForwarder::start(const std::string& host, std::uint16_t port, std::string* error) {
  return acceptor_.start(host, port, error);
}

void SimForwarder::stop() {
  acceptor_.stop();
  writeRecording();
  echo_.drain();
}

bool SimForwarder::recordTo(const std::string& path, std::string* error) {
  auto recorder = std::make_unique<SimRecorder>(path);
  if (!recorder->writeNow(error)) return false;
  recorder_ = std::move(recorder);
  return true;
}

void SimForwarder::writeRecording() {
  std::string error;
  if (recorder_ != nullptr && !recorder_->writeNow(&error)) echo_.line("error " + error);
}

void SimForwarder::setFaults(const SimFaultPlan& toLane, const SimFaultPlan& toServer) {
  std::map<unsigned, std::shared_ptr<SimConnection>> servers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plans_ = Plans{toLane, toServer};
    servers = servers_;
  }
  for (const auto& lane : acceptor_.openConnections()) lane->setFaults(toLane);
  for (const auto& server : servers) server.second->setFaults(toServer);
}

bool SimForwarder::loadScenario(const Json::Value& scenario, std::string* error) {
  if (!scenario.isObject()) {
    return simfaults::fail(error, "a forwarding scenario must be a JSON object");
  }
  Plans read = plans();
  for (const std::string& name : scenario.getMemberNames()) {
    SimFaultPlan* plan = name == kFaultsMember         ? &read.toLane
                         : name == kServerFaultsMember ? &read.toServer
                                                       : nullptr;
    if (plan == nullptr) {
      return simfaults::fail(error, "\"" + name + "\" is not used when forwarding (only " +
                                        kFaultsMember + " and " + kServerFaultsMember + " are)");
    }
    if (!simfaults::parseStream(scenario[name], name, *plan, error)) return false;
  }
  setFaults(read.toLane, read.toServer);
  return true;
}

bool SimForwarder::loadScenarioFile(const std::string& path, std::string* error) {
  return simscenario::loadFile(
      path, [this](const Json::Value& doc, std::string* why) { return loadScenario(doc, why); }, error);
}

SimForwarder::Plans SimForwarder::plans() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plans_;
}

void SimForwarder::serve(const std::shared_ptr<SimConnection>& lane) {
  const unsigned n = lane->id();
  const std::string& name = lane->name();
  std::string why;
  SimSocket socket = connectTo(serverHost_, serverPort_, connectTimeout_, acceptor_.stopping(), why);
  if (!socket.valid()) {
    if (!acceptor_.stopping().load()) {
      echo_.line("note " + name + " cannot reach the server " + serverName_ + ": " + why +
                 "; closing the lane's connection");
    }
    lane->finish();
    echo_.line("close " + name);
    return;
  }
  auto server = std::make_shared<SimConnection>(socket.release(), n, plans().toServer);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    servers_[n] = server;
  }
  echo_.line("note " + name + " connected to the server " + serverName_);

  SimExchanges exchanges(n, name, summary_, recorder_.get());
  std::thread toLane([this, server, lane, &exchanges] {
    pump(*server, *lane, kToLane, "server", exchanges, SimStreamDecoder::Source::Server);
  });
  pump(*lane, *server, kToServer, "lane", exchanges, SimStreamDecoder::Source::Lane);
  toLane.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    servers_.erase(n);
  }
  writeRecording();
  echo_.line("close " + name);
}

void SimForwarder::pump(SimConnection& from, SimConnection& to, const char* direction,
                        const char* fromName, SimExchanges& exchanges, SimStreamDecoder::Source source) {
  const std::string& name = from.name();
  SimStreamDecoder decoder(direction, name, echo_, &exchanges, source);
  bool decoding = false;
  const auto received = [&](const char* data, std::size_t size) {
    // Decoding starts with the first bytes received while the log is on, and goes on. A packet is
    // printed before its last bytes are passed on, so that no answer can be printed before the
    // request it answers.
    decoding = decoding || echo_.active() || recorder_ != nullptr;
    if (decoding) {
      try {
        decoder.feed(data, size, SimConnection::Clock::now());
      } catch (const std::exception& e) {
        echo_.line("error " + name + " " + direction + " " + e.what());
      }
    }
    to.send(std::string(data, size));
  };
  const auto idle = [&](SimConnection::Clock::time_point now) {
    if (!decoding) return;
    decoder.quiet(now);
    if (source != SimStreamDecoder::Source::Lane) return;
    for (const std::string& flag : exchanges.overdue(now)) echo_.line(flag);
    std::string error;
    if (recorder_ != nullptr && !recorder_->writeIfDue(now, &error)) echo_.line("error " + error);
  };
  const SimConnection::State end = from.receive(acceptor_.stopping(), received, idle);
  if (decoding) decoder.finish();
  const bool serverClosed = end == SimConnection::State::PeerClosed || end == SimConnection::State::PeerFailed;
  if (source == SimStreamDecoder::Source::Server && serverClosed) {
    exchanges.serverClosed(end == SimConnection::State::PeerFailed, SimConnection::Clock::now());
  }
  passOnTheEnd(end, from, to, fromName);
  from.finish();
}

void SimForwarder::writeSummary() {
  for (const std::string& line : summary_.lines()) echo_.line(line);
  echo_.drain();
}

namespace {

// What the other side of a pair gets when one side ends.
enum class PassOn { Close, Reset };

struct EndRule {
  SimConnection::State end;
  const char* kind;    // first word of the line; null: no line
  const char* before;  // between the pair's name and the side
  std::string after;   // after the side
  PassOn passOn;
};

// One row per end of `from`. "The side" is from's peer: the lane or the server. Ends that are not
// listed came at the other side's request (or the forwarder's stop) and are not passed back.
const std::vector<EndRule>& endRules() {
  using S = SimConnection::State;
  static const std::vector<EndRule> rules = {
      {S::PeerClosed, "note", " the ", " closed the connection; closing the other side", PassOn::Close},
      {S::PeerFailed, "note", " the ", " reset the connection; resetting the other side", PassOn::Reset},
      {S::Cut, "note", " cut toward the ", "; closing the other side the same way", PassOn::Close},
      {S::CutByReset, "note", " cut toward the ", " by a reset; closing the other side the same way",
       PassOn::Reset},
      {S::Lost, "lost", " the ",
       " took nothing for " + std::to_string(SimConnection::kSendTimeout.count()) + " ms; closing both sides",
       PassOn::Close},
  };
  return rules;
}

}  // namespace

void SimForwarder::passOnTheEnd(SimConnection::State end, const SimConnection& from, SimConnection& to,
                                const std::string& side) {
  const auto& rules = endRules();
  const auto rule = std::find_if(rules.begin(), rules.end(), [end](const EndRule& r) { return r.end == end; });
  if (rule == rules.end()) return;
  echo_.line(std::string(rule->kind) + " " + from.name() + rule->before + side + rule->after);
  if (rule->passOn == PassOn::Reset) {
    to.resetNow();
  } else {
    to.closeAfterSent();
  }
}
