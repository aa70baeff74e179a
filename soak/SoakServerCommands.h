// The commands of the soak's lane servers' program on its two simulators (SoakServerProtocol.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "LaneSimulator.h"
#include "SoakServerProtocol.h"

namespace soak {

class SoakServerCommands {
 public:
  // The simulators keep no packets from here on; they are not started.
  explicit SoakServerCommands(std::array<LaneSimulator, kLaneServers>& sims);

  // Runs one command line and gives its answer line (no line feed). One thread.
  std::string run(const std::string& line);

 private:
  std::string listen();
  std::string faults(const std::string& json);
  std::string acks(bool take);

  std::array<LaneSimulator, kLaneServers>& sims_;
  std::array<std::uint16_t, kLaneServers> ports_{};  // 0 until the first listen
};

}  // namespace soak
