// lanesim: the lane-server simulator as a program, for integrators and manual tests.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "LaneSimulator.h"
#include "platform/Platform.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr unsigned long kMaxPort = 65535;
constexpr std::chrono::milliseconds kStopPoll{100};
constexpr const char* kDefaultHost = "127.0.0.1";

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int) { stopRequested.store(true); }

const char kUsage[] =
    "usage: lanesim [--listen HOST:PORT] [--scenario FILE]\n"
    "  --listen HOST:PORT  address to listen on (default 127.0.0.1:0; port 0 picks a free port)\n"
    "  --scenario FILE     JSON scenario: per-command answers, delays, pushes, card number, faults\n"
    "Prints \"lanesim listening on HOST:PORT\" once listening, then one line per packet.\n"
    "Stops on SIGINT or SIGTERM.\n";

int usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "lanesim: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

// "HOST:PORT" with a dotted IPv4 host and a decimal port.
bool parseListen(const std::string& text, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  const std::string portText = text.substr(colon + 1);
  if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const unsigned long value = std::stoul(portText);
  if (value > kMaxPort) return false;
  host = text.substr(0, colon);
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = kDefaultHost;
  std::uint16_t port = 0;
  std::string scenario;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if ((arg == "--listen" || arg == "--scenario") && i + 1 >= argc) {
      return usage(arg + " needs a value");
    }
    if (arg == "--listen") {
      if (!parseListen(argv[++i], host, port)) return usage("bad --listen value: " + std::string(argv[i]));
    } else if (arg == "--scenario") {
      scenario = argv[++i];
    } else {
      return usage("unknown argument: " + arg);
    }
  }

  platform::networkStartup();
  int status = 0;
  {
    LaneSimulator sim;
    if (!scenario.empty()) {
      std::string error;
      if (!sim.loadScenarioFile(scenario, &error)) {
        std::cerr << "lanesim: " << error << '\n';
        platform::networkCleanup();
        return kExitFailure;
      }
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    sim.setEcho(&std::cout);
    sim.setRecording(false);
    if (!sim.start(host, port)) {
      std::cerr << "lanesim: cannot listen on " << host << ':' << port << '\n';
      status = kExitFailure;
    } else {
      std::cout << "lanesim listening on " << host << ':' << sim.port() << std::endl;
      while (!stopRequested.load()) std::this_thread::sleep_for(kStopPoll);
      sim.stop();
      sim.setEcho(nullptr);
    }
  }
  platform::networkCleanup();
  return status;
}
