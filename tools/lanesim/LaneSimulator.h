// A lane server that runs in-process for tests and as the lanesim program: it accepts any number
// of lane connections over TCP, answers every request with plausible content, and can be told per
// request id to answer late, wrongly or not at all.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>

#include "SimAcceptor.h"
#include "SimEcho.h"
#include "SimScenario.h"
#include "SimTimer.h"

// One good packet the simulator received.
struct SimPacket {
  std::string cmdId;     // the 5 characters of the command id, e.g. "03001"
  unsigned serial = 0;   // the serial field (0 when it is not a number)
  std::string body;      // the body as received
  Json::Value json;      // the parsed body; null when it is not JSON
  unsigned connection = 0;  // number of the connection it came on, from 1 in accept order
};

class LaneSimulator {
 public:
  LaneSimulator();   // not started
  ~LaneSimulator();  // stop()
  LaneSimulator(const LaneSimulator&) = delete;
  LaneSimulator& operator=(const LaneSimulator&) = delete;

  // Listens on host:port (port 0: any free port). False when listening fails (with the system's
  // reason in `error` when given) or it runs already. start() and stop() are called from one
  // controlling thread; everything else from any thread.
  bool start(const std::string& host = "127.0.0.1", std::uint16_t port = 0, std::string* error = nullptr);
  // Closes the listener and every connection, drops pending delayed work and joins every thread;
  // returns once the log lines are written.
  void stop();
  std::uint16_t port() const { return acceptor_.port(); }

  // Behaviour for a request id such as "03010" (or "3010"); replaces any earlier one.
  void setBehaviour(const std::string& cmdId, const CommandBehaviour& b);
  void clearBehaviours();
  // Replaces every behaviour and every recorded outcome by the scenario's and applies its
  // top-level settings. A request for which a recorded outcome is left gets the first of them;
  // once none is left, the behaviour of its id. A malformed scenario changes nothing and returns
  // false with the reason.
  bool loadScenario(const Json::Value& scenario, std::string* error = nullptr);
  bool loadScenarioFile(const std::string& path, std::string* error = nullptr);
  void setCardNo(const std::string& cardNo);
  void setSettings(const SimSettings& settings);
  SimSettings settings() const;
  // The faults injected into what is sent, on the open connections (each restarts its generator)
  // and on those accepted later.
  void setFaults(const SimFaultPlan& faults);

  // Every payment push sent, by its "NonCashTsSn", with the number of acknowledgements (03030 with
  // the push's serial, on its connection) that came back for it; acknowledgements that match no
  // push are counted apart. Kept also while recording is off.
  std::map<std::string, int> pushAcks() const;
  std::size_t strayAcks() const;
  // pushAcks(), after which the pushes that were acknowledged are forgotten, and so are those that
  // the take before found unacknowledged already: a caller that takes now and then keeps the
  // records bounded. An acknowledgement for a forgotten push counts as stray.
  std::map<std::string, int> takePushAcks();

  // Every good packet received, in order (acknowledgements included), since the last clear.
  std::vector<SimPacket> received() const;
  std::vector<SimPacket> receivedWith(const std::string& cmdId) const;
  // Waits until `count` packets with that id have been received; the last one into *out.
  bool waitForPacket(const std::string& cmdId, std::chrono::milliseconds timeout,
                     SimPacket* out = nullptr, std::size_t count = 1);
  void clearReceived();
  // Whether received packets are kept for the calls above (on by default). A long-running
  // program turns it off so that memory does not grow with every packet.
  void setRecording(bool on) { recording_.store(on); }
  // Number of packets that failed a check and were dropped.
  std::size_t badPackets() const { return badPackets_.load(); }

  // Connections whose receive loop still runs.
  std::size_t connectionCount() const;
  // Closes every client connection now; the listener keeps accepting.
  void dropConnections();
  // Sends a packet, or raw bytes, to every open connection.
  void sendToAll(const std::string& cmdId, unsigned serial, const std::string& body);
  void sendRawToAll(const std::string& bytes);

  // Where the one-line packet log goes (null: nowhere). The stream must outlive its use here.
  void setEcho(std::ostream* out);

 private:
  class Sink;

  void serveConnection(const std::shared_ptr<SimConnection>& connection);
  void onPacket(const std::shared_ptr<SimConnection>& connection, SimPacket packet);
  void onBadPacket(const SimConnection& connection);
  void answer(const std::shared_ptr<SimConnection>& connection, const SimPacket& request);
  // Does with the request what the recorded server did with the one it stands for.
  void replay(const std::shared_ptr<SimConnection>& connection, const SimPacket& request,
              const ReplayEntry& entry);
  // Sends a payment push and notes it for the acknowledgements.
  void sendPush(SimConnection& connection, unsigned serial, const std::string& tsSn, const std::string& body);
  // Runs now when the delay is 0, else on the timer thread.
  void later(int delayMs, std::function<void()> work);
  void sendPacket(SimConnection& connection, const std::string& cmdId, unsigned serial,
                  const std::string& body);
  std::string answerBody(const SimPacket& request, const CommandBehaviour& b, const SimSettings& settings);
  // The sending of a payment request's push, when one is to be sent (else empty); the pushes and
  // floods of the faults.
  std::function<void()> paymentPush(const std::shared_ptr<SimConnection>& connection,
                                    const SimPacket& request, const CommandBehaviour& b, bool accepted);
  void floodUnknownIds(SimConnection& connection, unsigned serial);
  void pushUnknownTransaction(const std::shared_ptr<SimConnection>& connection, unsigned requestSerial,
                              int delayMs);
  void noteAck(const SimPacket& ack);
  void applyFaults(const SimFaultPlan& faults);

  std::atomic<bool> recording_{true};
  std::atomic<std::size_t> badPackets_{0};
  std::atomic<unsigned> tradeNo_{0};

  SimEcho echo_;
  SimAcceptor acceptor_;  // after echo_, which it logs to
  SimTimer timer_;

  mutable std::mutex configMutex_;  // guards behaviours_, settings_ and replay_
  std::map<std::string, CommandBehaviour> behaviours_;
  SimSettings settings_;
  ReplayQueues replay_;  // recorded outcomes not yet played

  struct PushRecord {
    std::string tsSn;    // its "NonCashTsSn"
    bool taken = false;  // a takePushAcks found it unacknowledged
  };
  mutable std::mutex pushMutex_;  // guards the three members below
  std::map<std::pair<unsigned, unsigned>, PushRecord> pushedSerials_;  // by (connection, serial)
  std::map<std::string, int> pushAcks_;
  std::size_t strayAcks_ = 0;

  mutable std::mutex receivedMutex_;  // guards received_
  std::condition_variable receivedCond_;
  std::vector<SimPacket> received_;
};
