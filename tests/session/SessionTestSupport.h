// Shared by the session and manager tests: a lane configuration aimed at a simulator and a global
// logger whose lines a test can read back.
#pragma once

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "logging/Logger.h"
#include "manager/MvLaneInfo.h"

namespace sessiontest {

constexpr char kLoopback[] = "127.0.0.1";

inline stMvLaneInfo_t laneAt(unsigned short port) {
  stMvLaneInfo_t info;
  info.IpAddr = kLoopback;
  info.Port = port;
  info.UserName = "operator";
  info.PassWord = "PassWord";
  info.ProvinceNo = 44;
  info.CityNo = 1;
  info.AreaNo = 101;
  info.GateNo = 2;
  info.LaneNo = 7;
  info.HeartBeatTime = 1;
  info.TimeOut = 1;
  return info;
}

// Installs a logger writing into a scratch directory as the global logger for its lifetime.
class LogCapture {
 public:
  LogCapture() : logger_("Marovex", dir_.path(), 30) { Logger::setGlobal(&logger_); }
  ~LogCapture() { Logger::setGlobal(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything logged so far (all day files, in case the test runs over midnight).
  std::string text() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      all += testsupport::readFile(entry.path().string());
    return all;
  }

  // Lines ending in `suffix` (the logger's prefix differs line by line).
  int count(const std::string& suffix) const {
    const std::string all = text();
    int n = 0;
    std::size_t begin = 0;
    while (begin < all.size()) {
      std::size_t end = all.find('\n', begin);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(begin, end - begin) + "\n";
      if (line.size() >= suffix.size() &&
          line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
        ++n;
      begin = end + 1;
    }
    return n;
  }

 private:
  testsupport::ScratchDir dir_;
  Logger logger_;
};

}  // namespace sessiontest
