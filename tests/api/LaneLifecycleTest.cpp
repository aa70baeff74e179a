// What an integrator has to handle around Init and Uninit, as docs/integrating.md tells it: lanes
// that are no longer configured, the logout that holds up Uninit and every call meanwhile, and the
// call on a session that a second Init replaces and stops.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ApiHarness.h"

namespace apitest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLogoutDelayMs = 1500;
constexpr auto kPacketWait = std::chrono::seconds(5);

class LaneLifecycleTest : public ApiTest {
 protected:
  // Lanes 1 and 2 on the simulator; lane 1 logs out when it stops, and waits 3 s for answers.
  void configure(int count) {
    std::vector<LaneConfig> lanes;
    for (int i = 0; i < count; ++i) {
      LaneConfig lane;
      lane.laneNo = i + 1;
      lane.port = sim.port();
      lane.timeOut = 3;
      lane.autoLogout = i == 0 ? 1 : 0;
      lanes.push_back(lane);
    }
    LoadedLibrary::instance().writeConfig(configText(lanes));
  }

  void delayAnswer(const char* cmdId, int ms) {
    CommandBehaviour late;
    late.delayMs = ms;
    sim.setBehaviour(cmdId, late);
  }
};

TEST_F(LaneLifecycleTest, SecondInitKeepsALaneNoLongerConfigured) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  configure(2);
  ASSERT_EQ(init().result, 0);
  configure(1);
  const CallResult again = init();
  EXPECT_EQ(again.result, 0) << again.out;
  EXPECT_EQ(again.out.find("\"LaneNo\" : \"2\""), std::string::npos);
  EXPECT_EQ(call("ListQuery", 2, "{}").result, 0);
}

TEST_F(LaneLifecycleTest, UninitHoldsCallsOnEveryLaneUntilTheLogoutIsAnswered) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  configure(2);
  ASSERT_EQ(init().result, 0);
  delayAnswer("03002", kLogoutDelayMs);

  const auto start = Clock::now();
  std::thread stopper([&] { EXPECT_EQ(api().uninit(), 0); });
  ASSERT_TRUE(sim.waitForPacket("03002", kPacketWait));
  // Lane 2 has no logout of its own, yet its call waits for lane 1's and then finds no lane.
  EXPECT_EQ(call("ETCStatusQuery", 2, "{}").result, 1000);
  stopper.join();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kLogoutDelayMs));
}

TEST_F(LaneLifecycleTest, CallOnASessionThatAnInitReplacesEndsWhenTheInitStopsIt) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  configure(1);
  ASSERT_EQ(init().result, 0);
  CommandBehaviour silent;
  silent.noAnswer = true;
  sim.setBehaviour("03017", silent);
  delayAnswer("03002", kLogoutDelayMs);

  CallResult query;
  Clock::duration took{};
  std::thread caller([&] {
    const auto start = Clock::now();
    query = call("BlackListQuery", 1, "{}");
    took = Clock::now() - start;
  });
  ASSERT_TRUE(sim.waitForPacket("03017", kPacketWait));
  // The replaced session logs out and closes at once, though the call still holds it.
  const auto start = Clock::now();
  EXPECT_EQ(init().result, 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kLogoutDelayMs));
  caller.join();
  sim.clearBehaviours();

  EXPECT_EQ(query.result, 2) << query.out;
  EXPECT_EQ(sim.receivedWith("03002").size(), 1u);
  // Released when the old connection closed, not at its time-out of 3 s.
  EXPECT_LT(took, std::chrono::milliseconds(kLogoutDelayMs + 1000));
}

}  // namespace
}  // namespace apitest
