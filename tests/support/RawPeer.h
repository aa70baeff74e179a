// A raw loopback TCP peer for byte-level tests: listens on 127.0.0.1 with an ephemeral port,
// accepts one connection at a time, sends arbitrary bytes and reads what arrives.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace testsupport {

class RawPeer {
 public:
  static constexpr std::chrono::milliseconds kDefaultWait{3000};

  // Listens at once; port() is 0 when that failed.
  RawPeer();
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  std::uint16_t port() const { return port_; }

  // Takes one pending connection as the current one (closing the previous); false when none came
  // within the time-out.
  bool accept(std::chrono::milliseconds timeout = kDefaultWait);
  // Sends every byte on the current connection; false when a send fails.
  bool send(const std::string& bytes);
  // Reads from the current connection until `count` bytes have arrived or the time-out passes, and
  // returns what arrived (possibly fewer, possibly more than `count`).
  std::string receive(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait);
  // True when the other side closes the current connection within the time-out (data is dropped).
  bool waitForClose(std::chrono::milliseconds timeout = kDefaultWait);
  // Ends the current connection: the client's receive sees an orderly close.
  void closeConnection();
  // Stops listening: later connection attempts are refused.
  void closeListener();

  // Fills the listener's accept queue with connections nobody accepts, so that the next attempt
  // to connect gets no answer until the queue drains. False when that could not be reached.
  bool saturateBacklog();

 private:
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  platform::SocketHandle connection_ = platform::kInvalidSocket;
  std::vector<platform::SocketHandle> fillers_;
  std::uint16_t port_ = 0;
};

// A loopback port on which nothing listens now: connecting to it is refused.
std::uint16_t closedPort();

}  // namespace testsupport
