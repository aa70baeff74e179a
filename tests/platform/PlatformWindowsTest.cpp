// Behaviours of the Windows platform layer that differ from what Windows does by default: handles
// that child processes do not inherit, accepted sockets that block, and the Windows Sockets codes
// that the log lines show.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/WindowsHeaders.h"

namespace {

using namespace std::chrono_literals;

// Handle values are small multiples of four; far more than a test program opens.
constexpr std::uintptr_t kHandleScanEnd = 1 << 16;
constexpr std::uintptr_t kHandleStep = 4;
constexpr DWORD kReceiveTimeOutMs = 100;

bool inheritable(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
}

HANDLE asHandle(platform::SocketHandle s) { return reinterpret_cast<HANDLE>(s); }

// A connected pair on loopback: the client end and the accepted end.
struct LoopbackPair {
  LoopbackPair() {
    listener = platform::tcpListen("127.0.0.1", 0, &port);
    platform::setNonBlocking(listener);  // as the simulator's listener is
    client = platform::tcpSocket();
    platform::connectStart(client, "127.0.0.1", port);
    if (platform::waitReadable(listener, 5s) > 0) accepted = platform::acceptConnection(listener);
  }
  ~LoopbackPair() {
    for (platform::SocketHandle s : {accepted, client, listener}) platform::closeSocket(s);
  }
  LoopbackPair(const LoopbackPair&) = delete;
  LoopbackPair& operator=(const LoopbackPair&) = delete;

  std::uint16_t port = 0;
  platform::SocketHandle listener = platform::kInvalidSocket;
  platform::SocketHandle client = platform::kInvalidSocket;
  platform::SocketHandle accepted = platform::kInvalidSocket;
};

TEST(PlatformWindowsHandles, SocketsAndTheLogFileAreNotInherited) {
  LoopbackPair pair;
  ASSERT_NE(pair.accepted, platform::kInvalidSocket);
  for (platform::SocketHandle s : {pair.listener, pair.client, pair.accepted}) {
    EXPECT_FALSE(inheritable(asHandle(s))) << "socket " << s;
  }

  testsupport::ScratchDir scratch;
  const std::string fileName = "Marovex_20261206.log";
  const platform::AppendFile file(scratch.file(fileName));
  ASSERT_TRUE(file.isOpen());
  // The file's handle is found by the name it was opened with.
  int found = 0;
  for (std::uintptr_t value = kHandleStep; value < kHandleScanEnd; value += kHandleStep) {
    const HANDLE h = reinterpret_cast<HANDLE>(value);
    char name[MAX_PATH] = {};
    if (::GetFileType(h) != FILE_TYPE_DISK ||
        ::GetFinalPathNameByHandleA(h, name, sizeof name, FILE_NAME_NORMALIZED) == 0) {
      continue;
    }
    const std::string opened(name);
    if (opened.size() < fileName.size() ||
        opened.compare(opened.size() - fileName.size(), fileName.size(), fileName) != 0) {
      continue;
    }
    ++found;
    EXPECT_FALSE(inheritable(h)) << opened;
  }
  EXPECT_EQ(found, 1);
}

TEST(PlatformWindowsSockets, AcceptedSocketBlocksThoughTheListenerDoesNot) {
  LoopbackPair pair;
  ASSERT_NE(pair.accepted, platform::kInvalidSocket);
  // A blocking receive with nothing to read waits for its time-out; a non-blocking one would
  // fail at once with "would block".
  const DWORD timeOut = kReceiveTimeOutMs;
  ::setsockopt(static_cast<SOCKET>(pair.accepted), SOL_SOCKET, SO_RCVTIMEO,
               reinterpret_cast<const char*>(&timeOut), sizeof timeOut);
  char byte = 0;
  EXPECT_LT(platform::recvBytes(pair.accepted, &byte, 1), 0);
  EXPECT_FALSE(platform::wouldBlock());
  EXPECT_EQ(platform::lastError(), static_cast<unsigned long>(WSAETIMEDOUT));
}

TEST(PlatformWindowsSockets, FailuresCarryWindowsSocketsCodes) {
  LoopbackPair pair;
  EXPECT_EQ(platform::waitReadable(pair.listener, 50ms), 0);
  EXPECT_EQ(platform::lastError(), static_cast<unsigned long>(WSAETIMEDOUT));

  std::uint16_t closedPort = 0;
  platform::closeSocket(platform::tcpListen("127.0.0.1", 0, &closedPort));
  const platform::SocketHandle s = platform::tcpSocket();
  ASSERT_TRUE(platform::setNonBlocking(s));
  if (!platform::connectStart(s, "127.0.0.1", closedPort) && platform::connectInProgress()) {
    EXPECT_GT(platform::waitWritable(s, 5s), 0);
    EXPECT_EQ(platform::socketError(s), WSAECONNREFUSED);
  }
  EXPECT_EQ(platform::lastError(), static_cast<unsigned long>(WSAECONNREFUSED));
  platform::closeSocket(s);
}

}  // namespace
