// The lane servers of the soak: both lanes' simulators in the program marovex_soak_server, a
// process of its own started here and driven through its input and output
// (SoakServerProtocol.h), so that the soak's census counts the library and not the simulators.
// One thread uses the object; the process ends with it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ChildProcess.h"
#include "SoakServerProtocol.h"

namespace soak {

class SoakServers {
 public:
  explicit SoakServers(const std::string& program);
  SoakServers(const SoakServers&) = delete;
  SoakServers& operator=(const SoakServers&) = delete;

  // Both servers listen: the first time on free ports, then on the same ones again. False, with
  // the reason in error(), when one cannot (or the program is not there).
  bool listen();
  // Both close every connection and stop listening.
  bool stop();
  // The faults of both: a scenario's "Faults" object as JSON text, "{}" for none.
  bool setFaults(const std::string& faults);
  // The payment pushes and their acknowledgements of each lane's server; `take` makes the servers
  // forget the records as LaneSimulator::takePushAcks does.
  bool acks(bool take, ServerAcks& out);

  // The port of server `index` (0 or 1) once it listened.
  std::uint16_t port(std::size_t index) const { return ports_[index]; }
  const std::string& error() const { return error_; }

 private:
  // Sends the command and reads its answer; true for "ok", with what follows it in *rest.
  bool ask(const std::string& command, std::string* rest = nullptr);

  ChildProcess process_;
  std::array<std::uint16_t, kLaneServers> ports_{};
  std::string error_;
};

}  // namespace soak
