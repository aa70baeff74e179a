#include "protocol/PacketFaultLog.h"

#include <utility>

#include "logging/Logger.h"
#include "protocol/LaneCommandIds.h"
#include "transport/Packet.h"
#include "transport/PacketFault.h"

namespace {
constexpr std::chrono::milliseconds kWindow{1000};
}

PacketFaultLog::PacketFaultLog(std::string laneName, const WaitClock& clock)
    : lane_(std::move(laneName)), limiter_(clock, kLinesPerSecond, kWindow) {}

void PacketFaultLog::write(const char* cmdId, const char* serial,
                           FunctionRef<std::string()> reason) {
  if (Logger::global() == nullptr) return;
  std::uint64_t leftOut = 0;
  bool admitted = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    leftOut = limiter_.takeLeftOut();
    admitted = limiter_.admit();
  }
  writeLeftOut(leftOut);
  if (!admitted) return;
  const lanecommand::WireName name = lanecommand::wireName(cmdId);
  logLine('E', "%s: %s %s%s %s: %s\n", lane_.c_str(),
          packetfault::printable(cmdId, packet::kCmdIdWidth).c_str(), name.name, name.suffix,
          packetfault::printable(serial, packet::kFieldWidth).c_str(), reason().c_str());
}

void PacketFaultLog::flush() {
  std::uint64_t leftOut = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    leftOut = limiter_.takeLeftOut();
  }
  writeLeftOut(leftOut);
}

void PacketFaultLog::writeLeftOut(std::uint64_t count) const {
  if (count == 0) return;
  logLine('E', "%s: %llu more lines like these left out (%u a second at most)\n", lane_.c_str(),
          static_cast<unsigned long long>(count), kLinesPerSecond);
}
