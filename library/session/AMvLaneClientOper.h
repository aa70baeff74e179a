// One lane's session with its lane server: login, heartbeat, reconnect, logout, device status,
// and the lane operations that turn a caller's JSON request into protocol commands.
//
// Public interface fixed for the manager and the exported functions; the private part belongs to
// the session code.
#pragma once

#include <array>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <json/json.h>

#include "common/Compiler.h"
#include "common/MvLaneInfo.h"
#include "common/WaitClock.h"
#include "protocol/ALaneClientOper.h"
#include "session/ReconnectBackoff.h"
#include "transport/LinkListener.h"

class AMvLaneClientOper {
 public:
  // `clock` times the heartbeat thread's waits; it must outlive the session.
  explicit AMvLaneClientOper(const stMvLaneInfo_t& info,
                             const WaitClock& clock = WaitClock::steady());
  virtual ~AMvLaneClientOper();
  AMvLaneClientOper(const AMvLaneClientOper&) = delete;
  AMvLaneClientOper& operator=(const AMvLaneClientOper&) = delete;

  // Connects, logs in and starts the heartbeat thread. 0, or the connect result (-1, 1).
  // Not called concurrently with Uninit on one session.
  int Init();
  // Stops the heartbeat thread, logs out when configured, closes the connection: every request
  // still waiting for an answer returns 2 then. Never throws. Any thread.
  void Uninit();

  ALaneClientOper* client();

  // True from a successful Init until Uninit, unless the heartbeat thread had to end by itself;
  // the lane is then closed and its status shows it as not connected. Any thread.
  bool isRunning();

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

 private:
  // The configured device whose id an operation adds to its request.
  enum class Device { None, CardReader, Rsu };

  // Writes the lane identity ("UserName", "ProvinceNo", "CityNo", "AreaNo", "GateNo", "LaneNo")
  // into a request, overwriting members of those names.
  void prologue(Json::Value& request) const;
  // Parses a caller's request and stamps the identity and the device id into it. False, with the
  // output emptied, when the text is not JSON or neither an object nor null.
  bool prepareRequest(const char* input, Device device, Json::Value& request,
                      std::string& output) const;
  // The common shape of the single-command operations.
  int forward(const char* input, std::string& output, Device device, LaneCommand command);

  // The steps of Uninit.
  void stopHeartBeat();
  void autoLogout();

  // Hears from the connection and wakes the heartbeat thread when it is lost.
  class LinkWatch : public LinkListener {
   public:
    explicit LinkWatch(AMvLaneClientOper& session) : session_(session) {}
    void linkUp() override;
    void linkLost() override;

   private:
    AMvLaneClientOper& session_;
  };

  // Heartbeat thread only.
  MV_ENTRY_POINT void heartBeatLoop(const std::string& statusText, const std::string& loginText);
  // Waits until the next heartbeat is due or the thread is stopped; false when stopped. While the
  // lane is up that is HeartBeatTime seconds, cut short when the connection is lost; after a
  // failed reconnect it is when the back-off allows the next attempt. An exception ends the
  // heartbeat for good (see isRunning).
  bool waitNextBeat();
  // Waits until the back-off allows a reconnect; false when stopped first.
  bool pauseBeforeReconnect();
  // The heartbeat thread ends without a stop request: nothing would check the lane any more, so
  // it is closed and shown as not connected instead of keeping its last status.
  void abandonLane();
  // One heartbeat; logs in again when refused, reconnects and logs in when unanswered. True while
  // the lane is usable (then a status query follows).
  bool updateHeartHeat(const char* loginText);
  void updateDevStatus(const char* statusText);
  Json::Value deviceObject(const Json::Value& answer, const char* prefix, int id) const;
  // Stores one member of the status document under statusMutex.
  void setStatus(const char* member, const Json::Value& value);
  // 'E' lines of a failed request of the session, naming the lane and its server.
  void logFailure(const char* what, int code) const;

  // One member of the lane identity, formatted once from the configuration.
  struct IdentityMember {
    const char* name;
    Json::Value value;
  };
  static std::array<IdentityMember, 6> identityOf(const stMvLaneInfo_t& info);

  ALaneClientOper laneClient;
  LinkWatch linkWatch;             // heard by laneClient; before any connection exists
  const WaitClock& beatClock;     // times the heartbeat thread's waits
  const stMvLaneInfo_t laneInfo;
  const std::array<IdentityMember, 6> identity;  // what prologue writes
  const Json::Value readerIdText;                // "ReaderID" and "RSUID" as requests carry them
  const Json::Value rsuIdText;
  bool running = false;            // guarded by heartBeatMutex
  std::thread heartBeatThread;     // started by Init, joined by stopHeartBeat
  std::condition_variable heartBeatCond;
  std::mutex heartBeatMutex;
  ReconnectBackoff backoff;        // guarded by heartBeatMutex
  // Heartbeat thread only: the last reconnect failed, and the lane is down since outageStart
  // after that many failed attempts (for the line that tells it is back).
  bool reconnectFailed = false;
  WaitClock::Clock::time_point outageStart{};
  unsigned failedAttempts = 0;
  std::mutex statusMutex;
  Json::Value status;              // guarded by statusMutex
};
