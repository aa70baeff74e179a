// The platform layer's promises that differ most between systems: how a failed connect and an
// idle wait end, and which directory entries a listing returns.
#include <chrono>
#include <set>
#include <string>

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

TEST(PlatformFileTest, AppendedTextAccumulatesAcrossOpens) {
  testsupport::ScratchDir scratch;
  const std::string path = scratch.file("a.log");
  for (const char* line : {"one\n", "two\n"}) {
    std::FILE* f = platform::openAppendText(path);
    ASSERT_NE(f, nullptr);
    std::fputs(line, f);
    std::fclose(f);
  }
  EXPECT_EQ(testsupport::readFile(path), "one\ntwo\n");
}

}  // namespace
