#include "SimTimer.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

TEST(SimTimerTest, RunsTasksByDueTimeThenInScheduleOrder) {
  SimTimer timer;
  timer.start();
  std::mutex m;
  std::vector<int> order;
  auto note = [&](int n) {
    return [&, n] {
      std::lock_guard<std::mutex> lock(m);
      order.push_back(n);
    };
  };
  timer.schedule(60ms, note(3));
  timer.schedule(20ms, note(1));
  timer.schedule(20ms, note(2));
  ASSERT_TRUE(testsupport::waitUntil([&] {
    std::lock_guard<std::mutex> lock(m);
    return order.size() == 3;
  }));
  std::lock_guard<std::mutex> lock(m);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(SimTimerTest, StopDropsPendingTasksWithoutWaitingForThem) {
  SimTimer timer;
  timer.start();
  std::atomic<int> ran{0};
  std::atomic<bool> up{false};
  timer.schedule(0ms, [&] { up = true; });
  ASSERT_TRUE(testsupport::waitUntil([&] { return up.load(); }));
  timer.schedule(10s, [&] { ++ran; });
  timer.schedule(20s, [&] { ++ran; });
  // Give the thread time to wait for the first task's due time: stop() must not pull the entry
  // out from under that wait.
  std::this_thread::sleep_for(20ms);
  const auto start = std::chrono::steady_clock::now();
  timer.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(ran.load(), 0);

  timer.schedule(0ms, [&] { ++ran; });  // ignored while stopped
  timer.start();
  timer.schedule(0ms, [&] { ++ran; });
  EXPECT_TRUE(testsupport::waitUntil([&] { return ran.load() == 1; }));
  timer.stop();
  EXPECT_EQ(ran.load(), 1);
}

}  // namespace
