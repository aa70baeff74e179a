// marovex_soak_server: the lane servers of the soak, two lane-server simulators in a process of
// their own, driven by the soak one command a line on the standard input (SoakServerCommands.h);
// every answer is one line on the standard output. Ends at the end of its input.
#include <array>
#include <iostream>
#include <string>

#include "LaneSimulator.h"
#include "SoakServerCommands.h"
#include "platform/Platform.h"

int main() {
  const platform::NetworkRuntime network = platform::NetworkRuntime::start();
  std::array<LaneSimulator, soak::kLaneServers> sims;
  soak::SoakServerCommands commands(sims);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::cout << commands.run(line) << std::endl;
  }
  for (LaneSimulator& sim : sims) sim.stop();
  return 0;
}
