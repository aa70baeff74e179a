// The simulator's default answers: what a lane server plausibly sends for each request id.
// Pure functions of the request, the settings and the time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <json/json.h>

#include "SimScenario.h"
#include "platform/Platform.h"
#include "protocol/LaneCommandIds.h"

namespace simanswers {

constexpr const char* kPaymentId = lanecommand::kSendNonCashPay.id;  // answered, then pushed
constexpr const char* kPushId = lanecommand::kPayResultId;  // the payment-result push
constexpr const char* kAckId = lanecommand::kPayAckId;      // the lane's acknowledgement; not answered
constexpr unsigned kSerialModulus = 100000000;  // serials are 8 decimal digits

// Ids a lane does not answer or know, for floods of unknown packets.
constexpr const char* kUnknownIds[] = {"03118", "03119", "03122", "03100", "03150"};
constexpr std::size_t kUnknownIdCount = sizeof kUnknownIds / sizeof kUnknownIds[0];

// True when an answer body accepts a payment: a JSON object whose "ErrorCode" is the string "0".
bool acceptsPayment(const std::string& answerBody);

// True for the ids the simulator answers: 03001 to 03032, except the acknowledgement 03030.
bool isRequestId(const std::string& cmdId);
// The answer's id for a request id: "03001" gives "03101".
std::string answerId(const std::string& requestId);

// The default answer to a request (which may be null or not an object when the body was not JSON).
// `tradeNo` (growing with every answer) numbers the write transactions; `now` stamps the time members.
Json::Value answer(const std::string& requestId, const Json::Value& request,
                   const SimSettings& settings, unsigned tradeNo, const platform::LocalTime& now);

// The default payment-result push for a payment request.
Json::Value push(const Json::Value& request);

// Sets every member of `members` (an object, or null for none) in `doc`, then removes `remove`.
void applyOverrides(Json::Value& doc, const Json::Value& members,
                    const std::vector<std::string>& remove);

// The bytes of a text as upper-case hex pairs, filled up with '0' to `width` characters
// (cut to `width` when longer).
std::string plateHex(const std::string& plate, std::size_t width);

// "%04d-%02d-%02d %02d:%02d:%02d"
std::string timeText(const platform::LocalTime& t);

}  // namespace simanswers
