#include "SimStreamDecoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "../transport/PacketBytes.h"

using namespace std::chrono_literals;

namespace {

using transporttest::fixCheckCode;
using transporttest::headMarker;
using transporttest::packetBytes;
using transporttest::setField;

using Lines = std::vector<std::string>;

// The lines a decoder prints for a stream handed to it in pieces of `piece` bytes.
Lines decode(const std::string& bytes, std::size_t piece, const char* direction = "lane->server") {
  std::ostringstream out;
  SimEcho echo;
  echo.setStream(&out);
  SimStreamDecoder decoder(direction, "#3", echo);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    decoder.feed(bytes.data() + at, std::min(piece, bytes.size() - at), SimStreamDecoder::Clock::now());
  }
  decoder.finish();
  echo.setStream(nullptr);
  Lines lines;
  std::istringstream text(out.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

TEST(SimStreamDecoder, NamesEveryPacketTheSameWayHoweverTheStreamIsCut) {
  const std::string bytes = packetBytes("{\n\t\"UserName\" : \"u\"\n}\n", "03001", 7) +
                            packetBytes("{\"ErrorCode\":\"0\"}", "03101", 7) +
                            packetBytes("not json\n", "03118", 9) +
                            packetBytes("{\"NonCashTsSn\":\"T1\"}", "03130", 12);
  const Lines expected = {
      "lane->server #3 03001 LaneLogin 00000007 {\"UserName\":\"u\"}",
      "lane->server #3 03101 LaneLogin-answer 00000007 {\"ErrorCode\":\"0\"}",
      "lane->server #3 03118 unknown 00000009 not json\\n",
      "lane->server #3 03130 NonCashPayResult 00000012 {\"NonCashTsSn\":\"T1\"}",
  };
  for (std::size_t piece : {bytes.size(), std::size_t(1), std::size_t(2), std::size_t(59), std::size_t(61)}) {
    EXPECT_EQ(expected, decode(bytes, piece)) << "pieces of " << piece;
  }
}

TEST(SimStreamDecoder, FlagsBadCheckCodesLengthsAndMarkersAndCountsTheBytesPassedOver) {
  // The worked packet: 03001, serial 1, body {}, check code 35C8D7A8.
  const std::string good = packetBytes("{}");
  std::string wrongCode = good;
  setField(wrongCode, 51, "35C8D7A9");
  std::string lowerCode = good;
  setField(lowerCode, 51, "35c8d7a8");
  std::string wrongBodyLength = good;
  setField(wrongBodyLength, packet::kBodyLenOffset, "00000003");
  fixCheckCode(wrongBodyLength);
  std::string wrongTail = good;
  wrongTail.back() = 'X';
  const std::string shortHead = headMarker() + "00000007";
  std::string hugeHead = packetBytes(std::string(20, 'h'));
  setField(hugeHead, packet::kLengthOffset, "99999999");
  const std::string noise = "noise";
  const std::string unfinished = packetBytes(std::string(100, 'u')).substr(0, 70);

  const std::string bad = noise + wrongCode + lowerCode + wrongBodyLength + wrongTail + shortHead + hugeHead;
  // A body length is flagged alike whether the packet was whole or still arriving.
  const std::string where = " in 03001 LaneLogin 00000001, packet length 00000062";
  const Lines expected = {
      "flag #3 server->lane bad check code 35C8D7A9 (computed 35C8D7A8)" + where,
      "flag #3 server->lane bad check code 35c8d7a8 (computed 35C8D7A8)" + where,
      "flag #3 server->lane bad body length 00000003" + where,
      "flag #3 server->lane bad tail marker" + where,
      "flag #3 server->lane bad packet length 00000007 after a head marker (below 60)",
      "flag #3 server->lane bad body length 00000020 in 03001 LaneLogin 00000001, packet length 99999999",
      "skip #3 server->lane " + std::to_string(bad.size()) + " bytes that are no packet",
      "server->lane #3 03001 LaneLogin 00000001 {}",
      "skip #3 server->lane 70 bytes of an unfinished packet at the end",
  };
  testing::internal::CaptureStderr();
  for (std::size_t piece : {std::size_t(1000), std::size_t(1), std::size_t(13)}) {
    EXPECT_EQ(expected, decode(bad + good + unfinished, piece, "server->lane")) << "pieces of " << piece;
  }
  // The flag lines say what the library's messages would: the output holds only its own lines.
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(SimStreamDecoder, TellsBytesThatAreNoPacketOnceTheStreamHasBeenQuiet) {
  std::ostringstream out;
  SimEcho echo;
  echo.setStream(&out);
  SimStreamDecoder decoder("lane->server", "#3", echo);
  const SimStreamDecoder::Clock::time_point t0{};
  decoder.feed("noise", 5, t0);
  decoder.quiet(t0 + 99ms);
  echo.drain();
  EXPECT_EQ("", out.str());
  decoder.quiet(t0 + 100ms);
  const std::string packet = packetBytes("{}");
  decoder.feed(packet.data(), packet.size(), t0 + 200ms);
  echo.setStream(nullptr);
  EXPECT_EQ("skip #3 lane->server 5 bytes that are no packet\nlane->server #3 03001 LaneLogin 00000001 {}\n",
            out.str());
}

}  // namespace
