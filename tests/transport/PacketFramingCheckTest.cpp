// The packet code against framing written here from the layout alone, without any of it: lanesim
// builds and scans packets with the library's own code, so a fault that code shares with the
// library would pass every test against lanesim. Nothing below the reference uses the packet code.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "transport/ADataParse.h"
#include "transport/Package.h"
#include "transport/PacketScanner.h"

namespace {

// ---- The reference: the layout, byte by byte -----------------------------------------------------

const std::string kHead("\xFF\xFE\xFD", 3);
const std::string kTail("\xFD\xFE\xFF", 3);
constexpr std::size_t kHeader = 49;   // head marker to the end of the body length field
constexpr std::size_t kTrailer = 11;  // check code and tail marker

// CRC-32 of ISO-HDLC bit by bit, without a table.
unsigned referenceCrc(const std::string& bytes) {
  unsigned crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string eightDigits(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%08lu", value);
  return text;
}

std::string upperHex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string referencePacket(const std::string& body, const std::string& id, unsigned serial,
                            const std::string& time) {
  const std::string checked = time + "01" + id + eightDigits(serial) + eightDigits(body.size()) + body;
  return kHead + eightDigits(body.size() + 60) + checked + upperHex(referenceCrc(checked)) + kTail;
}

struct Message {
  std::string id;
  std::string serial;
  std::string body;
  bool operator==(const Message& o) const { return id == o.id && serial == o.serial && body == o.body; }
};

// The message of one whole candidate, or false when a field or the check code disagrees.
bool referenceMessage(const std::string& packet, Message& out) {
  const std::size_t size = packet.size();
  if (size < kHeader + kTrailer || packet.compare(0, 3, kHead) != 0 ||
      packet.compare(size - 3, 3, kTail) != 0 || packet.substr(3, 8) != eightDigits(size) ||
      packet.substr(41, 8) != eightDigits(size - 60)) {
    return false;
  }
  const std::string checked = packet.substr(11, size - 22);
  if (packet.substr(size - kTrailer, 8) != upperHex(referenceCrc(checked))) return false;
  out = Message{packet.substr(28, 5), packet.substr(33, 8), packet.substr(kHeader, size - 60)};
  return true;
}

// ---- The packet code under test -----------------------------------------------------------------

std::string built(const std::string& body, const std::string& id, unsigned serial, const std::string& time) {
  char field[5];
  id.copy(field, sizeof field);
  const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>(&field[0]), serial, time);
  return std::string(p.returnmsg(), p.size());
}

class Collected : public PacketSink {
 public:
  void onPacket(int, const char* message, unsigned length) override {
    const std::string part(message, length);
    messages.push_back(Message{part.substr(0, 5), part.substr(5, 8), part.substr(21)});
  }
  void onBadPacket() override { ++rejected; }

  std::vector<Message> messages;
  int rejected = 0;
};

struct Case {
  std::string body;
  std::string id;
  unsigned serial;
  std::string time;
};

// Bodies of every length class and byte value, markers and zero bytes included.
std::vector<Case> cases() {
  std::mt19937 rng(20261206);
  std::vector<Case> out = {{"", "03001", 0, "261206173005123"},
                           {"{}", "03001", 1, "261206173005123"},
                           {std::string("a\0b", 3) + kHead + kTail, "03130", 99999999, "991231235959999"}};
  for (std::size_t length : {1u, 59u, 60u, 61u, 4096u, 70000u}) {
    std::string body(length, '\0');
    for (char& c : body) c = static_cast<char>(rng() & 0xFF);
    out.push_back({body, "03114", static_cast<unsigned>(rng() % 100000000), "000101000000000"});
  }
  return out;
}

TEST(PacketFramingCheck, PackageBuildsTheBytesOfTheLayout) {
  EXPECT_EQ("35C8D7A8", upperHex(referenceCrc(std::string("261206173005123") + "01" + "03001" +
                                             "00000001" + "00000002" + "{}")));
  EXPECT_EQ("CBF43926", upperHex(referenceCrc("123456789")));
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.body.size());
    EXPECT_EQ(referencePacket(c.body, c.id, c.serial, c.time), built(c.body, c.id, c.serial, c.time));
  }
}

TEST(PacketFramingCheck, ScanHandsOutWhatTheLayoutFramesAndWhatThePackageBuilt) {
  std::string stream;
  std::vector<Message> expected;
  for (const Case& c : cases()) {
    const std::string packet = built(c.body, c.id, c.serial, c.time);
    Message m;
    ASSERT_TRUE(referenceMessage(packet, m)) << c.body.size();
    expected.push_back(m);
    stream += "noise" + referencePacket(c.body, c.id, c.serial, c.time);
  }
  Collected sink;
  EXPECT_EQ(stream.size(), scanPackets(stream.data(), stream.size(), sink));
  EXPECT_EQ(0, sink.rejected);
  EXPECT_TRUE(sink.messages == expected);
}

// Each check of the receiving side refuses what the layout refuses: a check code over other bytes
// or in lower case, and a body length field that disagrees, re-coded by the reference.
TEST(PacketFramingCheck, ReceivedChecksRefuseWhatTheLayoutRefuses) {
  const std::string good = referencePacket("{\"ErrorCode\":\"0\"}", "03121", 4, "261206173005123");
  std::string flipped = good;
  flipped[20] ^= 0x01;
  std::string lower = good;
  for (std::size_t at = good.size() - kTrailer; at < good.size() - 3; ++at) {
    lower[at] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[at])));
  }
  std::string bodyLength = good;
  bodyLength.replace(41, 8, eightDigits(good.size() - 59));
  bodyLength.replace(good.size() - kTrailer, 8, upperHex(referenceCrc(bodyLength.substr(11, good.size() - 22))));

  const ADataParse accepted(good.data(), static_cast<int>(good.size()));
  EXPECT_EQ(ADataParse::Failure::None, accepted.firstFailure(false));
  Message m;
  for (const std::string* bad : {&flipped, &bodyLength}) {
    EXPECT_FALSE(referenceMessage(*bad, m));
    EXPECT_NE(ADataParse::Failure::None, ADataParse(bad->data(), static_cast<int>(bad->size())).firstFailure(false));
  }
  // The example's check code has letters, which lower case spoils.
  ASSERT_NE(lower, good);
  EXPECT_FALSE(referenceMessage(lower, m));
  EXPECT_EQ(ADataParse::Failure::CheckCode, ADataParse(lower.data(), static_cast<int>(lower.size())).firstFailure(false));
  EXPECT_EQ(ADataParse::Failure::BodyLength,
            ADataParse(bodyLength.data(), static_cast<int>(bodyLength.size())).firstFailure(false));
}

}  // namespace
