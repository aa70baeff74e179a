// The platform layer's promises that differ most between systems: how a failed connect and an
// idle wait end, and which directory entries a listing returns.
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/Platform.h"

using namespace std::chrono_literals;

namespace {

// A loopback port on which nothing listens: bound once, then closed.
std::uint16_t closedLoopbackPort() {
  std::uint16_t port = 0;
  platform::closeSocket(platform::tcpListen("127.0.0.1", 0, &port));
  return port;
}

TEST(PlatformSocketTest, RefusedConnectIsSeenLongBeforeTheTimeOut) {
  constexpr auto kTimeOut = 10s;
  const platform::SocketHandle s = platform::tcpSocket();
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::setNonBlocking(s));
  const auto start = std::chrono::steady_clock::now();
  bool connected = platform::connectStart(s, "127.0.0.1", closedLoopbackPort());
  if (!connected && platform::connectInProgress()) {
    connected = platform::waitWritable(s, kTimeOut) > 0 && platform::socketError(s) == 0;
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(connected);
  EXPECT_NE(platform::lastError(), 0u);
  EXPECT_LT(took, kTimeOut / 2);
  platform::closeSocket(s);
}

TEST(PlatformSocketTest, IdleWaitEndsOnTimeWithTimeOutResult) {
  constexpr auto kWait = 200ms;
  std::uint16_t port = 0;
  const platform::SocketHandle listener = platform::tcpListen("127.0.0.1", 0, &port);
  ASSERT_NE(listener, platform::kInvalidSocket);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::waitReadable(listener, kWait), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, kWait - 20ms);  // timer granularity
  EXPECT_LT(took, kWait + 2s);
  platform::closeSocket(listener);
}

TEST(PlatformFileTest, ListingReturnsOnlyFilesWithTheSuffix) {
  testsupport::ScratchDir scratch;
  for (const char* name : {"Marovex_20261206.log", "x.logfile", "note.txt"}) {
    testsupport::writeFile(scratch.file(name), "x\n");
  }
  ASSERT_TRUE(platform::createDirectory(scratch.file("folder.log")));
  std::set<std::string> names;
  for (const platform::DirEntry& e : platform::listFiles(scratch.path(), ".log")) {
    names.insert(e.name);
    EXPECT_NE(e.creationFileTime, 0u) << e.name;
  }
  EXPECT_EQ(names, std::set<std::string>{"Marovex_20261206.log"});
}

// Reads a file byte for byte, line ends as they are on disk.
std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PlatformFileTest, AppendsGoToTheEndAcrossOpensWithThePlatformsLineEnds) {
#ifdef _WIN32
  const std::string lineEnd = "\r\n";
#else
  const std::string lineEnd = "\n";
#endif
  testsupport::ScratchDir scratch;
  const std::string path = scratch.file("a.log");
  {
    const platform::AppendFile first(path);
    ASSERT_TRUE(first.isOpen());
    ASSERT_TRUE(first.append("one\n", 4));
    // A second handle on the same file, as after the day's file is opened again.
    const platform::AppendFile second(path);
    ASSERT_TRUE(second.append("two\nthree\n", 10));
    ASSERT_TRUE(first.append("four\n", 5));
  }
  EXPECT_EQ(fileBytes(path), "one" + lineEnd + "two" + lineEnd + "three" + lineEnd + "four" + lineEnd);
  EXPECT_FALSE(platform::AppendFile(scratch.file("missing/a.log")).isOpen());
}

// What the thread-end functions of one thread did, in order.
thread_local std::vector<std::string> threadEndLog;

TEST(PlatformThreadTest, EveryThreadEndFunctionRunsOnceNewestFirst) {
  std::vector<std::string> ran;
  std::thread([&] {
    platform::callAtThreadEnd([] { threadEndLog.push_back("first"); });
    platform::callAtThreadEnd([] {
      threadEndLog.push_back("second");
      platform::callAtThreadEnd([] { threadEndLog.push_back("added while running"); });
    });
    platform::runThreadEnd();
    platform::runThreadEnd();  // nothing left
    ran = threadEndLog;
  }).join();
  EXPECT_EQ(ran, (std::vector<std::string>{"second", "added while running", "first"}));
}

}  // namespace
