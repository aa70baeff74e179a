// How the simulator and the forwarder print a packet: one line with the direction, the
// connection's number, the command id and its name, the serial field and the body.
#pragma once

#include <string>

namespace simtext {

// The name of a command id: the request's method name for a request ("03001" LaneLogin), the same
// with "-answer" for its answer ("03101" LaneLogin-answer), NonCashPayResult for the payment push
// 03130, NonCashPayAck for the lane's acknowledgement 03030, and "unknown" for any other id.
std::string commandName(const std::string& cmdId);

// The body on one line: compact JSON when it is a JSON object or array, else the text with
// control characters escaped (\n, \t, \xHH).
std::string oneLine(const std::string& body);

// "DIRECTION CONNECTION ID NAME SERIAL BODY", the connection by its printed name ("#1"), the
// serial as 8 digits; a remark (such as an answer's latency) goes before the body.
std::string packetLine(const std::string& direction, const std::string& connection,
                       const std::string& cmdId, unsigned serial, const std::string& body,
                       const std::string& remark = std::string());

// The 8-character serial field of a packet; anything but 8 decimal digits reads as 0.
unsigned serialOf(const char* field);

}  // namespace simtext
