// The exported functions end to end: buffers and the per-thread stash, serial numbers and log
// lines, Init's outcomes, Uninit, null pointers and exceptions.
#include <regex>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ApiHarness.h"
#include "RawPeer.h"
#include "platform/Platform.h"

namespace apitest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Text of a log line as the library writes it, after the time and thread prefix.
std::string logLinePattern(const std::string& message) {
  return "\\[[IE]\\][0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\[0x[0-9a-f]+\\]-" +
         message;
}

bool hasLogLine(const std::string& log, const std::string& message) {
  return std::regex_search(log, std::regex(logLinePattern(message)));
}

class CallBoundaryTest : public ApiTest {
 protected:
  // The status document of lane 1 and its length, which the stash cases size buffers from.
  std::string statusText() {
    const CallResult status = call("ETCStatusQuery", 1, "{}");
    EXPECT_EQ(status.result, 0);
    EXPECT_FALSE(status.out.empty());
    return status.out;
  }
};

// ---- Buffers and the stash ----------------------------------------------------------------------

TEST_F(CallBoundaryTest, OutputOneShorterThanCapacityFitsAndLeavesCapacityAlone) {
  startLanes(1);
  const std::string status = statusText();
  const int exact = static_cast<int>(status.size()) + 1;
  const CallResult r = call("ETCStatusQuery", 1, "{}", exact);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, status);
  EXPECT_EQ(r.len, exact);
  EXPECT_EQ(getResponse().result, 3);
}

TEST_F(CallBoundaryTest, OutputAsLongAsCapacityIsStashedAndDeliveredOnce) {
  startLanes(1);
  const std::string status = statusText();
  const int tight = static_cast<int>(status.size());
  const CallResult r = call("ETCStatusQuery", 1, "{}", tight);
  EXPECT_EQ(r.result, 5);
  EXPECT_EQ(r.len, tight + 1);
  EXPECT_EQ(r.out, kUntouched);

  const CallResult stillShort = getResponse(tight);
  EXPECT_EQ(stillShort.result, 5);
  EXPECT_EQ(stillShort.len, tight + 1);
  EXPECT_EQ(stillShort.code, kUntouchedCode);
  EXPECT_EQ(stillShort.out, kUntouched);

  const CallResult fetched = getResponse(tight + 1);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.code, 0);
  EXPECT_EQ(fetched.out, status);
  EXPECT_EQ(fetched.len, tight + 1);

  const CallResult again = getResponse();
  EXPECT_EQ(again.result, 3);
  EXPECT_EQ(again.out, kUntouched);
  EXPECT_EQ(again.code, kUntouchedCode);
}

TEST_F(CallBoundaryTest, ZeroOrNegativeCapacityNeverFitsEvenAnEmptyOutput) {
  startLanes(1);
  for (int capacity : {0, -7}) {
    // Text that is not JSON: the session answers 3 with an empty output.
    const CallResult r = call("ListQuery", 1, "abc", capacity);
    EXPECT_EQ(r.result, 5) << capacity;
    EXPECT_EQ(r.len, 1) << capacity;
    EXPECT_EQ(getResponse(capacity).result, 5) << capacity;
    const CallResult fetched = getResponse(1);
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.code, 3);
    EXPECT_EQ(fetched.out, "");
  }
}

TEST_F(CallBoundaryTest, SecondOverflowReplacesFirstWithItsCodeAndSerial) {
  startLanes(1);
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}", 4).result, 5);
  EXPECT_EQ(call("ListQuery", 1, "not json", 0).result, 5);
  const CallResult fetched = getResponse();
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.code, 3);
  EXPECT_EQ(fetched.out, "");
  EXPECT_EQ(getResponse().result, 3);

  const std::string log = newLog();
  const auto serials = operationSerials(log, "ListQuery");
  ASSERT_EQ(serials.size(), 1u);
  EXPECT_TRUE(hasLogLine(log, "GetResponse " + std::to_string(serials[0]) + "  Successfully\n"));
  EXPECT_TRUE(hasLogLine(log, std::to_string(serials[0]) +
                                  ":1 ListQuery pLen not enough, return 5 instead\n"));
}

TEST_F(CallBoundaryTest, StashSurvivesCallsThatFitUntilFetched) {
  startLanes(1);
  const std::string status = statusText();
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}", 3).result, 5);
  EXPECT_EQ(call("ListQuery", 1, "abc").result, 3);
  EXPECT_EQ(call("ETCStatusQuery", 77, "{}").result, 1000);
  const CallResult fetched = getResponse();
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.out, status);
}

