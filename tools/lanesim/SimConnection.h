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
  // How often the receive loop looks at the stop flag and at the connection's ending.
  static constexpr std::chrono::milliseconds kPollInterval{50};
  static constexpr std::size_t kRecvChunk = 10240;

  // Why the connection is ending, once it is.
  enum class Ending {
    None,
    Cut,     // the fault plan's cut was reached
    Lost,    // the peer took nothing for kSendTimeout, or a write failed
    Closed,  // closeAfterSent(), once the bytes queued before it were written
    Reset,   // resetNow()
  };
  // Why the receive loop returned.
  enum class LoopEnd {
    Stopped,  // the stop flag was set
    Ending,   // the connection is ending (see ending())
    PeerClosed,
    PeerFailed,  // the peer reset the connection, or the socket failed
  };
  using Received = std::function<void(const char* data, std::size_t size)>;

  SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults = SimFaultPlan());
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  unsigned id() const { return id_; }
  // "#" and the id, as the printed lines name the connection.
  const std::string& name() const { return name_; }

  // The connection's own thread: reads until the stop flag is set, the connection ends or the peer
  // goes, handing each piece to `received` in order, and writes the queued bytes as they fall due.
  LoopEnd receive(const std::atomic<bool>& stopping, const Received& received);

  // Queues the bytes, as the fault plan delivers them, and writes what the socket takes now. Never
  // blocks. False when the connection is ending or closing. Any thread.
  bool send(const std::string& bytes);
  // Ends the connection in order once the bytes queued so far are written; later sends are
  // refused. Any thread.
  void closeAfterSent();
  // Ends the connection with a reset at once, dropping the queued bytes. Any thread.
  void resetNow();

  // The fault plan; replacing it restarts its generator and its byte count. Any thread.
  void setFaults(const SimFaultPlan& faults);
  bool readsNothing();
  // A seeded draw of the connection's plan, and the plan's packet faults. Any thread.
  bool chance(double SimFaultPlan::*probability);
  std::string mangle(std::string packetBytes);
  SimFaultPlan faults();

  Ending ending();
  // True when the connection's end will be, or was, a reset: resetNow(), or a cut whose plan says so.
  bool endsWithReset();
  // Connection thread only, after its loop: closes the socket as the ending says.
  void finish();

  // Ends both directions: the peer sees the close and the receive loop ends. Any thread.
  void shutdown();
  // True once shutdown was asked for. The connection thread looks at it on every wake-up: a
  // shutdown of our own end does not wake a waiting select on every platform (Windows Sockets does
  // not promise it), so the loop must not rely on the socket to tell it. Any thread.
  bool shutDown();

  // True until the connection thread has ended.
  bool open() const { return open_.load(); }
  void markClosed() { open_.store(false); }

 private:
  struct Pending {
    std::string bytes;
    Clock::time_point due;  // not written before this
    Ending after;           // how the connection ends once this piece is written
  };
  // Writes the queued bytes that are due; gives the connection up when the peer has taken nothing
  // for kSendTimeout. Returns how long the connection thread may wait before calling again.
  std::chrono::milliseconds flush(std::chrono::milliseconds longest);
  // Writes due pieces; the caller holds mutex_.
  void writeDueLocked(Clock::time_point now);
  void endLocked(Ending why);

  SimSocket socket_;  // closed by finish() on the connection thread, or by the destructor
  const unsigned id_;
  const std::string name_;
  std::atomic<bool> open_{true};
  std::mutex mutex_;  // guards everything below, and every use of the socket but the thread's reads
  SimFaultInjector faults_;
  std::deque<Pending> outbox_;
  Clock::time_point lastDue_{};       // due time of the last queued piece, so pauses add up
  Clock::time_point lastProgress_{};  // when the peer last took bytes
  Ending ending_ = Ending::None;
  bool closing_ = false;  // closeAfterSent() was called
  bool shut_ = false;
};
