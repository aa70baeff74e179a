// One TCP connection of the simulator or the forwarder: its socket, its number for the log, its
// receive loop, and an outbox that is written without ever blocking the thread that sends, under
// the connection's fault plan (latency, slices, pauses, a cut).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "SimFaults.h"
#include "SimSocket.h"

class SimConnection {
 public:
  using Clock = std::chrono::steady_clock;
  // How long the peer may take nothing of the queued bytes before the connection is given up.
  static constexpr std::chrono::milliseconds kSendTimeout{2000};
  // How soon the connection thread tries again when the peer's window is full.
  static constexpr std::chrono::milliseconds kRetryWait{10};
  // How often the receive loop looks at the stop flag and at the connection's state.
  static constexpr std::chrono::milliseconds kPollInterval{50};
  static constexpr std::size_t kRecvChunk = 10240;

  // Where the connection stands. It starts Open; every state after Closing is an end, which is
  // final (the first end reached stays) and is what receive() returns.
  enum class State {
    Open,
    Closing,     // closeAfterSent(): the bytes queued before it are still being written
    Stopped,     // the owner's stop flag was set, or closeNow() (also finish() of an open one)
    Closed,      // closeAfterSent(), once the bytes queued before it were written
    Cut,         // the fault plan's cut was reached; the socket is closed in order
    CutByReset,  // the same with a plan whose cut resets the connection
    Reset,       // resetNow()
    Lost,        // the peer took nothing for kSendTimeout, or a write failed
    PeerClosed,  // the peer closed its side in order
    PeerFailed,  // the peer reset the connection, or the socket failed
  };
  static bool isEnd(State s) { return s != State::Open && s != State::Closing; }

  using Received = std::function<void(const char* data, std::size_t size)>;
  // Called on every wake-up of the receive loop, at least once per kPollInterval.
  using Idle = std::function<void(Clock::time_point now)>;

  SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults = SimFaultPlan());
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  unsigned id() const { return id_; }
  // "#" and the id, as the printed lines name the connection.
  const std::string& name() const { return name_; }

  // The connection's own thread: reads until the stop flag is set or the connection reaches an
  // end, handing each piece to `received` in order, and writes the queued bytes as they fall due.
  // Returns the end.
  State receive(const std::atomic<bool>& stopping, const Received& received, const Idle& idle = nullptr);

  // Queues the bytes, as the fault plan delivers them, and writes what the socket takes now. Never
  // blocks. False unless the connection is open. Any thread.
  bool send(const std::string& bytes);
  // Ends the connection in order once the bytes queued so far are written; later sends are
  // refused. Any thread.
  void closeAfterSent();
  // Ends the connection with a reset at once, dropping the queued bytes. Any thread.
  void resetNow();
  // Ends both directions at once, dropping the queued bytes: the peer sees an orderly close and
  // the receive loop ends (it also looks at the state on every wake-up, since a shutdown of our
  // own end does not wake a waiting select on every platform). Any thread.
  void closeNow();

  // The fault plan; replacing it restarts its generator and its byte count. Any thread.
  void setFaults(const SimFaultPlan& faults);
  bool readsNothing();
  // A seeded draw of the connection's plan, and the plan's packet faults. Any thread.
  bool chance(double SimFaultPlan::*probability);
  std::string mangle(std::string packetBytes);
  SimFaultPlan faults();

  State state() const { return state_.load(); }
  // Connection thread only, after its loop: closes the socket as the end says (a reset for Reset
  // and CutByReset, else in order).
  void finish();

 private:
  struct Pending {
    std::string bytes;
    std::size_t written;    // bytes of it the socket has taken
    Clock::time_point due;  // not written before this
    State after;            // Open, or the end reached once this piece is written
  };
  // Writes the queued bytes that are due; gives the connection up when the peer has taken nothing
  // for kSendTimeout. Returns how long the connection thread may wait before calling again.
  std::chrono::milliseconds flush(std::chrono::milliseconds longest);
  // The caller holds mutex_.
  void writeDueLocked(Clock::time_point now);
  void endLocked(State end);
  bool isOpenLocked() const { return state_.load() == State::Open; }

  SimSocket socket_;  // closed by finish() on the connection thread, or by the destructor
  const unsigned id_;
  const std::string name_;
  std::mutex mutex_;  // guards everything below, changes of state_, and every use of the socket
                      // but the thread's reads
  std::atomic<State> state_{State::Open};
  SimFaultInjector faults_;
  std::deque<Pending> outbox_;
  Clock::time_point lastDue_{};       // due time of the last queued piece, so pauses add up
  Clock::time_point lastProgress_{};  // when the peer last took bytes
};
