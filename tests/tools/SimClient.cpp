#include "SimClient.h"

#include <cstring>

#include "common/BufView.h"
#include "common/JsonText.h"
#include "transport/Package.h"
#include "transport/Packet.h"

namespace {
constexpr std::size_t kChunk = 4096;
}

bool SimClient::connect(std::uint16_t port) {
  socket_ = SimSocket(platform::tcpSocket());
  return socket_.valid() && platform::connectStart(socket_.get(), "127.0.0.1", port);
}

std::string SimClient::frame(const std::string& cmdId, unsigned serial, const std::string& body) {
  char id[packet::kCmdIdWidth];
  std::memcpy(id, cmdId.data(), sizeof id);
  Package pkg(body.data(), static_cast<unsigned>(body.size()), BufView<5>(id), serial);
  return std::string(pkg.returnmsg(), pkg.size());
}

bool SimClient::send(const std::string& cmdId, unsigned serial, const std::string& body) {
  return sendRaw(frame(cmdId, serial, body));
}

bool SimClient::sendRaw(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    long n = platform::sendBytes(socket_.get(), bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SimClient::onPacket(int, const char* message, unsigned length) {
  SimPacket p;
  p.cmdId.assign(message, packet::kCmdIdWidth);
  p.serial = static_cast<unsigned>(std::stoul(std::string(message + packet::kMessageSerialOffset, packet::kFieldWidth)));
  p.body.assign(message + packet::kMessageBodyOffset, length - packet::kMessageBodyOffset);
  if (!jsontext::parse(p.body, p.json)) p.json = Json::Value();
  packets_.push_back(p);
}

bool SimClient::readSome(std::chrono::steady_clock::time_point deadline) {
  if (closed_) return false;
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0 || platform::waitReadable(socket_.get(), left) <= 0) return false;
  char chunk[kChunk];
  long n = platform::recvBytes(socket_.get(), chunk, sizeof chunk);
  if (n <= 0) {
    closed_ = true;
    reset_ = n < 0;
    return false;
  }
  raw_.append(chunk, static_cast<std::size_t>(n));
  accumulator_.append(chunk, static_cast<std::size_t>(n));
  accumulator_.scan(*this);
  return true;
}

bool SimClient::next(SimPacket* out, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (packets_.empty()) {
    if (!readSome(deadline)) return false;
  }
  if (out != nullptr) *out = packets_.front();
  packets_.pop_front();
  return true;
}

bool SimClient::waitClosed(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closed_) {
    if (!readSome(deadline) && !closed_) return false;
  }
  return true;
}
