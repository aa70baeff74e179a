// The protocol client of one lane: every command of the lane-server protocol, the channels that
// pair each request with its answer, and the dispatch of received packets.
//
// Public interface fixed for the lane session; the private part belongs to the protocol code.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include <json/json.h>

#include "common/BufView.h"
#include "common/JsonText.h"
#include "common/WaitClock.h"
#include "protocol/PacketFaultLog.h"
#include "protocol/SerialSource.h"
#include "transport/ATcpClient.h"

struct stLaneCommand_t;

// The channel on which a command waits for its answer.
enum class LaneChannel { Lane, Rsu, CardReader, List, BlackList, HeartBeat, Status, NonCash, Stop };

// The commands of the protocol, in the order of their ids (03001 to 03032); each names its row of
// the command table.
enum class LaneCommand {
  LaneLogin, LaneQuit,
  RSUOpen, RSUClose, OBUSearch, GetOBUInfo_GD, RSUWriteCard,
  CardReaderOpen, CardReaderClose, CardSearch, GetCardInfo, CardReaderWriteCard,
  ListUpLoad, ListQuery, StatusQuery, BlackListQuery, GetCardNo, HeartBeat,
  RSUWriteCard_GD, CardReaderWriteCard_GD, GetOBUInfo, GetCardInfo_GD,
  SendNonCashPay, StopNonCashPay, QueryTransDetail,
  kCount
};

// What a protocol client is built with; a member left at its default takes the library's own.
struct stLaneClientSetup_t {
  std::string logName = "client";    // names the connection in log lines ("Lane 7")
  LinkListener* listener = nullptr;  // hears when the connection comes up and when it is lost
  const WaitClock* clock = nullptr;  // times the waits for answers; null: the steady clock
  SerialSource* serials = nullptr;   // numbers the requests; null: the process-wide counter
};

class ALaneClientOper : public ATcpClient {
 public:
  ALaneClientOper();
  explicit ALaneClientOper(const stLaneClientSetup_t& setup);
  // The owner calls closeSocket() first, so that no receive thread reaches the channels.
  ~ALaneClientOper() override;

  // Every command takes the caller's JSON text and returns the result code; `out` receives the
  // answer text, the error result, or is left unchanged (busy, not written). Any thread; a second
  // request on a busy channel returns 1 at once, a request on a connection that is down returns 6
  // at once, and a request waiting for its answer returns 2 as soon as its connection goes down.

  // Lane (laneChannel)
  int LaneLogin(const char* json, std::string& out);
  int LaneQuit(const char* json, std::string& out);

  // RSU (rsuChannel)
  int RSUOpen(const char* json, std::string& out);
  int RSUClose(const char* json, std::string& out);
  int OBUSearch(const char* json, std::string& out);
  int GetOBUInfo_GD(const char* json, std::string& out);
  int RSUWriteCard(const char* json, std::string& out);
  int GetCardNo(const char* json, std::string& out);
  int RSUWriteCard_GD(const char* json, std::string& out);
  int GetOBUInfo(const char* json, std::string& out);

  // Card reader (cardReaderChannel)
  int CardReaderOpen(const char* json, std::string& out);
  int CardReaderClose(const char* json, std::string& out);
  int CardSearch(const char* json, std::string& out);
  int GetCardInfo(const char* json, std::string& out);
  int CardReaderWriteCard(const char* json, std::string& out);
  int CardReaderWriteCard_GD(const char* json, std::string& out);
  int GetCardInfo_GD(const char* json, std::string& out);

  // Lists, status, heartbeat, non-cash payment
  int ListUpLoad(const char* json, std::string& out);
  int ListQuery(const char* json, std::string& out);
  int StatusQuery(const char* json, std::string& out);
  int BlackListQuery(const char* json, std::string& out);
  int HeartBeat(const char* json, std::string& out);
  int SendNonCashPay(const char* json, std::string& out);
  int StopNonCashPay(const char* json, std::string& out);
  int QueryTransDetail(const char* json, std::string& out);

  // A command whose request is already a document (an object): checked and completed in place,
  // then sent, exactly as the text form sends the same document, without a text in between.
  int runCommand(LaneCommand command, Json::Value& request, std::string& out);

 protected:
  // The rendezvous of one command kind: the requesting thread waits on `cond`, the receive thread
  // stores the answer and notifies. Never copied or moved.
  struct Channel {
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Guarded by mtx:
    std::int32_t result = 2;                          // the answer's code; 2 while none came
    std::chrono::steady_clock::time_point startTime{};  // the deadline counts from here
    std::string respBody;                             // what the caller receives
    bool answered = false;                            // an answer with serialNo was stored
    bool waiting = false;                             // a request waits for that answer
    char serialNo[9] = {};                            // "%08d" of the pending packet; "" before any

