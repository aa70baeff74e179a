#include "transport/ATcpClient.h"

#include <memory>

#include "common/ResultCodes.h"
#include "logging/Logger.h"
#include "transport/Package.h"
#include "transport/Packet.h"
#include "transport/PacketScanner.h"

namespace {

// Owns a socket until it is released to its next owner; closes it otherwise.
class OwnedSocket {
 public:
  explicit OwnedSocket(platform::SocketHandle s) : s_(s) {}
  ~OwnedSocket() { platform::closeSocket(s_); }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;
  platform::SocketHandle get() const { return s_; }
  bool valid() const { return s_ != platform::kInvalidSocket; }
  platform::SocketHandle release() {
    const platform::SocketHandle s = s_;
    s_ = platform::kInvalidSocket;
    return s;
  }

 private:
  platform::SocketHandle s_;
};

// Clears a flag on every way out of a scope, exceptions included.
class FlagClearer {
 public:
  explicit FlagClearer(std::atomic<bool>& flag) : flag_(flag) {}
  ~FlagClearer() { flag_.store(false); }
  FlagClearer(const FlagClearer&) = delete;
  FlagClearer& operator=(const FlagClearer&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

ATcpClient::ATcpClient() = default;

ATcpClient::~ATcpClient() { closeSocket(); }

int ATcpClient::connectToServer(const char* ip, unsigned short port) {
  bool idle = false;
  if (!connecting_.compare_exchange_strong(idle, true)) return result::kConnectInProgress;
  const FlagClearer clearConnecting(connecting_);

  closeSocket();
  const std::string addr = ip != nullptr ? ip : "";
  {
    std::lock_guard<std::mutex> lock(addressMutex_);
    serverAddress_ = addr;
  }

  OwnedSocket fresh(platform::tcpSocket());
  if (!fresh.valid()) {
    logLine('E', "Create Socket Failure,ErrCode=[%lu]\n", platform::lastError());
    return result::kConnectFailed;
  }
  const std::chrono::microseconds timeOut = std::chrono::milliseconds(timeOutMs_.load());
  // A non-blocking connect normally reports "in progress"; writability within the time-out and no
  // pending socket error then mean connected. Any other immediate error is a failure: the socket of
  // such a connect also polls writable with no pending error, though it is not connected.
  const bool connected =
      platform::setNonBlocking(fresh.get()) &&
      (platform::connectStart(fresh.get(), addr.c_str(), port) ||
       (platform::connectInProgress() && platform::waitWritable(fresh.get(), timeOut) > 0 &&
        platform::socketError(fresh.get()) == 0));
  if (!connected) {
    logLine('E', "ip_addr=[%s] connect failure,error_code=[%lu]\n", addr.c_str(), platform::lastError());
    return result::kConnectFailed;
  }

  logLine('I', "ip_addr=[%s] connect successfully!\n", addr.c_str());
  platform::closeSocket(socket_.exchange(fresh.release()));
  startDataRecvThrd();
  return result::kOk;
}

bool ATcpClient::writeData(const char* body, long long length, const BufView<5>& cmdId, unsigned serial,
                           const std::chrono::steady_clock::time_point& deadline) {
  // Both refusals come before the body is read.
  if (body == nullptr || length <= 0) return false;
  if (!packet::bodyFits(length)) return false;
  // Built before waiting for the lock, so the send time is the moment of the call.
  const Package pkg(body, static_cast<unsigned>(length), cmdId, serial);

  // Waits on the steady clock itself, so a step of the wall clock cannot stretch or cut the wait.
  std::unique_lock<DeadlineMutex> lock(writeMutex_, std::defer_lock);
  if (!lock.try_lock_until(deadline)) return false;

  const platform::SocketHandle s = socket_.load();
  const char* next = pkg.returnmsg();
  std::size_t remaining = pkg.size();
  while (s != platform::kInvalidSocket && socket_.load() == s) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    // Sent first and waited for only when the socket's buffer is full: a writable socket is the
    // rule, and asking first would cost every packet a system call.
    const long sent = platform::sendBytes(s, next, remaining);
    if (sent < 0 && !platform::wouldBlock()) return false;
    if (sent <= 0) {
      if (platform::waitWritable(s, left) <= 0) return false;
      continue;
    }
    next += sent;
    remaining -= static_cast<std::size_t>(sent);
    if (remaining == 0) return true;
  }
  return false;
}

bool ATcpClient::startDataRecvThrd() {
  {
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (running_.load()) return true;
    running_.store(true);
    try {
      recvThread_ = std::thread(DataRecvThreadFunc, this, socket_.load());
    } catch (...) {
      running_.store(false);
      throw;
    }
  }
  logLine('I', "data_recv thread start successfully,MvSrvIPAddr=[%s]\n", address().c_str());
  return true;
}

void ATcpClient::stopDataRecvThrd() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  stopThreadLocked();
}

void ATcpClient::stopThreadLocked() {
  if (!running_.load()) return;
  running_.store(false);
  if (recvThread_.joinable()) recvThread_.join();
  logLine('I', "data_recv thread stop successfully,MvSrvIPAddr=[%s]\n", address().c_str());
}

void ATcpClient::closeSocket() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  const platform::SocketHandle s = socket_.exchange(platform::kInvalidSocket);
  // Ends a blocked receive and makes a write in progress fail at once, so neither holds us up.
  platform::shutdownSocket(s);
  stopThreadLocked();
  if (s == platform::kInvalidSocket) return;
  // A writer may have loaded the handle before the exchange; its number must not be reused under it.
  // The writer gives the lock back at its deadline at the latest, sooner after the shutdown.
  const std::lock_guard<DeadlineMutex> noWriter(writeMutex_);
  platform::closeSocket(s);
}

std::string ATcpClient::address() {
  std::lock_guard<std::mutex> lock(addressMutex_);
  return serverAddress_;
}

void ATcpClient::DataRecvThreadFunc(ATcpClient* self, platform::SocketHandle s) {
  if (s == platform::kInvalidSocket) return;

  class Dispatch : public PacketSink {
   public:
    explicit Dispatch(ATcpClient& client) : client_(client) {}
    void onPacket(int cmdId, const char* message, unsigned length) override {
      // One packet the handler cannot take must not end the process or the connection: the
      // packet is dropped and the stream goes on.
      try {
        client_.handlePackage(cmdId, message, length);
      } catch (...) {
      }
    }
    void onBadPacket() override { logLine('E', "The data packed from server is bad!\n"); }

   private:
    ATcpClient& client_;
  };

  // Nothing may leave the thread: an exception there would end the whole lane application. What
  // can still be thrown here (no memory for the buffers, a failing log line) ends the thread as a
  // failed receive does.
  try {
    Dispatch dispatch(*self);
    PacketAccumulator accumulator;
    const std::unique_ptr<char[]> readArea(new char[kRecvChunk]);
    // The flag is looked at after every wake-up, so a peer that never pauses cannot delay a stop.
    while (self->running_.load()) {
      const int ready = platform::waitReadable(s, kRecvIdleWait);
      if (ready == 0) continue;
      if (ready < 0) return;
      const long received = platform::recvBytes(s, readArea.get(), kRecvChunk);
      if (received <= 0) return;
      accumulator.append(readArea.get(), static_cast<std::size_t>(received));
      accumulator.scan(dispatch);
    }
  } catch (...) {
  }
}
