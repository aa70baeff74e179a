// The library as a lane application drives it, through lanesim's forwarder (in-process) to the
// simulator: faults the forwarder puts on the real traffic come out as the library's own results,
// and what the server spoils reaches the library as it was sent.
#include <chrono>
#include <memory>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ApiHarness.h"
#include "RawPeer.h"
#include "SimForwarder.h"

namespace apitest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kNoResponse = 2;

class ForwardedLaneTest : public ApiTest {
 protected:
  void TearDown() override {
    ApiTest::TearDown();
    if (forwarder) forwarder->stop();
  }

  // A forwarder to `serverPort` and lane 1 configured on it, with the devices 0.
  void configureThroughForwarder(std::uint16_t serverPort, int heartBeatTime = 120, int timeOut = 1) {
    forwarder = std::make_unique<SimForwarder>("127.0.0.1", serverPort);
    forwarder->setEcho(&log);
    ASSERT_TRUE(forwarder->start());
    LaneConfig lane;
    lane.port = forwarder->port();
    lane.rsuId = 0;
    lane.readerId = 0;
    lane.heartBeatTime = heartBeatTime;
    lane.timeOut = timeOut;
    LoadedLibrary::instance().writeConfig(configText({lane}));
  }

  void startThroughForwarder(int heartBeatTime = 120, int timeOut = 1) {
    ASSERT_TRUE(sim.start("127.0.0.1"));
    configureThroughForwarder(sim.port(), heartBeatTime, timeOut);
    ASSERT_EQ(0, init().result);
  }

  // The forwarder's lines, once it has stopped.
  std::string forwarderLog() {
    forwarder->stop();
    return log.str();
  }

  std::ostringstream log;  // outlives the forwarder, which writes to it
  std::unique_ptr<SimForwarder> forwarder;
};

TEST_F(ForwardedLaneTest, SlicedPausedAndLateBytesGiveEveryResultAsDirect) {
  SimFaultPlan toLane;
  toLane.seed = 5;
  toLane.sliceBytes = 9;
  toLane.pauseMs = 1;
  toLane.lateMs = 30;
  SimFaultPlan toServer;
  toServer.seed = 6;
  toServer.sliceBytes = 9;
  toServer.pauseMs = 1;
  ASSERT_TRUE(sim.start("127.0.0.1"));
  configureThroughForwarder(sim.port(), 120, 3);
  forwarder->setFaults(toLane, toServer);
  ASSERT_EQ(0, init().result);

  EXPECT_EQ(0, call("ReaderRead", 1, "{\"TimeOut\":\"500\"}").result);
  EXPECT_EQ(0, call("RSURead", 1, "{\"TimeOut\":\"500\"}").result);
  const CallResult paid = call("SendNonCashPay", 1, "{\"Timeout\":\"5000\",\"NonCashTsSn\":\"T1\"}");
  EXPECT_EQ(0, paid.result);
  EXPECT_THAT(paid.out, HasSubstr("\"NonCashTsSn\" : \"T1\""));
  EXPECT_EQ(0, call("ListQuery", 1, "{\"ListType\":\"1\"}").result);
  EXPECT_EQ(0, call("ETCStatusQuery", 1, "{}").result);
  EXPECT_TRUE(sim.waitForPacket("03030", std::chrono::seconds(3)));

  const std::string lines = forwarderLog();
  EXPECT_THAT(lines, HasSubstr("server->lane #1 03130 NonCashPayResult "));
  EXPECT_THAT(lines, HasSubstr("lane->server #1 03030 NonCashPayAck "));
  EXPECT_THAT(lines, Not(HasSubstr("\nflag ")));
  EXPECT_THAT(lines, Not(HasSubstr("\nskip ")));
}

TEST_F(ForwardedLaneTest, AnAnswerCutShortGivesNoResponseAndTheLaneLogsInAgain) {
  startThroughForwarder(1);
  SimFaultPlan cut;
  cut.cutAfterBytes = 30;
  forwarder->setFaults(cut, SimFaultPlan());
  EXPECT_EQ(kNoResponse, call("ListQuery", 1, "{}").result);
  forwarder->setFaults(SimFaultPlan(), SimFaultPlan());

  EXPECT_TRUE(testsupport::waitUntil([&] { return call("ListQuery", 1, "{}").result == 0; },
                                     std::chrono::seconds(10), std::chrono::milliseconds(100)));
  EXPECT_GE(sim.receivedWith("03001").size(), 2u);
  EXPECT_THAT(forwarderLog(), HasSubstr("note #1 cut toward the lane; closing the other side the same way"));
}

TEST_F(ForwardedLaneTest, ABadCheckCodeOfTheServerReachesTheLaneUnchangedAndIsFlagged) {
  startThroughForwarder();
  SimFaultPlan spoilt;
  spoilt.badCheckCode = 1;
  sim.setFaults(spoilt);
  EXPECT_EQ(kNoResponse, call("ListQuery", 1, "{}").result);
  // The library itself found the bad packet, so the forwarder handed it on as it came.
  EXPECT_THAT(newLog(), HasSubstr("The data packed from server is bad!"));
  EXPECT_THAT(forwarderLog(), HasSubstr("flag #1 server->lane bad check code "));
}

// The lane reaches the forwarder, which closes it at once: to the library that is a server that
// hangs up before the login is answered, which is no failure of Init but shows in "HeartBeat".
TEST_F(ForwardedLaneTest, AnUnreachableServerFailsTheLoginNotInit) {
  const std::uint16_t deadPort = testsupport::closedPort();
  configureThroughForwarder(deadPort);
  EXPECT_EQ(0, init().result);
  const CallResult status = call("ETCStatusQuery", 1, "{}");
  EXPECT_EQ(0, status.result);
  EXPECT_THAT(status.out, HasSubstr("\"HeartBeat\" : \""));
  EXPECT_THAT(status.out, Not(HasSubstr("\"HeartBeat\" : \"0\"")));
  EXPECT_THAT(forwarderLog(), HasSubstr("cannot reach the server"));
}

}  // namespace
}  // namespace apitest
