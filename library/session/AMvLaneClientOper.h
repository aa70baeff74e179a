// One lane's session with its lane server: login, heartbeat, reconnect, logout, device status,
// and the lane operations that turn a caller's JSON request into protocol commands.
//
// Public interface fixed for the manager and the exported functions; the private part belongs to
// the session code.
#pragma once

#include <string>

#include "manager/MvLaneInfo.h"
#include "protocol/ALaneClientOper.h"

class AMvLaneClientOper {
 public:
  explicit AMvLaneClientOper(const stMvLaneInfo_t& info);
  virtual ~AMvLaneClientOper();
  AMvLaneClientOper(const AMvLaneClientOper&) = delete;
  AMvLaneClientOper& operator=(const AMvLaneClientOper&) = delete;

  // Connects, logs in and starts the heartbeat thread. 0, or the connect result (-1, 1).
  // Not called concurrently with Uninit on one session.
  int Init();
  // Stops the heartbeat thread, logs out when configured, closes the connection. Never throws.
  void Uninit();

  ALaneClientOper* client();

  // The lane operations: request text in, output text out, result code returned. Any thread, any
  // number at once.
  int ReaderRead(const char* input, std::string& output);
  int ReaderWrite(const char* input, std::string& output);
  int RSURead(const char* input, std::string& output);
  int RSUWrite(const char* input, std::string& output);
  int ETCStatusQuery(const char* input, std::string& output);
  int SendNonCashPay(const char* input, std::string& output);
  int StopNonCashPay(const char* input, std::string& output);
  int ListUpLoad(const char* input, std::string& output);
  int BlackListQuery(const char* input, std::string& output);
  int ListQuery(const char* input, std::string& output);
  int QueryTransDetail(const char* input, std::string& output);
};
