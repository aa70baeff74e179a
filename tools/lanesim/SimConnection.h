// One accepted client connection of the simulator: its socket, its number for the log, and writes
// serialised so that packets from different threads never interleave.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>

#include "SimSocket.h"

class SimConnection {
 public:
  // How long one write may wait for the socket to take the bytes.
  static constexpr std::chrono::milliseconds kSendTimeout{2000};

  SimConnection(platform::SocketHandle s, unsigned id) : socket_(s), id_(id) {}
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  unsigned id() const { return id_; }
  // The socket, for the connection's own receive loop only.
  platform::SocketHandle socket() const { return socket_.get(); }

  // Writes all bytes within kSendTimeout. Any thread; one write at a time.
  bool send(const char* data, std::size_t size);

  // Ends both directions: the peer sees the close and the receive loop ends. Any thread.
  void shutdown();
  // True once shutdown was asked for. The receive loop looks at it on every wake-up: a shutdown
  // of our own end does not wake a waiting select on every platform (Windows Sockets does not
  // promise it), so the loop must not rely on the socket to tell it.
  bool closing() const { return closing_.load(); }

  // True until the receive loop has ended.
  bool open() const { return open_.load(); }
  // Called by the receive loop when it ends.
  void markClosed() { open_.store(false); }

 private:
  SimSocket socket_;  // closed only by the destructor, after every thread is done with it
  const unsigned id_;
  std::atomic<bool> open_{true};
  std::atomic<bool> closing_{false};
  std::mutex writeMutex_;  // held for the whole of one write
};
