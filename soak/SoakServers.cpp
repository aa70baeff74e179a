#include "SoakServers.h"

#include <sstream>

namespace soak {

SoakServers::SoakServers(const std::string& program) : process_(program) {
  if (!process_.started()) error_ = process_.error();
}

bool SoakServers::listen() {
  std::string rest;
  if (!ask("listen", &rest)) return false;
  std::istringstream ports(rest);
  for (std::uint16_t& port : ports_) {
    if (!(ports >> port)) {
      error_ = "the servers answered listen with \"" + rest + "\"";
      return false;
    }
  }
  return true;
}

bool SoakServers::stop() { return ask("stop"); }

bool SoakServers::setFaults(const std::string& faults) { return ask("faults " + faults); }

bool SoakServers::acks(bool take, ServerAcks& out) {
  std::string rest;
  if (!ask(take ? "take-acks" : "acks", &rest)) return false;
  if (parseAcks(rest, out)) return true;
  error_ = "the servers' acknowledgements do not read: " + rest;
  return false;
}

bool SoakServers::ask(const std::string& command, std::string* rest) {
  if (!process_.started()) return false;
  std::string answer;
  if (!process_.writeLine(command) || !process_.readLine(answer)) {
    error_ = "the servers' program ended (at \"" + command.substr(0, command.find(' ')) + "\")";
    return false;
  }
  const std::string ok = "ok";
  if (answer.compare(0, ok.size(), ok) != 0 || (answer.size() > ok.size() && answer[ok.size()] != ' ')) {
    error_ = answer;
    return false;
  }
  if (rest != nullptr) *rest = answer.size() > ok.size() ? answer.substr(ok.size() + 1) : "";
  return true;
}

}  // namespace soak
