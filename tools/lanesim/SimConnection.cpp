#include "SimConnection.h"

bool SimConnection::send(const char* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
  while (size > 0) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || platform::waitWritable(socket_.get(), left) <= 0) return false;
    long sent = platform::sendBytes(socket_.get(), data, size);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void SimConnection::shutdown() {
  closing_.store(true);
  platform::shutdownSocket(socket_.get());
}
