// The benchmark's responder must answer as a lane server does, or the benchmark measures time-outs.
#include "Wire.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "transport/ADataParse.h"
#include "transport/Package.h"
#include "transport/Packet.h"

namespace {

std::string request(const char (&cmdId)[6], unsigned serial) {
  const std::string body = "{\"A\":\"1\"}";
  const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>(cmdId), serial);
  return std::string(p.returnmsg(), p.size());
}

TEST(WireTest, AnswersPassThePacketChecksWithTheAnswerIdAndTheRequestSerial) {
  const wire::AnswerBook book;
  struct Case {
    const char (&cmdId)[6];
    int answerId;
    unsigned serial;
  };
  const Case cases[] = {{"03014", 3114, 12345678}, {"03001", 3101, 0}, {"03012", 3112, 7},
                        {"03032", 3132, 99999999}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answerId);
    std::string answer;
    ASSERT_NE(nullptr, book.answer(request(c.cmdId, c.serial), answer));
    const ADataParse parsed(answer.data(), static_cast<int>(answer.size()));
    EXPECT_TRUE(parsed.serverWork());
    EXPECT_EQ(c.answerId, parsed.cmdId());
    char serial[packet::kFieldWidth + 1];
    std::snprintf(serial, sizeof serial, "%08u", c.serial);
    EXPECT_EQ(serial, answer.substr(packet::kSerialOffset, packet::kFieldWidth));
  }
  std::string untouched = "kept";
  EXPECT_EQ(nullptr, book.answer(request("09999", 1), untouched));
  EXPECT_EQ("kept", untouched);
}

TEST(WireTest, CutterHandsOutWholePacketsInOrderHoweverTheyArrive) {
  const std::string first = request("03014", 1);
  const std::string second = request("03021", 2);
  const std::string stream = first + second;
  for (std::size_t split = 1; split < stream.size(); split += 7) {
    SCOPED_TRACE(split);
    wire::PacketCutter cutter;
    std::string packet;
    cutter.append(stream.data(), split);
    std::string out;
    while (cutter.next(packet)) out += packet + "|";
    cutter.append(stream.data() + split, stream.size() - split);
    while (cutter.next(packet)) out += packet + "|";
    EXPECT_EQ(first + "|" + second + "|", out);
  }
}

}  // namespace
