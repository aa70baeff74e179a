#include "SimFaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../transport/PacketBytes.h"
#include "common/JsonText.h"

namespace {

using transporttest::packetBytes;
using transporttest::RecordingSink;

std::vector<SimSlice> sliceAll(SimFaultInjector& faults, const std::vector<std::string>& sends) {
  std::vector<SimSlice> all;
  for (const std::string& bytes : sends) {
    for (SimSlice& s : faults.slice(bytes)) all.push_back(s);
  }
  return all;
}

TEST(SimFaultInjector, SlicesAreBoundedReplayedFromTheSeedAndEndAtTheCut) {
  SimFaultPlan plan;
  plan.seed = 42;
  plan.sliceBytes = 5;
  plan.pauseMs = 3;
  plan.cutAfterBytes = 130;
  const std::vector<std::string> sends = {std::string(100, 'a'), std::string(100, 'b')};
  SimFaultInjector first(plan, 1);
  SimFaultInjector again(plan, 1);
  SimFaultInjector otherStream(plan, 2);
  const auto slices = sliceAll(first, sends);
  const auto replay = sliceAll(again, sends);
  const auto other = sliceAll(otherStream, sends);

  std::string joined;
  std::vector<std::size_t> sizes, replaySizes, otherSizes;
  for (const SimSlice& s : slices) {
    joined += s.bytes;
    sizes.push_back(s.bytes.size());
    EXPECT_GE(s.bytes.size(), 1u);
    EXPECT_LE(s.bytes.size(), 5u);
  }
  for (const SimSlice& s : replay) replaySizes.push_back(s.bytes.size());
  for (const SimSlice& s : other) otherSizes.push_back(s.bytes.size());
  EXPECT_EQ(std::string(100, 'a') + std::string(30, 'b'), joined);
  EXPECT_EQ(sizes, replaySizes);
  EXPECT_NE(sizes, otherSizes);
  EXPECT_TRUE(slices.back().cutAfter);
  EXPECT_EQ(0, slices.front().pauseBefore.count());
  EXPECT_EQ(3, slices[1].pauseBefore.count());
}

TEST(SimFaultInjector, MangledPacketsAreStillFoundBehindGarbageAndFalseHeadsUnlessTheirCodeIsSpoilt) {
  SimFaultPlan noise;
  noise.garbage = 1;
  noise.falseHeads = 1;
  noise.hugeHeads = 1;
  SimFaultInjector faults(noise, 3);
  std::string stream;
  for (int i = 0; i < 50; ++i) stream += faults.mangle(packetBytes("{\"n\":" + std::to_string(i) + "}"));
  RecordingSink sink;
  EXPECT_EQ(stream.size(), scanPackets(stream.data(), stream.size(), sink));
  EXPECT_EQ(50u, sink.bodies().size());
  EXPECT_EQ(0, sink.badCount());

  SimFaultPlan spoilt;
  spoilt.badCheckCode = 1;
  SimFaultInjector bad(spoilt, 3);
  const std::string badPacket = bad.mangle(packetBytes("{}"));
  RecordingSink rejected;
  scanPackets(badPacket.data(), badPacket.size(), rejected);
  EXPECT_EQ(1, rejected.badCount());

  SimFaultPlan lower;
  lower.lowerCaseCheckCode = 1;
  SimFaultInjector lowered(lower, 3);
  // The example packet's check code has letters (35C8D7A8), which lower case spoils.
  const std::string lowPacket = lowered.mangle(packetBytes("{}", "03001", 1));
  EXPECT_EQ("35c8d7a8", lowPacket.substr(lowPacket.size() - 11, 8));
}

TEST(SimFaultPlanParse, ReadsEveryMemberAndRejectsBadOnesWithoutChangingThePlan) {
  Json::Value doc;
  ASSERT_TRUE(jsontext::parse(R"({"Seed":7,"SliceBytes":1,"PauseMs":5,"CutAfterBytes":300,"Reset":true,
      "NoRead":false,"LateMs":1500,"Garbage":0.5,"BadCheckCode":0.1,"LowerCaseCheckCode":0.2,
      "FalseHeads":0.3,"HugeHeads":0.4,"StaleSerials":0.6,"UnknownPushes":0.7,"UnknownIdFlood":3})",
                              doc));
  SimFaultPlan plan;
  std::string error;
  ASSERT_TRUE(simfaults::parse(doc, plan, &error)) << error;
  EXPECT_EQ(7u, plan.seed);
  EXPECT_EQ(1u, plan.sliceBytes);
  EXPECT_EQ(300, plan.cutAfterBytes);
  EXPECT_TRUE(plan.reset);
  EXPECT_EQ(1500, plan.lateMs);
  EXPECT_DOUBLE_EQ(0.4, plan.hugeHeads);
  EXPECT_EQ(3, plan.unknownIdFlood);
  EXPECT_TRUE(plan.active());
  EXPECT_FALSE(SimFaultPlan().active());

  for (const char* bad : {R"({"Garbage":1.5})", R"({"PauseMs":-1})", R"({"Reset":1})", R"({"Typo":1})",
                          R"({"CutAfterBytes":-2})", R"([])"}) {
    Json::Value badDoc;
    ASSERT_TRUE(jsontext::parse(bad, badDoc));
    SimFaultPlan kept = plan;
    error.clear();
    EXPECT_FALSE(simfaults::parse(badDoc, kept, &error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(1500, kept.lateMs);
  }
}

}  // namespace
