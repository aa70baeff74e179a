// How soon a lane serves again after its lane server restarts: the time from the server's return
// to the lane's first answered call, measured against an in-process simulator that stops
// listening for a while and comes back on the same port.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace recovery {

struct Plan {
  std::string lib;                        // the library to load
  int rounds = 5;
  std::chrono::milliseconds down{2000};   // how long the server is away
  int heartBeatSeconds = 3;               // the lane's HeartBeatTime
};

// Writes the lane's configuration into the current directory, starts it, restarts the server
// `rounds` times and returns each round's recovery in milliseconds; empty when the lane could not
// be started or did not serve again within two heartbeat periods and a second after a return.
std::vector<double> measure(const Plan& plan);

}  // namespace recovery
