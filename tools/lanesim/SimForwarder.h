// lanesim --forward: a decoding proxy in front of a real lane server. Every lane connection it
// accepts gets a connection of its own to the server; the bytes pass through unchanged and in
// order both ways, and a copy of each direction is decoded into the log. On request the fault
// plans of the two directions (lateness, slices with pauses, cuts) act on the forwarded bytes, to
// rehearse a bad network.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include <json/json.h>

#include "SimAcceptor.h"
#include "SimConnection.h"
#include "SimEcho.h"
#include "SimExchanges.h"
#include "SimFaults.h"
#include "SimRecorder.h"
#include "SimStreamDecoder.h"
#include "SimSummary.h"

class SimForwarder {
 public:
  // How long the server may take by default to accept the connection of a new lane.
  static constexpr std::chrono::milliseconds kConnectTimeout{3000};
  static constexpr const char* kToServer = "lane->server";
  static constexpr const char* kToLane = "server->lane";

  // The server at a dotted IPv4 address, which must accept the connection of a new lane within
  // `connectTimeout`. Not started.
  SimForwarder(std::string serverHost, std::uint16_t serverPort,
               std::chrono::milliseconds connectTimeout = kConnectTimeout);
  ~SimForwarder();  // stop()
  SimForwarder(const SimForwarder&) = delete;
  SimForwarder& operator=(const SimForwarder&) = delete;

  // Listens for lanes on host:port (port 0: any free port). False when listening fails (with the
  // system's reason in `error` when given) or it runs already. start() and stop() are called from
  // one controlling thread; the rest from any thread.
  bool start(const std::string& host = "127.0.0.1", std::uint16_t port = 0, std::string* error = nullptr);
  // Closes the listener and both sides of every pair, and joins every thread; returns once the log
  // lines are written.
  void stop();
  std::uint16_t port() const { return acceptor_.port(); }

  // The faults of what is sent to the lanes and of what is sent to the server, for the open pairs
  // (each side restarts its generator and byte count) and for those accepted later. Only the
  // delivery faults act on forwarded bytes (see simfaults::parseStream).
  void setFaults(const SimFaultPlan& toLane, const SimFaultPlan& toServer);
  // Reads a forwarding scenario: "Faults" for what goes to the lanes and "ServerFaults" for what
  // goes to the server, both optional; any other member is an error. A malformed one changes
  // nothing and returns false with the reason.
  bool loadScenario(const Json::Value& scenario, std::string* error = nullptr);
  bool loadScenarioFile(const std::string& path, std::string* error = nullptr);

  // Records, from now on, what the server sends back for every request as a scenario in the file
  // at `path` that the simulator replays (see SimRecorder), and writes it once at once. False, with
  // the reason, when the file cannot be written. Called before start().
  bool recordTo(const std::string& path, std::string* error = nullptr);

  // Where the log lines go (null: nowhere); decoding happens only while they go somewhere or a
  // recording is made.
  void setEcho(std::ostream* out) { echo_.setStream(out); }

  // Pairs whose lane side is still open.
  std::size_t connectionCount() const { return acceptor_.connectionCount(); }

  // Writes the summary of every pair so far to the log: per pair and command, the requests, the
  // answers, the median and worst time to an answer, and the flags. Returns once written.
  void writeSummary();

 private:
  struct Plans {
    SimFaultPlan toLane;
    SimFaultPlan toServer;
  };

  // The thread of one accepted lane: connects to the server, forwards until either side ends.
  void serve(const std::shared_ptr<SimConnection>& lane);
  // Forwards what `from` receives to `to` until `from` ends, then ends `to` the same way. What
  // `from` receives is decoded for the log as sent by `source`, and told to the pair's exchanges.
  void pump(SimConnection& from, SimConnection& to, const char* direction, const char* fromName,
            SimExchanges& exchanges, SimStreamDecoder::Source source);
  // Ends `to` the way `from` ended (`side` names from's peer: "lane" or "server"), and says so.
  void passOnTheEnd(SimConnection::State end, const SimConnection& from, SimConnection& to,
                    const std::string& side);
  Plans plans() const;
  // Writes the recording, when one is made, and logs a failure.
  void writeRecording();

  const std::string serverHost_;
  const std::uint16_t serverPort_;
  const std::string serverName_;  // "host:port"
  const std::chrono::milliseconds connectTimeout_;

  mutable std::mutex mutex_;  // guards plans_ and servers_
  Plans plans_;
  std::map<unsigned, std::shared_ptr<SimConnection>> servers_;  // server side of each open pair

  SimSummary summary_;
  std::unique_ptr<SimRecorder> recorder_;  // set before start(), or never
  SimEcho echo_{SimEcho::Stamp::LocalTime};
  SimAcceptor acceptor_;  // last: its threads use everything above
};
