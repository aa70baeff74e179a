// Operations on both lanes from several threads while Uninit and Init run: every call gets a
// result, none crashes or reaches a destroyed session, and the stash of each thread stays its own;
// a call that waits on a lane that Uninit stops ends with it.
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ApiHarness.h"

namespace apitest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCallerThreads = 4;
constexpr int kRestarts = 3;

class ConcurrentCallsTest : public ApiTest {};

TEST_F(ConcurrentCallsTest, OperationsOnBothLanesSurviveUninitAndInit) {
  startLanes(2);
  std::atomic<bool> stop{false};
  std::atomic<int> served{0};
  std::atomic<int> noSession{0};
  std::atomic<int> failures{0};

  std::vector<std::thread> callers;
  for (int t = 0; t < kCallerThreads; ++t) {
    callers.emplace_back([&, t] {
      const char* operation = t % 2 == 0 ? "ETCStatusQuery" : "ListQuery";
      int lane = 1 + t % 2;
      while (!stop.load()) {
        // A tiny buffer now and then sends the output through this thread's stash.
        const bool tiny = (served.load() + t) % 3 == 0;
        const CallResult r = call(operation, lane, "{}", tiny ? 2 : kLargeBuffer);
        if (r.result == 1000) {
          noSession.fetch_add(1);
        } else if (r.result == 999) {
          failures.fetch_add(1);
        } else {
          served.fetch_add(1);
          if (r.result == 5) {
            const CallResult fetched = getResponse();
            if (fetched.result != 0 || fetched.out.empty()) failures.fetch_add(1);
          }
        }
        EXPECT_EQ(getResponse().result, 3);
        lane = 3 - lane;
      }
    });
  }

  for (int i = 0; i < kRestarts; ++i) {
    EXPECT_TRUE(testsupport::waitUntil([&] { return served.load() > (i + 1) * 10; },
                                       std::chrono::seconds(5)));
    EXPECT_EQ(api().uninit(), 0);
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return noSession.load() > i; }, std::chrono::seconds(5)));
    const CallResult again = init();
    EXPECT_EQ(again.result, 0) << again.out;
  }
  testsupport::waitUntil([&] { return served.load() > (kRestarts + 1) * 10; },
                         std::chrono::seconds(5));
  stop.store(true);
  for (auto& caller : callers) caller.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(served.load(), (kRestarts + 1) * 10);
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}").result, 0);
  EXPECT_EQ(call("ETCStatusQuery", 2, "{}").result, 0);
}

TEST_F(ConcurrentCallsTest, PaymentWaitingForItsPushEndsWhenUninitClosesTheLane) {
  startLanes(1);
  CommandBehaviour noPush;
  noPush.noPush = true;
  sim.setBehaviour("03029", noPush);

  CallResult paying;
  Clock::duration took{};
  std::thread payer([&] {
    const auto start = Clock::now();
    paying = call("SendNonCashPay", 1, "{\"Timeout\":\"20000\",\"NonCashTsSn\":\"T1\"}");
    took = Clock::now() - start;
  });
  ASSERT_TRUE(sim.waitForPacket("03029", std::chrono::seconds(5)));
  EXPECT_EQ(api().uninit(), 0);
  EXPECT_EQ(call("ETCStatusQuery", 1, "{}").result, 1000);
  payer.join();

  // Ended on the session it held, once Uninit closed its connection: the outcome is unknown (2),
  // long before the payment's own 20 s.
  EXPECT_EQ(paying.result, 2);
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_NE(newLog().find(":1 SendNonCashPay return 2"), std::string::npos);
}

}  // namespace
}  // namespace apitest
