// Behaviours of the POSIX platform layer that the rest of the library relies on: waits that end on
// time under signals, a working directory that cannot be read, files that children do not inherit,
// error codes told in words.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

extern "C" void ignoreSignal(int) {}

// Interrupts one thread with a signal every `period` until destroyed, as a lane application's
// timer signals or a profiler would.
class SignalRain {
 public:
  SignalRain(pthread_t target, std::chrono::milliseconds period) {
    struct sigaction action {};
    action.sa_handler = ignoreSignal;  // no SA_RESTART: every signal interrupts the wait
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, &previous_);
    thread_ = std::thread([this, target, period] {
      while (!stop_.load()) {
        pthread_kill(target, SIGUSR1);
        std::this_thread::sleep_for(period);
      }
    });
  }
  ~SignalRain() {
    stop_.store(true);
    thread_.join();
    sigaction(SIGUSR1, &previous_, nullptr);
  }
  SignalRain(const SignalRain&) = delete;
  SignalRain& operator=(const SignalRain&) = delete;

 private:
  struct sigaction previous_ {};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(PlatformWait, WaitHitBySignalsEveryFiftyMillisecondsStillEndsAtItsDeadline) {
  std::uint16_t port = 0;
  // A listener that nobody connects to never becomes readable.
  const platform::SocketHandle listener = platform::tcpListen("127.0.0.1", 0, &port);
  ASSERT_NE(platform::kInvalidSocket, listener);
  std::promise<pthread_t> self;
  auto waited = std::async(std::launch::async, [&] {
    self.set_value(pthread_self());
    const auto start = Clock::now();
    const int r = platform::waitReadable(listener, 300ms);
    return std::make_pair(r, Clock::now() - start);
  });
  {
    SignalRain rain(self.get_future().get(), 50ms);
    // Every signal used to restart the full 300 ms, so the wait never ended.
    ASSERT_EQ(std::future_status::ready, waited.wait_for(5s)) << "wait never ended";
  }
  const auto result = waited.get();
  EXPECT_EQ(0, result.first);
  EXPECT_GE(result.second, 290ms);
  EXPECT_LT(result.second, 2s);
  platform::closeSocket(listener);
}

TEST(PlatformFiles, RemovedWorkingDirectoryReadsAsEmpty) {
  testsupport::ScratchDir scratch;
  const std::string gone = scratch.file("gone");
  ASSERT_TRUE(platform::createDirectory(gone));
  testsupport::CurrentDirGuard inside(gone);
  ASSERT_TRUE(std::filesystem::remove(gone));
  EXPECT_EQ("", platform::currentDirectory());
}

TEST(PlatformFiles, AppendFileIsNotInheritedByChildProcesses) {
  testsupport::ScratchDir scratch;
  const std::string path = scratch.file("held.log");
  std::string fds;
  {
    const platform::AppendFile file(path);
    ASSERT_TRUE(file.isOpen());
    ASSERT_TRUE(file.append("x\n", 2));
    // The child lists its own open descriptors; the file must not be among them.
    const std::string listing = scratch.file("fds.txt");
    ASSERT_EQ(0, std::system(("ls -l /proc/self/fd/ > " + listing).c_str()));
    fds = testsupport::readFile(listing);
  }
  EXPECT_NE(std::string::npos, fds.find("fds.txt"));  // the listing itself is seen
  EXPECT_EQ(std::string::npos, fds.find("held.log")) << fds;
  EXPECT_EQ("x\n", testsupport::readFile(path));
}

}  // namespace

namespace {

TEST(PlatformErrors, ErrorTextGivesTheSystemsWordsAndTheCode) {
  EXPECT_EQ(platform::errorText(ECONNREFUSED), "Connection refused (" + std::to_string(ECONNREFUSED) + ")");
  EXPECT_EQ(platform::errorText(ECONNRESET), "Connection reset by peer (" + std::to_string(ECONNRESET) + ")");
}

}  // namespace
