#include "transport/Package.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "PacketBytes.h"
#include "platform/Platform.h"

using transporttest::packetBytes;

namespace {

std::string minutePrefix(const platform::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d", t.year % 100, t.month, t.day, t.hour, t.minute);
  return text;
}

TEST(Package, WorkedExampleHasTheExactBytes) {
  const std::string expected = std::string("\xFF\xFE\xFD", 3) + "00000062" + "261206173005123" + "01" + "03001" +
                               "00000001" + "00000002" + "{}" + "35C8D7A8" + std::string("\xFD\xFE\xFF", 3);
  const Package p("{}", 2, BufView<5>("03001"), 1, "261206173005123");
  ASSERT_EQ(62u, p.size());
  EXPECT_EQ(expected, std::string(p.returnmsg(), p.size()));
}

TEST(Package, BodyOfLBytesGivesLPlus60WithBothLengthFields) {
  for (std::size_t length : {0u, 1u, 2u, 999u, 10240u, 123457u}) {
    std::string body(length, 'x');
    if (length > 1) body[length / 2] = '\0';  // copied verbatim, not cut at a NUL
    const std::string pkt = packetBytes(body);
    ASSERT_EQ(length + 60, pkt.size());
    EXPECT_EQ(static_cast<long>(length + 60), packet::readField(pkt.data() + packet::kLengthOffset, 8));
    EXPECT_EQ(static_cast<long>(length), packet::readField(pkt.data() + packet::kBodyLenOffset, 8));
    EXPECT_EQ(body, pkt.substr(packet::kHeaderSize, length));
    EXPECT_EQ(transporttest::tailMarker(), pkt.substr(pkt.size() - 3));
  }
}

TEST(Package, SerialIsASignedZeroPaddedEightCharacterField) {
  EXPECT_EQ("00000123", packetBytes("{}", "03001", 123).substr(packet::kSerialOffset, 8));
  EXPECT_EQ("99999999", packetBytes("{}", "03001", 99999999).substr(packet::kSerialOffset, 8));
  // A serial read back from a received field as an int goes out as it came in, sign included.
  EXPECT_EQ("-0000001", packetBytes("{}", "03001", static_cast<unsigned>(-1)).substr(packet::kSerialOffset, 8));
  EXPECT_EQ("-1234567", packetBytes("{}", "03001", static_cast<unsigned>(-1234567)).substr(packet::kSerialOffset, 8));
}

TEST(Package, BodyTooLongForTheLengthFieldThrowsBeforeItIsRead) {
  const char one = '{';  // far shorter than claimed: reading it would overrun
  EXPECT_THROW(Package(&one, 99999940u, BufView<5>("03001"), 1, transporttest::kExampleTime), std::length_error);
  EXPECT_THROW(Package(&one, 4294967295u, BufView<5>("03001"), 1, transporttest::kExampleTime), std::length_error);
}

TEST(Package, SendTimeOfWrongLengthThrowsOutOfRange) {
  for (const std::string time : {"26120617300512", "2612061730051234", ""}) {
    try {
      const Package p("{}", 2, BufView<5>("03001"), 1, time);
      ADD_FAILURE() << "no exception for a send time of " << time.size() << " characters";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ("void copyFrom(const std::string& str)", e.what());
    }
  }
}

TEST(Package, SendTimeIsTheLocalTimeNowInFifteenDigits) {
  const std::string before = minutePrefix(platform::localTimeNow());
  const std::string time = Package::GetPackageTime();
  const std::string after = minutePrefix(platform::localTimeNow());
  ASSERT_EQ(15u, time.size());
  for (char c : time) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << time;
  EXPECT_TRUE(time.compare(0, 10, before) == 0 || time.compare(0, 10, after) == 0) << time;

  const Package p("{}", 2, BufView<5>("03001"), 1);
  const std::string stamped(p.returnmsg() + packet::kTimeOffset, 15);
  EXPECT_TRUE(stamped.compare(0, 10, before) == 0 || stamped.compare(0, 10, after) == 0) << stamped;
}

}  // namespace
