// Byte-level helpers shared by the benchmark programs: whole packets cut out of a blocking stream
// by their length field, and the prepared answers of the minimal responder.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "platform/Platform.h"

namespace wire {

// An answer's command id is its request's plus this.
constexpr int kAnswerIdOffset = 100;
// Bytes taken from a socket per receive.
constexpr std::size_t kReadChunk = 10240;

// Cuts whole packets out of a byte stream by the length field alone: the peers are our own
// programs, so nothing is checked. One thread at a time.
class PacketCutter {
 public:
  void append(const char* data, std::size_t size);
  // Moves the next complete packet into `packet`; false while none is complete.
  bool next(std::string& packet);

 private:
  std::string buffer_;
  std::size_t start_ = 0;  // first byte not yet handed out
};

// Blocks until one whole packet has arrived on `s`; false when the peer closed or the socket
// failed.
bool readPacket(platform::SocketHandle s, PacketCutter& cutter, std::string& packet);
// Sends all bytes with as few sends as the socket allows; false on failure.
bool sendAll(platform::SocketHandle s, const std::string& bytes);

// A complete packet with the given body; send time and serial are placeholders.
std::string packetWith(const std::string& body, const char (&cmdId)[6], unsigned serial);

// The lane identity the benchmark configures, and the ListQuery input it sends. The raw clients
// send the body the library makes of them, so that every client moves the same byte counts.
constexpr const char* kListQueryInput = "{\"CardNo\":\"4401234567890123\",\"ListType\":\"1\"}";
std::string listQueryRequestBody();
// That body as the ListQuery packet the raw clients send.
std::string listQueryRequestPacket();

// The responder's prepared answers, one per request command id. Not thread-safe to build; answer()
// only reads.
class AnswerBook {
 public:
  AnswerBook();
  // Writes the answer to one request packet into `out`: the packet prepared for its command id
  // (id + 100; a generic success for ids without a body of their own), patched with the request's
  // serial and a fresh check code. Null, with nothing written, for an unknown command id.
  const std::string* answer(const std::string& request, std::string& out) const;

 private:
  std::map<int, std::string> packets_;  // by request command id
};

}  // namespace wire
