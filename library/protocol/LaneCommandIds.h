// The command ids of the lane-server protocol with the names the lane gives them, and the member
// that names each request's operation. One table for the library's commands and for the simulator,
// which answers and prints them.
#pragma once

#include <cstddef>
#include <cstring>

namespace lanecommand {

struct Request {
  char id[6];           // five digits and a terminator, e.g. "03001"
  const char* name;     // the lane's method name
  const char* opKey;    // the member that names the operation, echoed in the answer; null: none
  const char* opValue;  // its value
};

// An answer's id is its request's plus this.
constexpr int kAnswerOffset = 100;

constexpr Request kLaneLogin{"03001", "LaneLogin", "LaneOp", "0"};
constexpr Request kLaneQuit{"03002", "LaneQuit", "LaneOp", "1"};
constexpr Request kRSUOpen{"03003", "RSUOpen", "OpType", "6"};
constexpr Request kRSUClose{"03004", "RSUClose", "OpType", "8"};
constexpr Request kOBUSearch{"03005", "OBUSearch", "OpType", "1"};
constexpr Request kGetOBUInfo_GD{"03006", "GetOBUInfo_GD", "OpType", "3"};
constexpr Request kRSUWriteCard{"03007", "RSUWriteCard", "OpType", "4"};
constexpr Request kCardReaderOpen{"03008", "CardReaderOpen", "ICReaderOP", "6"};
constexpr Request kCardReaderClose{"03009", "CardReaderClose", "ICReaderOP", "8"};
constexpr Request kCardSearch{"03010", "CardSearch", "ICReaderOP", "1"};
constexpr Request kGetCardInfo{"03011", "GetCardInfo", "ICReaderOP", "2"};
constexpr Request kCardReaderWriteCard{"03012", "CardReaderWriteCard", "ICReaderOP", "4"};
constexpr Request kListUpLoad{"03013", "ListUpLoad", "ListOP", "0"};
constexpr Request kListQuery{"03014", "ListQuery", "ListOP", "1"};
constexpr Request kStatusQuery{"03016", "StatusQuery", nullptr, nullptr};
constexpr Request kBlackListQuery{"03017", "BlackListQuery", nullptr, nullptr};
constexpr Request kGetCardNo{"03020", "GetCardNo", "OpType", "2"};
constexpr Request kHeartBeat{"03021", "HeartBeat", nullptr, nullptr};
constexpr Request kRSUWriteCard_GD{"03023", "RSUWriteCard_GD", "OpType", "4"};
constexpr Request kCardReaderWriteCard_GD{"03024", "CardReaderWriteCard_GD", "ICReaderOP", "4"};
constexpr Request kGetOBUInfo{"03025", "GetOBUInfo", "OpType", "3"};
constexpr Request kGetCardInfo_GD{"03026", "GetCardInfo_GD", "ICReaderOP", "2"};
constexpr Request kSendNonCashPay{"03029", "SendNonCashPay", "NonCashPayOp", "1"};
constexpr Request kStopNonCashPay{"03031", "StopNonCashPay", "NonCashPayOp", "2"};
constexpr Request kQueryTransDetail{"03032", "QueryTransDetail", "NonCashPayOp", "3"};

// Every request, in the order of their ids.
constexpr const Request* kRequests[] = {
    &kLaneLogin,       &kLaneQuit,       &kRSUOpen,           &kRSUClose,
    &kOBUSearch,       &kGetOBUInfo_GD,  &kRSUWriteCard,      &kCardReaderOpen,
    &kCardReaderClose, &kCardSearch,     &kGetCardInfo,       &kCardReaderWriteCard,
    &kListUpLoad,      &kListQuery,      &kStatusQuery,       &kBlackListQuery,
    &kGetCardNo,       &kHeartBeat,      &kRSUWriteCard_GD,   &kCardReaderWriteCard_GD,
    &kGetOBUInfo,      &kGetCardInfo_GD, &kSendNonCashPay,    &kStopNonCashPay,
    &kQueryTransDetail,
};
constexpr std::size_t kRequestCount = sizeof kRequests / sizeof kRequests[0];

// The server's push of a payment's outcome, and the lane's acknowledgement of it (not answered).
constexpr char kPayResultId[] = "03130";
constexpr const char* kPayResultName = "NonCashPayResult";
constexpr char kPayAckId[] = "03030";
constexpr const char* kPayAckName = "NonCashPayAck";

// The request with this id (five characters, e.g. "03014"), or null.
inline const Request* findRequest(const char* id) {
  for (const Request* r : kRequests) {
    if (std::strcmp(r->id, id) == 0) return r;
  }
  return nullptr;
}

// What a command id on the wire names, in two parts: the request's method name and "" for a request
// ("03014": ListQuery), the same and "-answer" for its answer ("03114": ListQuery-answer),
// NonCashPayResult for the payment push, NonCashPayAck for its acknowledgement, and "unknown" for
// any other id. `id` points at the five characters of the id field, terminated or not.
struct WireName {
  const char* name;
  const char* suffix;
};

constexpr const char* kUnknownName = "unknown";

inline WireName wireName(const char* id) {
  constexpr std::size_t kIdWidth = sizeof kPayResultId - 1;
  constexpr std::size_t kAnswerMarkAt = 2;  // "031xx" answers "030xx"
  char request[kIdWidth + 1] = {};
  for (std::size_t i = 0; i < kIdWidth; ++i) {
    if (id[i] == '\0') return {kUnknownName, ""};
    request[i] = id[i];
  }
  if (std::strcmp(request, kPayResultId) == 0) return {kPayResultName, ""};
  if (std::strcmp(request, kPayAckId) == 0) return {kPayAckName, ""};
  if (const Request* r = findRequest(request)) return {r->name, ""};
  if (request[kAnswerMarkAt] == '1') {
    request[kAnswerMarkAt] = '0';
    if (const Request* r = findRequest(request)) return {r->name, "-answer"};
  }
  return {kUnknownName, ""};
}

}  // namespace lanecommand
