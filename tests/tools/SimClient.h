// A plain blocking test client for the lane-server simulator: framed packets out, checked packets in.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "LaneSimulator.h"
#include "SimSocket.h"
#include "transport/PacketScanner.h"

class SimClient : private PacketSink {
 public:
  static constexpr std::chrono::milliseconds kDefaultWait{3000};

  SimClient() = default;
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  bool connect(std::uint16_t port);
  bool send(const std::string& cmdId, unsigned serial, const std::string& body);
  bool sendRaw(const std::string& bytes);

  // The next good packet from the simulator; false when none comes in time or the peer closed.
  bool next(SimPacket* out, std::chrono::milliseconds timeout = kDefaultWait);
  // True when the simulator closes the connection in time (packets before the close are kept).
  bool waitClosed(std::chrono::milliseconds timeout = kDefaultWait);
  std::size_t badPackets() const { return bad_; }
  // True when the connection ended by a reset rather than an orderly close.
  bool wasReset() const { return reset_; }
  // Bytes received so far, packets or not.
  std::size_t bytesReceived() const { return raw_.size(); }
  const std::string& rawReceived() const { return raw_; }

  // The bytes of one packet as the library would send them.
  static std::string frame(const std::string& cmdId, unsigned serial, const std::string& body);

 private:
  void onPacket(int cmdId, const char* message, unsigned length) override;
  void onBadPacket() override { ++bad_; }
  // Reads once, waiting until the deadline; false on time-out, close or error.
  bool readSome(std::chrono::steady_clock::time_point deadline);

  SimSocket socket_;
  PacketAccumulator accumulator_;
  std::deque<SimPacket> packets_;
  std::size_t bad_ = 0;
  bool closed_ = false;
  bool reset_ = false;
  std::string raw_;
};
