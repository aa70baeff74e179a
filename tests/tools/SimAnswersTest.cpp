#include "SimAnswers.h"

#include <gtest/gtest.h>

namespace {

const platform::LocalTime kNow{2026, 12, 6, 17, 30, 5, 123};

Json::Value answerTo(const std::string& id, const Json::Value& request = Json::Value(Json::objectValue),
                     const SimSettings& settings = SimSettings()) {
  return simanswers::answer(id, request, settings, 1, kNow);
}

bool isHex(const Json::Value& v, std::size_t width) {
  if (!v.isString() || v.asString().size() != width) return false;
  return v.asString().find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(SimAnswersTest, RequestIdsAreThoseFrom03001To03032ButTheAcknowledgement) {
  EXPECT_TRUE(simanswers::isRequestId("03001"));
  EXPECT_TRUE(simanswers::isRequestId("03032"));
  EXPECT_FALSE(simanswers::isRequestId("03030"));
  EXPECT_FALSE(simanswers::isRequestId("03000"));
  EXPECT_FALSE(simanswers::isRequestId("03033"));
  EXPECT_FALSE(simanswers::isRequestId("03130"));
  EXPECT_FALSE(simanswers::isRequestId("3001"));
  EXPECT_FALSE(simanswers::isRequestId("0300a"));
  EXPECT_EQ(simanswers::answerId("03001"), "03101");
  EXPECT_EQ(simanswers::answerId("03029"), "03129");
}

TEST(SimAnswersTest, CardAnswersCarryTheConfiguredNumberAndHexCodedData) {
  SimSettings settings;
  EXPECT_EQ(std::string(SimSettings::kDefaultCardNo).size(), 20u);
  EXPECT_EQ(std::string(SimSettings::kDefaultCardNo).substr(0, 2), "44");
  settings.cardNo = "3201";
  settings.plate = "AB";
  EXPECT_EQ(answerTo("03010", Json::Value(), settings)["CardNo"], "3201");

  for (const char* id : {"03011", "03026", "03020"}) {
    Json::Value a = answerTo(id, Json::Value(Json::objectValue), settings);
    EXPECT_EQ(a["CardNo"], "3201") << id;
    EXPECT_EQ(a["Balance"], "000003E8") << id;
    EXPECT_EQ(a["CardPlate"], "414200000000000000000000") << id;
    EXPECT_TRUE(isHex(a["CardVehClass"], 2)) << id;
    EXPECT_TRUE(isHex(a["CardVehUserType"], 2)) << id;
  }
  EXPECT_EQ(answerTo("03020")["OpType"], "2");
  EXPECT_EQ(answerTo("03011")["ICReaderOP"], "2");
  Json::Value gd = answerTo("03026", Json::Value(Json::objectValue), settings);
  EXPECT_EQ(gd["VehPlate"], "41420000000000000000");  // 10 bytes for the "44" variant
  EXPECT_TRUE(isHex(gd["LittleCashMoney"], 8));
  EXPECT_TRUE(isHex(gd["LittleTime"], 8));
  EXPECT_EQ(answerTo("03011", Json::Value(Json::objectValue), settings)["VehPlate"].asString().size(), 24u);
}

TEST(SimAnswersTest, ObuAnswersCarryEveryConvertedMember) {
  Json::Value search = answerTo("03005");
  EXPECT_EQ(search["OBUID"], SimSettings::kDefaultObuId);
  EXPECT_EQ(search["OBUNO"], SimSettings::kDefaultObuNo);
  EXPECT_EQ(search["OpType"], "1");
  for (const char* id : {"03025", "03006"}) {
    Json::Value a = answerTo(id);
    EXPECT_EQ(a["OpType"], "3") << id;
    EXPECT_EQ(a["OBUVehSize"], "11940320");
    for (const char* name : {"Balance", "CardPlate", "CardVehClass", "CardVehUserType", "OBUPlate",
                             "OBUVehClass", "OBUVehUserType", "OBUWheelNo", "OBUAxieNo",
                             "OBUWheelbase", "OBUWeight", "VehPlate", "VehType", "VehClass",
                             "LittleCashMoney", "LittleTime"}) {
      ASSERT_TRUE(a[name].isString()) << id << " " << name;
      EXPECT_FALSE(a[name].asString().empty()) << name;
      EXPECT_TRUE(isHex(a[name], a[name].asString().size())) << name;
    }
  }
}

TEST(SimAnswersTest, DeviceAnswersEchoTheRequestedOperation) {
  EXPECT_EQ(answerTo("03003")["OpType"], "6");
  EXPECT_EQ(answerTo("03004")["OpType"], "8");
  EXPECT_EQ(answerTo("03009")["ICReaderOP"], "8");
  Json::Value odd(Json::objectValue);
  odd["OpType"] = "2";
  odd["ICReaderOP"] = 7;
  EXPECT_EQ(answerTo("03025", odd)["OpType"], "2");
  EXPECT_EQ(answerTo("03011", odd)["ICReaderOP"], 7);
  EXPECT_FALSE(answerTo("03011")["OpType"].isString());
  EXPECT_FALSE(answerTo("03027").isMember("OpType"));
}

TEST(SimAnswersTest, WritesCarryTradeMembers) {
  Json::Value request(Json::objectValue);
  request["CardNo"] = "44990000000000000001";
  Json::Value one = simanswers::answer("03024", request, SimSettings(), 1, kNow);
  Json::Value two = simanswers::answer("03024", request, SimSettings(), 2, kNow);
  for (const char* id : {"03007", "03012", "03023", "03024"}) {
    Json::Value a = answerTo(id);
    for (const char* name : {"KeyServiceNo", "TradeType", "TermTradeNo", "CardTradeNo", "TermCode", "Tac"}) {
      EXPECT_TRUE(a[name].isString()) << id << " " << name;
    }
  }
  EXPECT_EQ(one["CardNo"], "44990000000000000001");
  EXPECT_NE(one["TermTradeNo"], two["TermTradeNo"]);
  EXPECT_NE(one["Tac"], two["Tac"]);
  EXPECT_TRUE(isHex(one["Tac"], 8));
}

TEST(SimAnswersTest, StatusAnswerHasStringMembersForBothDevicesAndIds) {
  Json::Value a = answerTo("03016");
  for (const char* prefix : {"CardReader", "RSU"}) {
    for (const char* part : {"Status", "LastTime", "ErrorMsg"}) {
      for (const char* id : {"0", "1"}) {
        const std::string name = std::string(prefix) + part + id;
        EXPECT_TRUE(a[name].isString()) << name;
      }
    }
  }
  EXPECT_EQ(a["RSULastTime1"], "2026-12-06 17:30:05");
}

TEST(SimAnswersTest, PaymentAnswersAndPushEchoTheTransaction) {
  Json::Value request(Json::objectValue);
  request["NonCashTsSn"] = "TS9";
  request["UserName"] = "lane";
  request["OpSerialNo"] = "12";
  EXPECT_EQ(answerTo("03029", request)["NonCashTsSn"], "TS9");
  EXPECT_EQ(answerTo("03029", request)["OpSerialNo"], "12");
  EXPECT_EQ(answerTo("03031", request)["NonCashTsSn"], "TS9");
  EXPECT_EQ(answerTo("03032", request)["NonCashTsSn"], "TS9");
  Json::Value push = simanswers::push(request);
  EXPECT_EQ(push["NonCashTsSn"], "TS9");
  EXPECT_EQ(push["UserName"], "lane");
  EXPECT_EQ(push["OpSerialNo"], "12");
  EXPECT_EQ(push["ErrorCode"], "0");
  Json::Value bare = simanswers::push(Json::Value("not an object"));
  EXPECT_EQ(bare.getMemberNames(), std::vector<std::string>{"ErrorCode"});
}

TEST(SimAnswersTest, OverridesSetThenRemove) {
  Json::Value doc(Json::objectValue);
  doc["A"] = "1";
  doc["B"] = "2";
  Json::Value members(Json::objectValue);
  members["A"] = Json::Value();
  members["C"] = 3;
  simanswers::applyOverrides(doc, members, {"B", "Missing"});
  EXPECT_TRUE(doc["A"].isNull());
  EXPECT_TRUE(doc.isMember("A"));
  EXPECT_FALSE(doc.isMember("B"));
  EXPECT_EQ(doc["C"], 3);
}

TEST(SimAnswersTest, PlateHexPadsAndCuts) {
  EXPECT_EQ(simanswers::plateHex("", 4), "0000");
  EXPECT_EQ(simanswers::plateHex("\xD4\xC1", 6), "D4C100");
  EXPECT_EQ(simanswers::plateHex("ABCDEFGHIJKLM", 24), "4142434445464748494A4B4C");
}

}  // namespace
