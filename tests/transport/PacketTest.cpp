#include "transport/Packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>


namespace {

TEST(PacketCrc32, KnownAnswers) {
  EXPECT_EQ(0xCBF43926u, packet::crc32("123456789", 9));
  EXPECT_EQ(0x00000000u, packet::crc32("", 0));
  EXPECT_EQ(0xE8B7BE43u, packet::crc32("a", 1));
  // Bytes above 0x7F must be taken as unsigned.
  EXPECT_EQ(0x265EA2ECu, packet::crc32("\xFF\xFE\x80", 3));
}

TEST(PacketCrc32, CheckCodeIsEightUpperCaseDigitsWithoutTerminator) {
  char area[10];
  std::memset(area, '#', sizeof area);
  packet::writeCheckCode(BufView<8>(area), "a", 1);
  EXPECT_EQ("E8B7BE43##", std::string(area, sizeof area));

  std::memset(area, '#', sizeof area);
  packet::writeCheckCode(BufView<8>(area), "", 0);
  EXPECT_EQ("00000000##", std::string(area, sizeof area));
}

TEST(PacketReadField, FollowsStrtolRulesWithinTheFieldWidth) {
  EXPECT_EQ(62, packet::readField("00000062", 8));
  EXPECT_EQ(62, packet::readField("00000062999", 8));  // the next field is not read
  EXPECT_EQ(12, packet::readField("  12    ", 8));
  EXPECT_EQ(-1, packet::readField("-0000001", 8));
  EXPECT_EQ(12, packet::readField("12AB5678", 8));
  EXPECT_EQ(0, packet::readField("ABCD5678", 8));
  EXPECT_EQ(12, packet::readField("12\0" "45678", 8));  // stops at a NUL
  EXPECT_EQ(3101, packet::readField("0310100000001", 5));
}

TEST(PacketLimits, BodyFitsOnlyWhenThePacketLengthHasEightDigits) {
  EXPECT_TRUE(packet::bodyFits(0));
  EXPECT_TRUE(packet::bodyFits(99999939));
  EXPECT_FALSE(packet::bodyFits(99999940));
  EXPECT_FALSE(packet::bodyFits(-1));
  EXPECT_FALSE(packet::bodyFits(1LL << 40));
}

}  // namespace