TEST_F(CallBoundaryTest, StashBelongsToTheThreadThatMadeIt) {
  startLanes(1);
  const std::string status = statusText();
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}", 2).result, 5);

  CallResult otherEmpty, otherOwn;
  std::thread other([&] {
    otherEmpty = getResponse();
    EXPECT_EQ(call("ListQuery", 1, "[1]", 0).result, 5);
    otherOwn = getResponse();
  });
  other.join();
  EXPECT_EQ(otherEmpty.result, 3);
  EXPECT_EQ(otherOwn.result, 0);
  EXPECT_EQ(otherOwn.code, 3);
  EXPECT_EQ(otherOwn.out, "");

  const CallResult mine = getResponse();
  EXPECT_EQ(mine.result, 0);
  EXPECT_EQ(mine.code, 0);
  EXPECT_EQ(mine.out, status);
}

// ---- Init -------------------------------------------------------------------------------------

TEST_F(CallBoundaryTest, InitReturnsLaneSummaryAndSetsCapacityToItsSize) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  LaneConfig lane1, lane2;
  lane1.port = lane2.port = sim.port();
  lane2.laneNo = 2;
  LoadedLibrary::instance().writeConfig(configText({lane1, lane2}));
  const CallResult r = init();
  ASSERT_EQ(r.result, 0) << r.out;
  EXPECT_EQ(r.len, static_cast<int>(r.out.size()) + 1);
  EXPECT_EQ(r.out.front(), '[');
  EXPECT_THAT(r.out, HasSubstr("\"LaneNo\" : \"1\""));
  EXPECT_THAT(r.out, HasSubstr("\"LaneNo\" : \"2\""));
  EXPECT_EQ(call("ETCStatusQuery", 2, "").result, 0);

  const std::string log = newLog();
  const unsigned serial = lastInitSerial(log);
  EXPECT_TRUE(
      hasLogLine(log, std::to_string(serial) + ": MvClientManage start initialize\\.\\.\\.\n"));
  EXPECT_TRUE(hasLogLine(log, "MvClientManage initialize successfully\n"));
}

TEST_F(CallBoundaryTest, InitSummaryTooLongIsStashedWithCodeZero) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  LaneConfig lane;
  lane.port = sim.port();
  LoadedLibrary::instance().writeConfig(configText({lane}));
  const CallResult r = init(10);
  ASSERT_EQ(r.result, 5);
  EXPECT_EQ(r.out, kUntouched);
  const CallResult fetched = getResponse(r.len);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.code, 0);
  EXPECT_EQ(static_cast<int>(fetched.out.size()) + 1, r.len);
  EXPECT_THAT(fetched.out, HasSubstr("\"IpAddr\" : \"127.0.0.1\""));
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}").result, 0);  // the lane did start
}

TEST_F(CallBoundaryTest, InitWithoutConfigurationFileReportsThePath) {
  LoadedLibrary::instance().removeConfig();
  const CallResult r = init();
  EXPECT_EQ(r.result, -1);
  const std::string expected =
      "Parse File failed! : [" + LoadedLibrary::instance().configPath() + "]\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.len, static_cast<int>(expected.size()) + 1);

  const std::string log = newLog();
  const unsigned serial = lastInitSerial(log);
  EXPECT_NE(log.find("[E]"), std::string::npos);
  EXPECT_NE(log.find("-" + std::to_string(serial) + ": readMvDevConf() failure,Case={" + expected +
                     "}\n"),
            std::string::npos)
      << log;
}

TEST_F(CallBoundaryTest, InitFailingReasonTooLongIsStashedWithCodeMinusOne) {
  LoadedLibrary::instance().writeConfig("[Global]\nMvLaneNum=3\n");
  const CallResult r = init(5);
  EXPECT_EQ(r.result, 5);
  EXPECT_EQ(r.len, static_cast<int>(std::string("invalid MvLaneNum").size()) + 1);
  const CallResult fetched = getResponse();
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.code, -1);
  EXPECT_EQ(fetched.out, "invalid MvLaneNum");
}

TEST_F(CallBoundaryTest, InitWithUnreachableLaneFailsAndLogsIt) {
  LaneConfig lane;
  lane.port = testsupport::closedPort();
  LoadedLibrary::instance().writeConfig(configText({lane}));
  const CallResult r = init();
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.out, "Initialize failed");
  EXPECT_EQ(r.len, static_cast<int>(r.out.size()) + 1);
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}").result, 1000);
  const std::string log = newLog();
  EXPECT_TRUE(hasLogLine(log, std::to_string(lastInitSerial(log)) + ": Initialize failure\n"));
}

// ---- Uninit and unknown lanes -----------------------------------------------------------------

TEST_F(CallBoundaryTest, UninitWithoutInitAndTwiceDoesNothing) {
  EXPECT_EQ(api().uninit(), 0);
  EXPECT_EQ(api().uninit(), 0);
  startLanes(1);
  EXPECT_EQ(api().uninit(), 0);
  EXPECT_EQ(api().uninit(), 0);
  const CallResult r = call("ETCStatusQuery", 1, "{}");
  EXPECT_EQ(r.result, 1000);
  EXPECT_EQ(r.out, kUntouched);
}

