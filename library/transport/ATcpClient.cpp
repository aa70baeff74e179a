#include "transport/ATcpClient.h"

#include <memory>
#include <string>
#include <utility>

#include "common/ResultCodes.h"
#include "logging/Logger.h"
#include "transport/Package.h"
#include "transport/Packet.h"
#include "transport/PacketFault.h"
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

// Runs a call into the derived class from the receive thread, dropping what it throws.
template <typename Call>
void dropExceptions(Call&& call) noexcept {
  try {
    call();
  } catch (...) {
  }
}

// How a connect attempt ended.
struct ConnectOutcome {
  bool connected = false;
  unsigned long error = 0;  // the system's error when not connected
  bool timedOut = false;    // no answer within the time-out
};

ConnectOutcome failedWith(unsigned long error, bool timedOut = false) { return {false, error, timedOut}; }

// A non-blocking connect normally reports "in progress"; writability within the time-out and no
// pending socket error then mean connected. Any other immediate error is a failure: the socket of
// such a connect also polls writable with no pending error, though it is not connected.
ConnectOutcome connectWithin(platform::SocketHandle s, const std::string& addr, unsigned short port,
                             std::chrono::microseconds timeOut) {
  if (!platform::setNonBlocking(s)) return failedWith(platform::lastError());
  if (platform::connectStart(s, addr.c_str(), port)) return {true, 0, false};
  if (!platform::connectInProgress()) return failedWith(platform::lastError());
  const int ready = platform::waitWritable(s, timeOut);
  if (ready <= 0) return failedWith(platform::lastError(), ready == 0);
  const int pending = platform::socketError(s);
  if (pending != 0) return failedWith(static_cast<unsigned long>(pending));
  return {true, 0, false};
}

}  // namespace

ATcpClient::ATcpClient(std::string logName, LinkListener* listener)
    : logName_(std::move(logName)), listener_(listener) {}

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
    serverPort_ = port;
  }

  OwnedSocket fresh(platform::tcpSocket());
  if (!fresh.valid()) {
    const unsigned long error = platform::lastError();
    logLine('E', "Create Socket Failure,ErrCode=[%lu]\n", error);
    logLine('E', "%s: connect to %s failed: no socket: %s\n", logName_.c_str(), peer().c_str(),
            platform::errorText(error).c_str());
    return result::kConnectFailed;
  }
  const unsigned timeOutMs = timeOutMs_.load();
  const ConnectOutcome outcome =
      connectWithin(fresh.get(), addr, port, std::chrono::milliseconds(timeOutMs));
  if (!outcome.connected) {
    logLine('E', "ip_addr=[%s] connect failure,error_code=[%lu]\n", addr.c_str(), outcome.error);
    const std::string why = outcome.timedOut ? "no answer within " + std::to_string(timeOutMs) + " ms"
                                             : platform::errorText(outcome.error);
    logLine('E', "%s: connect to %s failed: %s\n", logName_.c_str(), peer().c_str(), why.c_str());
    return result::kConnectFailed;
  }

  logLine('I', "ip_addr=[%s] connect successfully!\n", addr.c_str());
  platform::closeSocket(socket_.exchange(fresh.release()));
  unsigned link = link_.load();
  while (!isUp(link) && !link_.compare_exchange_weak(link, link + 1)) {
  }
  if (listener_ != nullptr) listener_->linkUp();
  startDataRecvThrd();
  return result::kOk;
}

bool ATcpClient::writeData(const char* body, long long length, const BufView<5>& cmdId, unsigned serial,
                           const std::chrono::steady_clock::time_point& deadline) {
  return writeOnLink(linkState(), body, length, cmdId, serial, deadline);
}

