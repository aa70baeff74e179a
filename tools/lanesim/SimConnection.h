// One accepted client connection of the simulator: its socket, its number for the log, and an
// outbox that is written without ever blocking the thread that sends, under the connection's fault
// plan (slices, pauses, a cut).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "SimFaults.h"
#include "SimSocket.h"

class SimConnection {
 public:
  using Clock = std::chrono::steady_clock;
  // How long queued bytes may wait for the peer to take them before the connection is given up.
  static constexpr std::chrono::milliseconds kSendTimeout{2000};
  // How soon the connection thread tries again when the peer's window is full.
  static constexpr std::chrono::milliseconds kRetryWait{10};

  SimConnection(platform::SocketHandle s, unsigned id, const SimFaultPlan& faults = SimFaultPlan());
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  unsigned id() const { return id_; }
  // The socket, for the connection's own thread only.
  platform::SocketHandle socket() const { return socket_.get(); }

  // Queues the bytes, as the fault plan delivers them, and writes what the socket takes now. Never
  // blocks. False when the connection is ending (cut, lost or shut down). Any thread.
  bool send(const std::string& bytes);
  // Writes the queued bytes that are due; gives the connection up when bytes have waited longer
  // than kSendTimeout. Returns how long the connection thread may wait before calling again.
  std::chrono::milliseconds flush(std::chrono::milliseconds longest);

  // The fault plan; replacing it restarts its generator and its byte count. Any thread.
  void setFaults(const SimFaultPlan& faults);
  bool readsNothing();
  // A seeded draw of the connection's plan, and the plan's packet faults. Any thread.
  bool chance(double SimFaultPlan::*probability);
  std::string mangle(std::string packetBytes);
  SimFaultPlan faults();

  // Why the connection is ending, once it is: "cut" or "lost" (empty while it is not).
  std::string ending();
  // Connection thread only, after its loop: closes as the plan says (a reset, or in order).
  void finish();

  // Ends both directions: the peer sees the close and the receive loop ends. Any thread.
  void shutdown();
  // True once shutdown was asked for. The connection thread looks at it on every wake-up: a
  // shutdown of our own end does not wake a waiting select on every platform (Windows Sockets does
  // not promise it), so the loop must not rely on the socket to tell it. Any thread.
  bool closing();

  // True until the connection thread has ended.
  bool open() const { return open_.load(); }
  void markClosed() { open_.store(false); }

 private:
  struct Pending {
    std::string bytes;
    Clock::time_point due;     // not written before this
    Clock::time_point queued;  // given up when not written by queued + kSendTimeout
    bool cutAfter;
  };
  // Writes due pieces; the caller holds mutex_.
  void writeDueLocked(Clock::time_point now);

  SimSocket socket_;  // closed by finish() on the connection thread, or by the destructor
  const unsigned id_;
  std::atomic<bool> open_{true};
  std::mutex mutex_;  // guards everything below, and every use of the socket but the thread's reads
  SimFaultInjector faults_;
  std::deque<Pending> outbox_;
  Clock::time_point lastDue_{};  // due time of the last queued piece, so pauses add up
  std::string ending_;
  bool shut_ = false;
};
