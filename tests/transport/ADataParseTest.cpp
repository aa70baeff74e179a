#include "transport/ADataParse.h"

#include <gtest/gtest.h>

#include <string>

#include "PacketBytes.h"

using transporttest::fixCheckCode;
using transporttest::packetBytes;
using transporttest::setField;

namespace {

const std::string kLengthMessage = "包长度不对！\n";
const std::string kCheckCodeMessage = "校验码错误！\n";
const std::string kBodyLengthMessage = "消息长度错误！\n";

struct Verdict {
  bool passed;
  std::string stderrText;
};

Verdict check(const std::string& pkt) {
  testing::internal::CaptureStderr();
  const bool passed = ADataParse(pkt.data(), static_cast<int>(pkt.size())).serverWork();
  return {passed, testing::internal::GetCapturedStderr()};
}

TEST(ADataParse, WorkedExamplePassesAndHandsOutItsMessagePart) {
  const std::string pkt = packetBytes("{}");
  const ADataParse parse(pkt.data(), static_cast<int>(pkt.size()));
  const Verdict v = check(pkt);
  EXPECT_TRUE(v.passed);
  EXPECT_EQ("", v.stderrText);
  EXPECT_EQ(3001, parse.cmdId());
  EXPECT_EQ(pkt.data() + 28, parse.getDataBody());
  EXPECT_EQ(23u, parse.getDataLen());
  EXPECT_EQ("030010000000100000002{}", std::string(parse.getDataBody(), parse.getDataLen()));
}

TEST(ADataParse, EmptyBodyPacketOfSixtyBytesPasses) {
  const std::string pkt = packetBytes("");
  ASSERT_EQ(60u, pkt.size());
  const ADataParse parse(pkt.data(), 60);
  EXPECT_TRUE(check(pkt).passed);
  EXPECT_EQ(21u, parse.getDataLen());
}

TEST(ADataParse, CheckCodeCoversExactlyTimeToEndOfBody) {
  const std::string good = packetBytes("{}");
  for (std::size_t i = 0; i < good.size() - packet::kCheckCodeFromEnd; ++i) {
    std::string pkt = good;
    pkt[i] = static_cast<char>(pkt[i] ^ 0x01);
    const bool covered = i >= packet::kTimeOffset;
    EXPECT_EQ(!covered, ADataParse(pkt.data(), 62).checkPackageVerifed()) << "byte " << i;
  }
}

TEST(ADataParse, FlippedByteFailsTheCheckCodeWithItsMessage) {
  std::string pkt = packetBytes("{\"a\":1}");
  pkt[packet::kHeaderSize + 2] ^= 0x20;
  const Verdict v = check(pkt);
  EXPECT_FALSE(v.passed);
  EXPECT_EQ(kCheckCodeMessage, v.stderrText);
}

TEST(ADataParse, LowerCaseCheckCodeFails) {
  std::string pkt = packetBytes("{}");
  setField(pkt, 51, "35c8d7a8");
  EXPECT_FALSE(ADataParse(pkt.data(), 62).checkPackageVerifed());
}

TEST(ADataParse, WrongLengthFieldFailsBeforeTheCheckCodeIsLookedAt) {
  std::string pkt = packetBytes("{}");
  setField(pkt, packet::kLengthOffset, "00000063");
  EXPECT_TRUE(ADataParse(pkt.data(), 62).checkPackageVerifed());  // the length field is not covered
  setField(pkt, 51, "00000000");                                    // a bad check code as well
  const Verdict v = check(pkt);
  EXPECT_FALSE(v.passed);
  EXPECT_EQ(kLengthMessage, v.stderrText);
}

TEST(ADataParse, WrongBodyLengthWithRecomputedCheckCodeFailsTheBodyLength) {
  std::string pkt = packetBytes("{}");
  setField(pkt, packet::kBodyLenOffset, "00000003");
  fixCheckCode(pkt);
  const ADataParse parse(pkt.data(), 62);
  EXPECT_TRUE(parse.checkPckgLength());
  EXPECT_TRUE(parse.checkPackageVerifed());
  const Verdict v = check(pkt);
  EXPECT_FALSE(v.passed);
  EXPECT_EQ(kBodyLengthMessage, v.stderrText);
}

TEST(ADataParse, CommandIdReadsOnlyItsFiveCharacters) {
  const std::string answer = packetBytes("{}", "03101", 99999999);
  EXPECT_EQ(3101, ADataParse(answer.data(), 62).cmdId());
  const std::string letters = packetBytes("{}", "ABCDE");
  EXPECT_EQ(0, ADataParse(letters.data(), 62).cmdId());
  const std::string mixed = packetBytes("{}", "12X45");
  EXPECT_EQ(12, ADataParse(mixed.data(), 62).cmdId());
}

}  // namespace
