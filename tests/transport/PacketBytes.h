// Helpers of the transport tests: packets as byte strings, corrupted on purpose where needed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "transport/Package.h"
#include "transport/Packet.h"
#include "transport/PacketScanner.h"

namespace transporttest {

constexpr const char* kExampleTime = "261206173005123";

inline std::string packetBytes(const std::string& body, const char (&cmdId)[6] = "03001", unsigned serial = 1,
                               const std::string& sendTime = kExampleTime) {
  const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>(cmdId), serial, sendTime);
  return std::string(p.returnmsg(), p.size());
}

// Rewrites the check code of a packet after a field was changed on purpose.
inline void fixCheckCode(std::string& pkt) {
  packet::writeCheckCode(BufView<8>(&pkt[pkt.size() - packet::kCheckCodeFromEnd]),
                         pkt.data() + packet::kChecksumStart, pkt.size() - packet::kUnchecksummed);
}

inline void setField(std::string& pkt, std::size_t offset, const std::string& text) {
  pkt.replace(offset, text.size(), text);
}

inline std::string headMarker() { return std::string(reinterpret_cast<const char*>(packet::kHead), 3); }
inline std::string tailMarker() { return std::string(reinterpret_cast<const char*>(packet::kTail), 3); }

// The body of a message part handed out by the scan.
inline std::string bodyOf(const std::string& message) { return message.substr(packet::kMessageBodyOffset); }

// Records what a scan hands out, in order; "bad" entries stand for rejected candidates.
class RecordingSink : public PacketSink {
 public:
  struct Entry {
    bool good;
    int cmdId;
    std::string message;
    const char* where;
  };

  void onPacket(int cmdId, const char* message, unsigned length) override {
    entries.push_back({true, cmdId, std::string(message, length), message});
  }
  void onBadPacket() override { entries.push_back({false, 0, std::string(), nullptr}); }

  std::vector<std::string> bodies() const {
    std::vector<std::string> out;
    for (const Entry& e : entries) {
      if (e.good) out.push_back(bodyOf(e.message));
    }
    return out;
  }
  int badCount() const {
    int n = 0;
    for (const Entry& e : entries) n += e.good ? 0 : 1;
    return n;
  }

  std::vector<Entry> entries;
};

}  // namespace transporttest
