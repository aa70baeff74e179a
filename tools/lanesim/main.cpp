// lanesim: the lane-server simulator as a program, for integrators and manual tests; with
// --forward, a decoding proxy in front of a real lane server.
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

#include "LaneSimulator.h"
#include "SimForwarder.h"
#include "platform/Platform.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr unsigned long kMaxPort = 65535;
constexpr unsigned long kMaxOctet = 255;
constexpr std::size_t kOctets = 4;
constexpr std::size_t kMaxOctetDigits = 3;
constexpr std::chrono::milliseconds kStopPoll{100};
constexpr const char* kDefaultHost = "127.0.0.1";

std::atomic<bool> stopRequested{false};

// The network runtime of the process, for as long as the object lives.
class NetworkRuntime {
 public:
  NetworkRuntime() { platform::networkStartup(); }
  ~NetworkRuntime() { platform::networkCleanup(); }
  NetworkRuntime(const NetworkRuntime&) = delete;
  NetworkRuntime& operator=(const NetworkRuntime&) = delete;
};

extern "C" void onStopSignal(int) { stopRequested.store(true); }

const char kUsage[] =
    "usage: lanesim [--listen HOST:PORT] [--scenario FILE]\n"
    "       lanesim --forward HOST:PORT [--listen HOST:PORT] [--scenario FILE] [--summary]\n"
    "               [--record FILE]\n"
    "  --listen HOST:PORT   address to listen on (default 127.0.0.1:0; port 0 picks a free port)\n"
    "  --scenario FILE      JSON scenario: per-command answers, delays, pushes, card number, faults\n"
    "  --forward HOST:PORT  pass every byte on to the lane server at this IPv4 address and back,\n"
    "                       printing each packet with the time, an answer with its latency, and\n"
    "                       flags; a scenario then holds only Faults (what goes to the lane) and\n"
    "                       ServerFaults (what goes to the server)\n"
    "  --summary            with --forward: at exit, per connection and command, the requests,\n"
    "                       answers, median and worst latency, and flags\n"
    "  --record FILE        with --forward: write what the server sends back, as it forwards, as\n"
    "                       a scenario that lanesim --scenario FILE replays without the server\n"
    "Prints \"lanesim listening on HOST:PORT\" once listening, then one line per packet.\n"
    "Stops on SIGINT or SIGTERM.\n";

int usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "lanesim: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

bool isNumber(const std::string& text, std::size_t maxDigits) {
  return !text.empty() && text.size() <= maxDigits &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// Four decimal numbers from 0 to 255 separated by dots.
bool isDottedIPv4(const std::string& host) {
  std::size_t start = 0;
  for (std::size_t octet = 0; octet < kOctets; ++octet) {
    const std::size_t dot = octet + 1 < kOctets ? host.find('.', start) : host.size();
    if (dot == std::string::npos) return false;
    const std::string part = host.substr(start, dot - start);
    if (!isNumber(part, kMaxOctetDigits) || std::stoul(part) > kMaxOctet) return false;
    start = dot + 1;
  }
  return true;
}

// "HOST:PORT" with a decimal port.
bool parseAddress(const std::string& text, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string portText = text.substr(colon + 1);
  if (!isNumber(portText, 5)) return false;
  const unsigned long value = std::stoul(portText);
  if (value > kMaxPort) return false;
  host = text.substr(0, colon);
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Loads the scenario, listens, prints the address and serves until a stop signal; then stops and
// runs `atExit` while the log still goes to the standard output.
template <typename Server>
int serve(Server& server, const std::string& scenario, const std::string& host, std::uint16_t port,
          const std::string& role, const std::function<void()>& atExit = nullptr) {
  if (!scenario.empty()) {
    std::string error;
    if (!server.loadScenarioFile(scenario, &error)) {
      std::cerr << "lanesim: " << error << '\n';
      return kExitFailure;
    }
  }
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  server.setEcho(&std::cout);
  std::string why;
  if (!server.start(host, port, &why)) {
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    std::cerr << "lanesim: cannot listen on " << host << ':' << port << ": " << why << '\n';
    server.setEcho(nullptr);
    return kExitFailure;
  }
  std::cout << "lanesim listening on " << host << ':' << server.port() << role << std::endl;
  while (!stopRequested.load()) std::this_thread::sleep_for(kStopPoll);
  server.stop();
  if (atExit) atExit();
  server.setEcho(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = kDefaultHost;
  std::uint16_t port = 0;
  std::string scenario;
  std::string serverHost;
  std::uint16_t serverPort = 0;
  bool summary = false;
  std::string record;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--summary") {
      summary = true;
      continue;
    }
    if ((arg == "--listen" || arg == "--scenario" || arg == "--forward" || arg == "--record") && i + 1 >= argc) {
      return usage(arg + " needs a value");
    }
    if (arg == "--listen") {
      const std::string value = argv[++i];
      if (!parseAddress(value, host, port) || !isDottedIPv4(host)) {
        return usage("bad --listen value (a dotted IPv4 address and a port): " + value);
      }
    } else if (arg == "--scenario") {
      scenario = argv[++i];
    } else if (arg == "--record") {
      record = argv[++i];
    } else if (arg == "--forward") {
      const std::string value = argv[++i];
      if (!parseAddress(value, serverHost, serverPort) || !isDottedIPv4(serverHost) || serverPort == 0) {
        return usage("bad --forward value (a dotted IPv4 address and a port): " + value);
      }
    } else {
      return usage("unknown argument: " + arg);
    }
  }
  if (summary && serverHost.empty()) return usage("--summary needs --forward");
  if (!record.empty() && serverHost.empty()) return usage("--record needs --forward");

  const NetworkRuntime network;
  if (serverHost.empty()) {
    LaneSimulator sim;
    sim.setRecording(false);
    return serve(sim, scenario, host, port, "");
  }
  SimForwarder forwarder(serverHost, serverPort);
  std::string error;
  if (!record.empty() && !forwarder.recordTo(record, &error)) {
    std::cerr << "lanesim: " << error << '\n';
    return kExitFailure;
  }
  return serve(forwarder, scenario, host, port, ", forwarding to " + serverHost + ':' + std::to_string(serverPort),
               [&] {
                 if (summary) forwarder.writeSummary();
               });
}
