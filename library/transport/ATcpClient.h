// One TCP connection to a lane server: connect with a time-out, whole packets written under a
// deadline, and a receive thread that cuts checked packets out of the stream and hands each one to
// handlePackage, and that tells when the connection ends by itself.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "common/Compiler.h"
#include "common/BufView.h"
#include "platform/Platform.h"
#include "transport/DeadlineMutex.h"
#include "transport/LinkListener.h"
#include "transport/PacketScanner.h"

class ATcpClient {
 public:
  static constexpr unsigned kDefaultTimeOutMs = 5000;
  static constexpr std::size_t kRecvChunk = 10240;               // bytes taken by one recv
  static constexpr std::chrono::milliseconds kRecvIdleWait{200};  // the receive thread's poll
  // How long a close waits for a write still under way to give the connection up; after the
  // shutdown its send fails at once, so only a platform whose wait does not wake would need it.
  static constexpr std::chrono::milliseconds kWriterLeaveWait{1000};

  // `logName` names the connection in log lines ("Lane 7"); `listener`, when given, hears when a
  // connection comes up and when it is lost, and must outlive the client's connections.
  explicit ATcpClient(std::string logName = "client", LinkListener* listener = nullptr);
  // Stops the receive thread and closes the socket.
  virtual ~ATcpClient();
  ATcpClient(const ATcpClient&) = delete;
  ATcpClient& operator=(const ATcpClient&) = delete;

  // Connects to a dotted IPv4 address within uiTimeOut milliseconds, closing any previous
  // connection first. 0: connected and receiving; -1: failed (no socket left); 1: another connect
  // on this client is in progress (nothing done). Any thread but the receive thread.
  int connectToServer(const char* ip, unsigned short port);

  // Packs the body into one packet and writes all of it before the deadline. False when the body
  // is empty, the packet would not fit the length field, the connection is down (never made,
  // closed, or lost), the deadline has passed, the write lock or the socket is not ready in time,
  // or the send fails; the first four send nothing. Any thread, the receive thread included;
  // packets never interleave.
  bool writeData(const char* body, long long length, const BufView<5>& cmdId, unsigned serial,
                 const std::chrono::steady_clock::time_point& deadline);

  unsigned uiTimeOut() const { return timeOutMs_.load(); }
  void setUiTimeOut(unsigned int const& ms) { timeOutMs_.store(ms); }

  // True while a connectToServer call runs. Any thread.
  bool isConnecting() const { return connecting_.load(); }
  // True from a successful connect until the connection is closed or known lost. Any thread.
  bool isConnected() const { return isUp(link_.load()); }

  // Starts the receive thread on the current socket unless it runs already. Always true. Any
  // thread but the receive thread.
  bool startDataRecvThrd();
  // Stops and joins the receive thread if it was started. Any thread but the receive thread.
  void stopDataRecvThrd();
  // Marks the connection down (waiting requests are released), stops the receive thread, then
  // closes the socket once no write is using it. Any thread but the receive thread.
  void closeSocket();

 protected:
  // The state of the connection in one word: odd while a connection is up, and every change adds
  // one (a connect makes it odd; a close or a loss makes it even). A request that keeps the word it
  // started with knows by any change that its answer cannot come any more.
  unsigned linkState() const { return link_.load(std::memory_order_acquire); }
  static bool isUp(unsigned link) { return (link & 1u) != 0; }
  // writeData on the connection whose state was `link`: false, sending nothing, once it changed.
  bool writeOnLink(unsigned link, const char* body, long long length, const BufView<5>& cmdId,
                   unsigned serial, const std::chrono::steady_clock::time_point& deadline);
  // Called once whenever the connection goes down (closed or lost), after the state changed: the
  // derived class wakes the requests that wait for answers. On the closing thread or the receive
  // thread; never while a lock of this class is held.
  virtual void onLinkDown() {}

  // Called on the receive thread once per good packet with the message part (command id to end of
  // body), valid only during the call; an exception it throws drops that packet only. Derived
  // classes stop the receive thread before they tear down anything this uses.
  virtual void handlePackage(int cmdId, const char* data, unsigned len) = 0;
  // Called on the receive thread for a candidate that had a packet's markers and length yet failed
  // a check or can never complete (packetfault::isFault): `head` is its head marker, `readable`
  // bytes from it valid during the call. The scan then goes on past the marker. An exception it
  // throws is dropped.
  virtual void handleBadPacket(const char* head, std::size_t readable, ScanSkip why) {
    (void)head, (void)readable, (void)why;
  }
  // Called on the receive thread each time it has waited kRecvIdleWait without data. An exception
  // it throws is dropped.
  virtual void onReceiveIdle() {}

 private:
  // The receive thread's body: reads `s` until it fails, the peer closes, or a stop is requested;
  // `link` is the state of the connection it serves.
  MV_ENTRY_POINT static void DataRecvThreadFunc(ATcpClient* self, platform::SocketHandle s,
                                                unsigned link);
  // Stops and joins the receive thread if the running flag is set; the caller holds threadMutex_.
  void stopThreadLocked();
  // The connection of state `link` ended by itself: marks it lost unless its owner closed it
  // meanwhile, then logs why, tells the listener and releases the waiters. Receive thread only.
  void reportLoss(unsigned link, const std::string& cause);
  // Marks an up connection down and releases the waiters; nothing when it is down already.
  void markDown();
  // A copy of the address for a log line, and the same with the port ("127.0.0.1:9000").
  std::string address();
  std::string peer();

  const std::string logName_;
  LinkListener* const listener_;
  std::string serverAddress_;                        // last connect's address; for log lines
  unsigned short serverPort_ = 0;                    // last connect's port; for log lines
  std::mutex addressMutex_;                          // guards serverAddress_ and serverPort_
  std::atomic<unsigned> link_{0};                    // see linkState(); even: no connection
  std::atomic<unsigned> timeOutMs_{kDefaultTimeOutMs};
  std::atomic<platform::SocketHandle> socket_{platform::kInvalidSocket};  // replaced by exchange only
  std::thread recvThread_;                           // guarded by threadMutex_
  std::atomic<bool> running_{false};                 // read by the receive thread without a lock
  std::atomic<bool> connecting_{false};              // set by compare-exchange, cleared on every exit
  std::mutex threadMutex_;                           // orders starting and stopping the thread, and closing
  DeadlineMutex writeMutex_;                         // one packet on the wire at a time; held across the send
};
