// One TCP connection to a lane server: connect with a time-out, whole packets written under a
// deadline, and a receive thread that cuts checked packets out of the stream and hands each one to
// handlePackage.
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

class ATcpClient {
 public:
  static constexpr unsigned kDefaultTimeOutMs = 5000;
  static constexpr std::size_t kRecvChunk = 10240;               // bytes taken by one recv
  static constexpr std::chrono::milliseconds kRecvIdleWait{200};  // the receive thread's poll

  ATcpClient();
  // Stops the receive thread and closes the socket.
  virtual ~ATcpClient();
  ATcpClient(const ATcpClient&) = delete;
  ATcpClient& operator=(const ATcpClient&) = delete;

  // Connects to a dotted IPv4 address within uiTimeOut milliseconds, closing any previous
  // connection first. 0: connected and receiving; -1: failed (no socket left); 1: another connect
  // on this client is in progress (nothing done). Any thread but the receive thread.
  int connectToServer(const char* ip, unsigned short port);

  // Packs the body into one packet and writes all of it before the deadline. False when the body
  // is empty, the packet would not fit the length field, the deadline has passed, the write lock
  // or the socket is not ready in time, or the send fails; the first three send nothing. Any
  // thread, the receive thread included; packets never interleave.
  bool writeData(const char* body, long long length, const BufView<5>& cmdId, unsigned serial,
                 const std::chrono::steady_clock::time_point& deadline);

  unsigned uiTimeOut() const { return timeOutMs_.load(); }
  void setUiTimeOut(unsigned int const& ms) { timeOutMs_.store(ms); }

  // True while a connectToServer call runs. Any thread.
  bool isConnecting() const { return connecting_.load(); }

  // Starts the receive thread on the current socket unless it runs already. Always true. Any
  // thread but the receive thread.
  bool startDataRecvThrd();
  // Stops and joins the receive thread if it was started. Any thread but the receive thread.
  void stopDataRecvThrd();
  // Stops the receive thread, then closes the socket once no write is using it. Any thread but
  // the receive thread.
  void closeSocket();

 protected:
  // Called on the receive thread once per good packet with the message part (command id to end of
  // body), valid only during the call; an exception it throws drops that packet only. Derived
  // classes stop the receive thread before they tear down anything this uses.
  virtual void handlePackage(int cmdId, const char* data, unsigned len) = 0;

 private:
  // The receive thread's body: reads `s` until it fails, the peer closes, or a stop is requested.
  MV_ENTRY_POINT static void DataRecvThreadFunc(ATcpClient* self, platform::SocketHandle s);
  // Stops and joins the receive thread if the running flag is set; the caller holds threadMutex_.
  void stopThreadLocked();
  // A copy of the address for a log line.
  std::string address();

  std::string serverAddress_;                        // last connect's address; for log lines
  std::mutex addressMutex_;                          // guards serverAddress_
  std::atomic<unsigned> timeOutMs_{kDefaultTimeOutMs};
  std::atomic<platform::SocketHandle> socket_{platform::kInvalidSocket};  // replaced by exchange only
  std::thread recvThread_;                           // guarded by threadMutex_
  std::atomic<bool> running_{false};                 // read by the receive thread without a lock
  std::atomic<bool> connecting_{false};              // set by compare-exchange, cleared on every exit
  std::mutex threadMutex_;                           // orders starting and stopping the thread, and closing
  DeadlineMutex writeMutex_;                         // one packet on the wire at a time; held across the send
};
