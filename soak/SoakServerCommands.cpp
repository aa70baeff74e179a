#include "SoakServerCommands.h"

#include <json/json.h>

#include "SimFaults.h"
#include "common/JsonText.h"

namespace soak {

namespace {

constexpr const char* kLoopback = "127.0.0.1";

std::string errorAnswer(const std::string& reason) { return "error " + reason; }

}  // namespace

SoakServerCommands::SoakServerCommands(std::array<LaneSimulator, kLaneServers>& sims) : sims_(sims) {
  for (LaneSimulator& sim : sims_) sim.setRecording(false);
}

std::string SoakServerCommands::run(const std::string& line) {
  const auto space = line.find(' ');
  const std::string command = line.substr(0, space);
  const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
  if (command == "listen") return listen();
  if (command == "stop") {
    for (LaneSimulator& sim : sims_) sim.stop();
    return "ok";
  }
  if (command == "faults") return faults(argument);
  if (command == "acks") return acks(false);
  if (command == "take-acks") return acks(true);
  return errorAnswer("unknown command \"" + command + "\"");
}

std::string SoakServerCommands::listen() {
  std::string answer = "ok";
  for (std::size_t i = 0; i < sims_.size(); ++i) {
    std::string why;
    if (!sims_[i].start(kLoopback, ports_[i], &why)) {
      return errorAnswer("server " + std::to_string(i + 1) + " cannot listen on port " +
                         std::to_string(ports_[i]) + ": " + why);
    }
    ports_[i] = sims_[i].port();
    answer += ' ' + std::to_string(ports_[i]);
  }
  return answer;
}

std::string SoakServerCommands::faults(const std::string& json) {
  Json::Value doc;
  SimFaultPlan plan;
  std::string why;
  if (!jsontext::parse(json, doc)) return errorAnswer("the faults are not JSON");
  if (!simfaults::parse(doc, plan, &why)) return errorAnswer(why);
  for (LaneSimulator& sim : sims_) sim.setFaults(plan);
  return "ok";
}

std::string SoakServerCommands::acks(bool take) {
  ServerAcks acks;
  for (std::size_t i = 0; i < sims_.size(); ++i) {
    acks[i].stray = sims_[i].strayAcks();
    acks[i].pushes = take ? sims_[i].takePushAcks() : sims_[i].pushAcks();
  }
  return "ok " + acksText(acks);
}

}  // namespace soak
