#include "RawPeer.h"

namespace testsupport {

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr std::size_t kReadChunk = 65536;
// More connection attempts than any accept queue of the platform layer's listener can hold.
constexpr int kMaxFillers = 512;
// How long a filler may take to connect before its attempt counts as unanswered.
constexpr std::chrono::milliseconds kUnansweredAfter{100};

std::chrono::microseconds leftUntil(std::chrono::steady_clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now());
}

}  // namespace

RawPeer::RawPeer() {
  listener_ = platform::tcpListen(kLoopback, 0, &port_);
  if (listener_ == platform::kInvalidSocket) port_ = 0;
}

RawPeer::~RawPeer() {
  closeConnection();
  closeListener();
  for (platform::SocketHandle s : fillers_) platform::closeSocket(s);
}

bool RawPeer::accept(std::chrono::milliseconds timeout) {
  if (listener_ == platform::kInvalidSocket) return false;
  if (platform::waitReadable(listener_, timeout) <= 0) return false;
  platform::SocketHandle s = platform::acceptConnection(listener_);
  if (s == platform::kInvalidSocket) return false;
  closeConnection();
  connection_ = s;
  return true;
}

bool RawPeer::send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long n = platform::sendBytes(connection_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string RawPeer::receive(std::size_t count, std::chrono::milliseconds timeout) {
  std::string got;
  std::vector<char> chunk(kReadChunk);
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (got.size() < count) {
    const auto left = leftUntil(end);
    if (left.count() <= 0 || platform::waitReadable(connection_, left) <= 0) break;
    const long n = platform::recvBytes(connection_, chunk.data(), chunk.size());
    if (n <= 0) break;
    got.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return got;
}

bool RawPeer::waitForClose(std::chrono::milliseconds timeout) {
  std::vector<char> chunk(kReadChunk);
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = leftUntil(end);
    if (left.count() <= 0 || platform::waitReadable(connection_, left) <= 0) return false;
    const long n = platform::recvBytes(connection_, chunk.data(), chunk.size());
    if (n <= 0) return true;
  }
}

void RawPeer::closeConnection() {
  if (connection_ == platform::kInvalidSocket) return;
  platform::shutdownSocket(connection_);
  platform::closeSocket(connection_);
  connection_ = platform::kInvalidSocket;
}

void RawPeer::closeListener() {
  platform::closeSocket(listener_);
  listener_ = platform::kInvalidSocket;
}

bool RawPeer::saturateBacklog() {
  for (int i = 0; i < kMaxFillers; ++i) {
    const platform::SocketHandle s = platform::tcpSocket();
    if (s == platform::kInvalidSocket) return false;
    fillers_.push_back(s);
    if (!platform::setNonBlocking(s)) return false;
    if (platform::connectStart(s, kLoopback, port_)) continue;
    // The attempt that gets no answer shows that the queue is full; it stays pending.
    if (platform::waitWritable(s, kUnansweredAfter) == 0) return true;
  }
  return false;
}

std::uint16_t closedPort() {
  RawPeer gone;
  return gone.port();
}

}  // namespace testsupport
