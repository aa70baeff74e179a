// The protocol client of one lane: every command of the lane-server protocol, the channels that
// pair each request with its answer, and the dispatch of received packets.
//
// Public interface fixed for the lane session; the private part belongs to the protocol code.
#pragma once

#include <string>

#include "transport/ATcpClient.h"

class ALaneClientOper : public ATcpClient {
 public:
  ALaneClientOper();
  // The owner calls closeSocket() first, so that no receive thread reaches the channels.
  ~ALaneClientOper() override;

  // Every command takes the caller's JSON text and returns the result code; `out` receives the
  // answer text, the error result, or is left unchanged (busy, not written). Any thread; a second
  // request on a busy channel returns 1 at once.

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

 protected:
  void handlePackage(int cmdId, const char* data, unsigned len) override;
};