bool ATcpClient::writeOnLink(unsigned link, const char* body, long long length,
                             const BufView<5>& cmdId, unsigned serial,
                             const std::chrono::steady_clock::time_point& deadline) {
  // Both refusals come before the body is read.
  if (body == nullptr || length <= 0) return false;
  if (!packet::bodyFits(length)) return false;
  // Nothing goes into a connection known to be gone: its answer could not come.
  if (!isUp(link) || linkState() != link) return false;
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
      recvThread_ = std::thread(DataRecvThreadFunc, this, socket_.load(), linkState());
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
  markDown();
  std::lock_guard<std::mutex> lock(threadMutex_);
  const platform::SocketHandle s = socket_.exchange(platform::kInvalidSocket);
  // Ends a blocked receive and makes a write in progress fail at once, so neither holds us up.
  platform::shutdownSocket(s);
  stopThreadLocked();
  if (s == platform::kInvalidSocket) return;
  // A writer may have loaded the handle before the exchange; its number must not be reused under
  // it. The writer gives the lock back as soon as its send fails on the shut-down socket.
  std::unique_lock<DeadlineMutex> noWriter(writeMutex_, std::defer_lock);
  if (!noWriter.try_lock_until(std::chrono::steady_clock::now() + kWriterLeaveWait)) {
    logLine('E', "%s: a write to %s still ran after %lld ms; the socket is closed under it\n",
            logName_.c_str(), peer().c_str(), static_cast<long long>(kWriterLeaveWait.count()));
  }
  platform::closeSocket(s);
}

void ATcpClient::markDown() {
  unsigned link = linkState();
  while (isUp(link)) {
    if (link_.compare_exchange_weak(link, link + 1)) {
      onLinkDown();
      return;
    }
  }
}

void ATcpClient::reportLoss(unsigned link, const std::string& cause) {
  if (!link_.compare_exchange_strong(link, link + 1)) return;
  try {
    logLine('E', "%s: connection to %s lost: %s\n", logName_.c_str(), peer().c_str(),
            cause.c_str());
  } catch (...) {
    // The waiters must be released all the same.
  }
  // The owner hears first, so that what a released request's caller does next already knows.
  if (listener_ != nullptr) listener_->linkLost();
  onLinkDown();
}

std::string ATcpClient::address() {
  std::lock_guard<std::mutex> lock(addressMutex_);
  return serverAddress_;
}

std::string ATcpClient::peer() {
  std::lock_guard<std::mutex> lock(addressMutex_);
  return serverAddress_ + ":" + std::to_string(serverPort_);
}

void ATcpClient::DataRecvThreadFunc(ATcpClient* self, platform::SocketHandle s, unsigned link) {
  if (s == platform::kInvalidSocket) return;

  class Dispatch : public PacketSink {
   public:
    explicit Dispatch(ATcpClient& client) : client_(client) {}
    // What the derived class throws for one packet is dropped: it must not end the process or the
    // connection, and the stream goes on.
    void onPacket(int cmdId, const char* message, unsigned length) override {
      dropExceptions([&] { client_.handlePackage(cmdId, message, length); });
    }
    void onBadPacket() override { logLine('E', "The data packed from server is bad!\n"); }
    void onSkipped(const char* data, std::size_t, std::size_t readable, ScanSkip why) override {
      if (!packetfault::isFault(why)) return;
      dropExceptions([&] { client_.handleBadPacket(data, readable, why); });
    }
    void idle() { dropExceptions([&] { client_.onReceiveIdle(); }); }

   private:
    ATcpClient& client_;
  };

  // Nothing may leave the thread: an exception there would end the whole lane application. What
  // can still be thrown here (no memory for the buffers, a failing log line) ends the connection
  // as a failed receive does.
  std::string cause;  // why the connection ended; empty when a stop was requested
  try {
    Dispatch dispatch(*self);
    PacketAccumulator accumulator;
    const std::unique_ptr<char[]> readArea(new char[kRecvChunk]);
    // The flag is looked at after every wake-up, so a peer that never pauses cannot delay a stop.
    while (self->running_.load()) {
      const int ready = platform::waitReadable(s, kRecvIdleWait);
      if (ready == 0) {
        dispatch.idle();
        continue;
      }
      if (ready < 0) {
        cause = "waiting for data failed: " + platform::errorText(platform::lastError());
        break;
      }
      const long received = platform::recvBytes(s, readArea.get(), kRecvChunk);
      if (received < 0 && platform::wouldBlock()) continue;
      if (received == 0) {
        cause = "closed by the server";
        break;
      }
      if (received < 0) {
        cause = "receive failed: " + platform::errorText(platform::lastError());
        break;
      }
      accumulator.append(readArea.get(), static_cast<std::size_t>(received));
      accumulator.scan(dispatch);
    }
  } catch (const std::exception& e) {
    cause = std::string("the receive thread failed: ") + e.what();
  } catch (...) {
    cause = "the receive thread failed";
  }
  if (cause.empty()) return;
  try {
    self->reportLoss(link, cause);
  } catch (...) {
  }
}
