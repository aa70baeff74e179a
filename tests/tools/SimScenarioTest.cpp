#include "SimScenario.h"

#include <gtest/gtest.h>

#include "common/JsonText.h"

namespace {

Json::Value doc(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(jsontext::parse(text, v)) << text;
  return v;
}

TEST(SimScenarioTest, NormalisesCommandIds) {
  EXPECT_EQ(simscenario::normaliseCmdId("3010"), "03010");
  EXPECT_EQ(simscenario::normaliseCmdId("03010"), "03010");
  EXPECT_EQ(simscenario::normaliseCmdId(""), "");
  EXPECT_EQ(simscenario::normaliseCmdId("030100"), "");
  EXPECT_EQ(simscenario::normaliseCmdId("30a0"), "");
}

TEST(SimScenarioTest, ReadsSettingsAndEveryBehaviourMember) {
  SimSettings settings;
  settings.obuNo = "kept";
  std::map<std::string, CommandBehaviour> commands;
  ReplayQueues replay;
  std::string error;
  ASSERT_TRUE(simscenario::parse(doc(R"({
    "CardNo": "3201", "Plate": "B2", "OBUID": "01020304",
    "Commands": {
      "3011": {"ErrorCode": 5, "Members": {"Balance": "00000000"}, "Remove": ["LittleTime"],
               "DelayMs": 20, "NoAnswer": true, "WrongSerial": true, "CloseConnection": true,
               "RawBody": "x"},
      "03029": {"PushDelayMs": 300, "NoPush": true, "PushBeforeAnswer": true,
                "PushMembers": {"ErrorCode": "9"}, "PushRemove": ["UserName"]}
    },
    "Replay": {
      "3014": [{"Sends": [{"Id": "03114", "DelayMs": 12, "SerialOffset": -1, "Body": "not json"}],
                "CloseMs": 30, "Reset": true},
               {}]
    }})"), settings, commands, replay, &error)) << error;
  EXPECT_EQ(settings.cardNo, "3201");
  EXPECT_EQ(settings.plate, "B2");
  EXPECT_EQ(settings.obuId, "01020304");
  EXPECT_EQ(settings.obuNo, "kept");
  ASSERT_EQ(commands.size(), 2u);
  const CommandBehaviour& card = commands.at("03011");
  EXPECT_EQ(card.errorCode, 5);
  EXPECT_EQ(card.members["Balance"], "00000000");
  EXPECT_EQ(card.removeMembers, std::vector<std::string>{"LittleTime"});
  EXPECT_EQ(card.delayMs, 20);
  EXPECT_TRUE(card.noAnswer && card.wrongSerial && card.closeConnection);
  EXPECT_EQ(card.rawBody, "x");
  const CommandBehaviour& pay = commands.at("03029");
  EXPECT_EQ(pay.pushDelayMs, 300);
  EXPECT_TRUE(pay.noPush && pay.pushBeforeAnswer);
  EXPECT_EQ(pay.pushMembers["ErrorCode"], "9");
  EXPECT_EQ(pay.pushRemoveMembers, std::vector<std::string>{"UserName"});
  EXPECT_TRUE(pay.errorCode.isNull());
  ASSERT_EQ(replay.size(), 1u);
  const std::deque<ReplayEntry>& lists = replay.at("03014");
  ASSERT_EQ(lists.size(), 2u);
  ASSERT_EQ(lists[0].sends.size(), 1u);
  EXPECT_EQ(lists[0].sends[0].cmdId, "03114");
  EXPECT_EQ(lists[0].sends[0].delayMs, 12);
  EXPECT_EQ(lists[0].sends[0].serialOffset, -1);
  EXPECT_EQ(lists[0].sends[0].body, "not json");
  EXPECT_EQ(lists[0].closeMs, 30);
  EXPECT_TRUE(lists[0].reset);
  EXPECT_TRUE(lists[1].sends.empty());
  EXPECT_EQ(lists[1].closeMs, -1);
}

TEST(SimScenarioTest, RejectsMalformedScenariosWithoutChangingAnything) {
  const char* bad[] = {
      R"([])",
      R"({"Unknown": 1})",
      R"({"CardNo": 44})",
      R"({"Commands": []})",
      R"({"Commands": {"03030": {}}})",
      R"({"Commands": {"03099": {}}})",
      R"({"Commands": {"abc": {}}})",
      R"({"Commands": {"3010": {}, "03010": {}}})",
      R"({"Commands": {"03010": []}})",
      R"({"Commands": {"03010": {"Delay": 5}}})",
      R"({"Commands": {"03010": {"DelayMs": -1}}})",
      R"({"Commands": {"03010": {"DelayMs": 1.5}}})",
      R"({"Commands": {"03010": {"DelayMs": 600001}}})",
      R"({"Commands": {"03010": {"NoAnswer": "yes"}}})",
      R"({"Commands": {"03010": {"Members": "x"}}})",
      R"({"Commands": {"03010": {"Remove": [1]}}})",
      R"({"Commands": {"03010": {"RawBody": 1}}})",
      R"({"CardNo": "changed", "Commands": {"03010": {"NoPush": 1}}})",
      R"({"Replay": {"03030": []}})",
      R"({"Replay": {"03010": {}}})",
      R"({"Replay": {"03010": [{"Sends": [{"DelayMs": 1}]}]}})",
      R"({"Replay": {"03010": [{"Sends": [{"Id": "03110", "Body": 1}]}]}})",
      R"({"Replay": {"03010": [{"Sends": [{"Id": "03110", "SerialOffset": 100000000}]}]}})",
      R"({"Replay": {"03010": [{"CloseMs": -1}]}})",
      R"({"Replay": {"03010": [{"Close": 1}]}})",
  };
  for (const char* text : bad) {
    SimSettings settings;
    std::map<std::string, CommandBehaviour> commands{{"03001", CommandBehaviour()}};
    ReplayQueues replay{{"03001", {ReplayEntry()}}};
    std::string error;
    EXPECT_FALSE(simscenario::parse(doc(text), settings, commands, replay, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(settings.cardNo, SimSettings::kDefaultCardNo) << text;
    EXPECT_EQ(commands.size(), 1u) << text;
    EXPECT_EQ(replay.size(), 1u) << text;
  }
}

TEST(SimScenarioTest, AnEmptyScenarioClearsTheCommands) {
  SimSettings settings;
  std::map<std::string, CommandBehaviour> commands{{"03001", CommandBehaviour()}};
  ReplayQueues replay{{"03001", {ReplayEntry()}}};
  ASSERT_TRUE(simscenario::parse(doc("{}"), settings, commands, replay, nullptr));
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(replay.empty());
}

}  // namespace
