// mvresponder: the benchmark's minimal lane server. Every request is answered at once with a packet
// prepared at start, patched with the request's serial and a fresh check code: no JSON, no logging,
// so what the clients measure is theirs and the loopback's.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Wire.h"
#include "platform/Platform.h"

namespace {

constexpr std::chrono::milliseconds kAcceptPoll{100};
constexpr const char* kHost = "127.0.0.1";

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int) { stopRequested.store(true); }

void serve(platform::SocketHandle s, const wire::AnswerBook& book) {
  wire::PacketCutter cutter;
  std::string request;
  std::string answer;
  while (wire::readPacket(s, cutter, request)) {
    if (book.answer(request, answer) != nullptr && !wire::sendAll(s, answer)) return;
  }
}

// The connections and their threads; shut down and joined when the responder stops.
class Connections {
 public:
  ~Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (platform::SocketHandle s : sockets_) platform::shutdownSocket(s);
    for (std::thread& t : threads_) t.join();
    for (platform::SocketHandle s : sockets_) platform::closeSocket(s);
  }
  void add(platform::SocketHandle s, const wire::AnswerBook& book) {
    std::lock_guard<std::mutex> lock(mutex_);
    sockets_.push_back(s);
    threads_.emplace_back(serve, s, std::cref(book));
  }

 private:
  std::mutex mutex_;
  std::vector<platform::SocketHandle> sockets_;
  std::vector<std::thread> threads_;
};

}  // namespace

int main() {
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  platform::networkStartup();
  std::uint16_t port = 0;
  const platform::SocketHandle listener = platform::tcpListen(kHost, 0, &port);
  if (listener == platform::kInvalidSocket) {
    std::fprintf(stderr, "mvresponder: cannot listen\n");
    return 1;
  }
  const wire::AnswerBook book;
  std::printf("mvresponder listening on %s:%u\n", kHost, static_cast<unsigned>(port));
  std::fflush(stdout);
  {
    Connections connections;
    while (!stopRequested.load()) {
      if (platform::waitReadable(listener, kAcceptPoll) <= 0) continue;
      const platform::SocketHandle s = platform::acceptConnection(listener);
      if (s != platform::kInvalidSocket) connections.add(s, book);
    }
  }
  platform::closeSocket(listener);
  platform::networkCleanup();
  return 0;
}
