// The text of a configuration file for lanes served on loopback, as the tests write it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One lane of a configuration file.
struct LaneConfig {
  int laneNo = 1;
  std::uint16_t port = 0;
  int rsuId = -1;
  int readerId = -1;
  int heartBeatTime = 120;  // long, so that the status document stays as Init left it
  int timeOut = 1;
  int autoLogout = 0;
};

// The "Global" section for `laneCount` lanes logging into `logDir`.
std::string globalSectionText(std::size_t laneCount, const std::string& logDir);
// A whole file: the "Global" section and one section per lane, all at 127.0.0.1.
std::string laneConfigText(const std::vector<LaneConfig>& lanes, const std::string& logDir);

}  // namespace testsupport
