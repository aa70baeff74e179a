#include "Recovery.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LaneSimulator.h"
#include "LibraryBinding.h"

namespace recovery {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "127.0.0.1";
constexpr int kOutputCapacity = 64 * 1024;
constexpr std::chrono::milliseconds kRetryEvery{1};

void writeConfig(std::uint16_t port, int heartBeatSeconds) {
  std::filesystem::create_directories("EtcConfig");
  std::ofstream ini("EtcConfig/Marovex.ini", std::ios::trunc);
  ini << "[Global]\nLogDir=log\nLogKeepDays=30\nMvLaneNum=1\n[MvLane0]\nIpAddr=" << kHost
      << "\nPort=" << port << "\nUserName=bench\nPassWord=pw\nProvinceNo=44\nCityNo=1\nAreaNo=101\n"
      << "GateNo=2\nLaneNo=1\nHeartBeatTime=" << heartBeatSeconds
      << "\nTimeOut=1\nRSUID=0\nReaderID=1\nAutoLogout=0\n";
}

}  // namespace

std::vector<double> measure(const Plan& plan) {
  LaneSimulator sim;
  sim.setRecording(false);
  if (!sim.start(kHost)) return {};
  const std::uint16_t port = sim.port();
  writeConfig(port, plan.heartBeatSeconds);
  LibraryBinding binding(plan.lib);
  if (!binding.ok()) {
    std::fprintf(stderr, "e2e_bench: %s\n", binding.error().c_str());
    return {};
  }
  std::vector<char> out(kOutputCapacity);
  int len = kOutputCapacity;
  if (binding.init(out.data(), &len) != 0) {
    std::fprintf(stderr, "e2e_bench: Init failed: %s\n", out.data());
    return {};
  }
  const MarovexOperationFn listQuery = binding.operation("ListQuery");
  const auto answered = [&] {
    int size = kOutputCapacity;
    return listQuery(1, "{}", out.data(), &size) == 0;
  };
  const std::chrono::seconds period(plan.heartBeatSeconds);
  std::vector<double> samples;
  for (int round = 0; round < plan.rounds; ++round) {
    // A connection that stayed up for a heartbeat period: the lane's back-off starts afresh.
    std::this_thread::sleep_for(period);
    sim.stop();
    std::this_thread::sleep_for(plan.down);
    const auto back = Clock::now();
    if (!sim.start(kHost, port)) break;
    // Generous: a lane that only reconnects at its heartbeat serves within two periods.
    const auto limit = back + 2 * period + std::chrono::seconds(1);
    while (!answered() && Clock::now() < limit) std::this_thread::sleep_for(kRetryEvery);
    const auto served = Clock::now();
    if (served >= limit) break;
    samples.push_back(std::chrono::duration<double, std::milli>(served - back).count());
  }
  binding.uninit();
  if (static_cast<int>(samples.size()) != plan.rounds) samples.clear();
  return samples;
}

}  // namespace recovery