    std::mutex mtx;
    std::condition_variable cond;                     // notify-all when an answer is stored
    std::atomic<bool> busy{false};                    // a request occupies the channel
    jsontext::StyledWriter writer;                    // the request that holds busy writes with it
  };

  // The payment channel adds the payment-result push to the answer.
  struct NonCashChannel : Channel {
    // Guarded by mtx:
    std::string tsSn;         // "NonCashTsSn" of the payment started last
    std::string payBody;      // text of the push that matched tsSn
    std::int32_t payResult = 2;
    bool pushArrived = false;  // a push with tsSn was stored
    bool payStopped = false;   // set by StopNonCashPay, cleared when a payment starts
  };

  // Receive thread only.
  void handlePackage(int cmdId, const char* data, unsigned len) override;
  // Wakes every request waiting for an answer: its connection is gone.
  void onLinkDown() override;
  // A candidate the receive scan rejected: logged with what was wrong with it.
  void handleBadPacket(const char* head, std::size_t readable, ScanSkip why) override;
  // Tells the lines about packets left out in a flood once their second is over.
  void onReceiveIdle() override;

  // Numbers one request: {OpSerialNo = n mod 10000, packet serial = n mod 100000000} of the
  // serial source's counter n (the process-wide one unless the setup gave another), which then
  // advances by one. Any thread.
  std::pair<unsigned, unsigned> incSerialSeq() { return serials_.next(); }

  // Writes the error result {"ErrMsg": message, "Result": "3"} into `out`; returns 3.
  static int makeErrorResult(const char* message, std::string& out);

  // Sends the request on the channel and waits for its answer until startTime + timeOutMs.
  // Caller threads; takes only the channel's lock, never across the write.
  int Operation(Json::Value& request, Channel& channel, unsigned timeOutMs,
                const BufView<5>& cmdId, std::string& out);

  // One channel per command kind; derived classes may look at them under their locks.
  Channel laneChannel;
  Channel rsuChannel;
  Channel cardReaderChannel;
  Channel listChannel;
  Channel blackListChannel;
  Channel heartBeatChannel;
  Channel statusChannel;
  NonCashChannel nonCashChannel;
  Channel stopChannel;

 private:
  Channel& channelOf(LaneChannel which);
  // The text form of every command: the caller's text parsed into a document, then runCommand.
  int runText(LaneCommand command, const char* json, std::string& out);
  // The two-stage payment: the answer to 03029, then the push of its result.
  int payOperation(Json::Value& request, unsigned timeOutMs, const BufView<5>& cmdId,
                   std::string& out);
  void stopPayment();
  // Resets the channel for a new request; the caller holds channel.mtx. Returns the deadline.
  std::chrono::steady_clock::time_point startRequest(Channel& channel, unsigned packetSerial,
                                                     unsigned timeOutMs) const;
  // A request whose packet was not written awaits its answer no more; returns 6.
  static int abandon(Channel& channel);
  // Stamps "OpSerialNo" and writes the styled request with the channel's writer on the connection
  // of state `link`; no lock held.
  bool sendRequest(Channel& channel, Json::Value& request, std::pair<unsigned, unsigned> serials,
                   const BufView<5>& cmdId, std::chrono::steady_clock::time_point deadline,
                   unsigned link);

  // Answer handlers, receive thread only; each locks its channel alone.
  void getLaneRespon(int cmdId, const char* data, unsigned len);
  void getRSURespon(int cmdId, const char* data, unsigned len);
  void getCARDRespon(int cmdId, const char* data, unsigned len);
  void getListUpLoadRespon(int cmdId, const char* data, unsigned len);
  void getStatusQueryRespon(int cmdId, const char* data, unsigned len);
  void getHeartBeatRespon(int cmdId, const char* data, unsigned len);
  void getBlackListRespon(int cmdId, const char* data, unsigned len);
  void getNonCashRespon(int cmdId, const char* data, unsigned len);
  void getNonCashStopRespon(int cmdId, const char* data, unsigned len);
  void getNonCashPay(int cmdId, const char* data, unsigned len);

  enum class AnswerKind { Generic, Status, Rsu, CardReader };
  // The common prologue and storing of every answer kind.
  void storeAnswer(Channel& channel, AnswerKind kind, const char* logName, const char* data,
                   unsigned len);
  // Logs why the packet of this message part reached no call, or why its call failed. Receive
  // thread; nothing is formatted unless the line is written.
  void logFault(const char* data, unsigned len, FunctionRef<std::string()> reason);

  const WaitClock& clock_;
  SerialSource& serials_;
  PacketFaultLog faults_;
  // Receive thread only: the answers are read and rewritten with these.
  jsontext::Reader answerReader_;
  jsontext::StyledWriter answerWriter_;
};
