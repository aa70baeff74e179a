// How the soak drives its lane servers' program (marovex_soak_server, SoakServerCommands): one
// command a line on its input, one answer a line on its output, "ok" or "error REASON" first.
//   listen          both servers listen: the first time on free ports, later on the same ones
//                   -> "ok PORT1 PORT2"
//   stop            both close every connection and stop listening -> "ok"
//   faults JSON     the faults of both, JSON as a scenario's "Faults" object ("{}": none) -> "ok"
//   acks            each server's payment pushes with the acknowledgements counted for them, as
//                   LaneSimulator::pushAcks, and its stray acknowledgements -> "ok ACKS"
//   take-acks       the same, after which the servers forget the records as
//                   LaneSimulator::takePushAcks does
// ACKS is one line of JSON: [{"pushes":{"TSSN":COUNT,...},"stray":N}, ...], a member per server.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>

namespace soak {

constexpr std::size_t kLaneServers = 2;

struct LaneAcks {
  std::map<std::string, int> pushes;  // by "NonCashTsSn": the acknowledgements counted
  std::size_t stray = 0;              // acknowledgements that matched no push
};
using ServerAcks = std::array<LaneAcks, kLaneServers>;

std::string acksText(const ServerAcks& acks);
// False when the text is not that of acksText.
bool parseAcks(const std::string& text, ServerAcks& acks);

}  // namespace soak