TEST_F(CallBoundaryTest, UnknownLaneReturns1000WithoutSerialOrLogLine) {
  startLanes(1);
  EXPECT_EQ(call("ListQuery", 1, "abc").result, 3);
  for (int lane : {0, 2, 99, -1}) {
    const CallResult r = call("ListQuery", lane, "{}", 8);
    EXPECT_EQ(r.result, 1000) << lane;
    EXPECT_EQ(r.out, kUntouched);
    EXPECT_EQ(r.len, 8);
  }
  EXPECT_EQ(call("ListQuery", 1, "abc").result, 3);

  const std::string log = newLog();
  const auto serials = operationSerials(log, "ListQuery");
  ASSERT_EQ(serials.size(), 2u) << log;
  EXPECT_EQ(serials[1], serials[0] + 1);
  EXPECT_EQ(serials[0], lastInitSerial(log) + 1);
}

// ---- Log lines ----------------------------------------------------------------------------------

TEST_F(CallBoundaryTest, OperationLogsInputAndResultWithSerialAndLane) {
  startLanes(2);
  const CallResult r = call("ListQuery", 2, "{\"ListType\":\"1\"}");
  ASSERT_EQ(r.result, 0) << r.out;
  const std::string log = newLog();
  const auto serials = operationSerials(log, "ListQuery");
  ASSERT_EQ(serials.size(), 1u);
  const std::string s = std::to_string(serials[0]);
  EXPECT_NE(log.find("]-" + s + ":2 ListQuery input={\"ListType\":\"1\"}\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("]-" + s + ":2 ListQuery return 0, output=" + r.out + "\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(hasLogLine(log, s + ":2 ListQuery input="));
  EXPECT_THAT(log, Not(HasSubstr("pLen not enough")));
}

// ---- Null pointers and exceptions ------------------------------------------------------------

TEST_F(CallBoundaryTest, NullInputIsTakenAsEmptyText) {
  startLanes(1);
  const CallResult r = call("ListQuery", 1, nullptr);
  EXPECT_EQ(r.result, 3);
  EXPECT_EQ(r.out, "");
  const std::string log = newLog();
  const auto serials = operationSerials(log, "ListQuery");
  ASSERT_EQ(serials.size(), 1u);
  EXPECT_NE(log.find("]-" + std::to_string(serials[0]) + ":1 ListQuery input=\n"),
            std::string::npos);
}

TEST_F(CallBoundaryTest, NullBufferOrCapacityReturns999AndTakesNoSerial) {
  startLanes(1);
  char buffer[64] = "#";
  int len = sizeof buffer;
  const MarovexOperationFn listQuery = api().operation("ListQuery");
  EXPECT_EQ(call("ListQuery", 1, "abc").result, 3);
  EXPECT_EQ(listQuery(1, "abc", nullptr, &len), 999);
  EXPECT_EQ(listQuery(1, "abc", buffer, nullptr), 999);
  EXPECT_EQ(listQuery(77, "abc", nullptr, nullptr), 999);
  EXPECT_EQ(len, static_cast<int>(sizeof buffer));
  EXPECT_STREQ(buffer, "#");
  EXPECT_EQ(api().init(nullptr, &len), 999);
  EXPECT_EQ(api().init(buffer, nullptr), 999);
  EXPECT_EQ(call("ListQuery", 1, "abc").result, 3);

  const std::string log = newLog();
  const auto serials = operationSerials(log, "ListQuery");
  ASSERT_EQ(serials.size(), 2u);
  EXPECT_EQ(serials[1], serials[0] + 1);
  // The one Init of startLanes; the two refused ones wrote nothing.
  EXPECT_EQ(log.find("MvClientManage start initialize"),
            log.rfind("MvClientManage start initialize"));
}

TEST_F(CallBoundaryTest, GetResponseWithNullPointerReturns999AndKeepsTheStash) {
  startLanes(1);
  const std::string status = statusText();
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}", 1).result, 5);
  char buffer[4096];
  int len = sizeof buffer;
  int code = 0;
  EXPECT_EQ(api().getResponse(nullptr, buffer, &len), 999);
  EXPECT_EQ(api().getResponse(&code, nullptr, &len), 999);
  EXPECT_EQ(api().getResponse(&code, buffer, nullptr), 999);
  const CallResult fetched = getResponse();
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.out, status);
}

TEST_F(CallBoundaryTest, ExceptionInsideAnOperationBecomes999) {
  startLanes(1, 0);
  // A number where the write command reads text makes the JSON library throw.
  const CallResult r = call("RSUWrite", 1, "{\"VehType\":5}");
  EXPECT_EQ(r.result, 999);
  EXPECT_EQ(r.out, kUntouched);
  const std::string log = newLog();
  EXPECT_THAT(log, HasSubstr("RSUWrite input={\"VehType\":5}\n"));
  EXPECT_THAT(log, Not(HasSubstr("RSUWrite return")));
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}").result, 0);  // the lane goes on serving
}

}  // namespace
}  // namespace apitest
