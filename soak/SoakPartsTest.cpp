// The soak's own parts: its lane servers' program driven as the soak drives it, and the census
// whose growth the soak judges.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "SoakCensus.h"
#include "SoakServers.h"
#include "StackDump.h"
#include "platform/Platform.h"

namespace {

const std::string kServerProgram = MAROVEX_BIN_DIR "/marovex_soak_server" MAROVEX_EXE_SUFFIX;
constexpr auto kConnectWait = std::chrono::seconds(3);

const platform::NetworkRuntime network = platform::NetworkRuntime::start();

// True when a connection to the loopback port is accepted within kConnectWait.
bool accepts(std::uint16_t port) {
  const platform::SocketHandle s = platform::tcpSocket();
  if (s == platform::kInvalidSocket) return false;
  bool connected = platform::setNonBlocking(s) && platform::connectStart(s, "127.0.0.1", port);
  if (!connected && platform::connectInProgress()) {
    connected = platform::waitWritable(s, kConnectWait) > 0 && platform::socketError(s) == 0;
  }
  platform::closeSocket(s);
  return connected;
}

TEST(SoakServersTest, ListenStopAndListenAgainOnTheSamePortsWithFaultsAndAcksInBetween) {
  soak::SoakServers servers(kServerProgram);
  ASSERT_TRUE(servers.listen()) << servers.error();
  const std::uint16_t first = servers.port(0);
  const std::uint16_t second = servers.port(1);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);
  EXPECT_TRUE(accepts(first));
  EXPECT_TRUE(accepts(second));

  EXPECT_TRUE(servers.setFaults(R"({"Seed":7,"SliceBytes":3})")) << servers.error();
  EXPECT_FALSE(servers.setFaults(R"({"SliceBytes":)"));
  EXPECT_FALSE(servers.error().empty());
  EXPECT_TRUE(servers.setFaults("{}")) << servers.error();

  soak::ServerAcks acks;
  acks[0].stray = 5;
  ASSERT_TRUE(servers.acks(true, acks)) << servers.error();
  for (const soak::LaneAcks& lane : acks) {
    EXPECT_TRUE(lane.pushes.empty());
    EXPECT_EQ(lane.stray, 0u);
  }

  ASSERT_TRUE(servers.stop()) << servers.error();
  ASSERT_TRUE(servers.listen()) << servers.error();
  EXPECT_EQ(servers.port(0), first);
  EXPECT_EQ(servers.port(1), second);
  EXPECT_TRUE(accepts(first));
}

TEST(SoakServersTest, AcksTextReadsBackAndMalformedTextIsRefused) {
  soak::ServerAcks acks;
  acks[0].pushes = {{"S1-1", 1}, {"S2-7", 2}};
  acks[1].stray = 3;
  soak::ServerAcks read;
  ASSERT_TRUE(soak::parseAcks(soak::acksText(acks), read));
  EXPECT_EQ(read[0].pushes, acks[0].pushes);
  EXPECT_EQ(read[1].stray, 3u);
  EXPECT_FALSE(soak::parseAcks(R"([{"pushes":{},"stray":0}])", read));
  EXPECT_FALSE(soak::parseAcks(R"([{"pushes":{"A":"1"},"stray":0},{"pushes":{},"stray":0}])", read));
  EXPECT_FALSE(soak::parseAcks("ok", read));
}

TEST(ChildProcessTest, ADialogueOfLinesEndsWithTheChildsInputAndAMissingProgramIsAnError) {
  soak::ChildProcess child(kServerProgram);
  ASSERT_TRUE(child.started()) << child.error();
  std::string answer;
  ASSERT_TRUE(child.writeLine("nonsense"));
  ASSERT_TRUE(child.readLine(answer));
  EXPECT_EQ(answer, "error unknown command \"nonsense\"");
  EXPECT_EQ(child.finish(), 0);
  EXPECT_FALSE(child.writeLine("stop"));
  EXPECT_FALSE(child.readLine(answer));

  soak::ChildProcess missing(kServerProgram + ".missing");
  EXPECT_FALSE(missing.started());
  EXPECT_FALSE(missing.error().empty());
  EXPECT_EQ(missing.finish(), -1);
}

// A thread waiting on the test's signal to end.
class ParkedThread {
 public:
  ParkedThread()
      : thread_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          wake_.wait(lock, [this] { return released_; });
        }) {}
  ~ParkedThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      released_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool released_ = false;
  std::thread thread_;
};

TEST(SoakCensusTest, CountsAnOpenFileAThreadAndTheHeapInUse) {
  const soak::SoakCensus before = soak::SoakCensus::take();
  EXPECT_GT(before.handles, 0u);
  EXPECT_GT(before.threads, 0u);
  EXPECT_GT(before.memoryKb, 0u);

  const auto path = std::filesystem::temp_directory_path() / "marovex-soak-census-test";
  std::ofstream file(path);
  ASSERT_TRUE(file.is_open());
  std::vector<std::unique_ptr<char[]>> blocks;
  for (int i = 0; i < 4096; ++i) blocks.emplace_back(new char[1000]);  // about 4 MB in use
  soak::SoakCensus during;
  {
    ParkedThread parked;
    during = soak::SoakCensus::take();
  }
  EXPECT_GT(during.handles, before.handles);
  EXPECT_GE(during.heapInUseKb, before.heapInUseKb + 3500);
  // The parked thread is counted by its end: a sanitizer's runtime may start a thread of its own
  // with the first one the test makes. A joined thread may still be listed for a moment.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::size_t threadsAfter = soak::SoakCensus::take().threads;
  while (threadsAfter + 1 != during.threads && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    threadsAfter = soak::SoakCensus::take().threads;
  }
  EXPECT_EQ(threadsAfter + 1, during.threads);

  blocks.clear();
  // Freed blocks return to the heap, which may keep some of them at hand.
  EXPECT_LT(soak::SoakCensus::take().heapInUseKb, during.heapInUseKb - 2000);
  file.close();
  std::filesystem::remove(path);
}

TEST(StackDumpTest, AHangPrintsTheStacksOfTheOtherThreadsAndAborts) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        soak::installStackDump();
        ParkedThread parked;
        soak::dumpStacksAndAbort("a test's hang");
      },
      "---- thread");
}

}  // namespace
