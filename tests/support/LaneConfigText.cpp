#include "LaneConfigText.h"

namespace testsupport {

std::string globalSectionText(std::size_t laneCount, const std::string& logDir) {
  return "[Global]\nMvLaneNum=" + std::to_string(laneCount) + "\nLogDir=" + logDir +
         "\nLogKeepDays=30\n";
}

std::string laneConfigText(const std::vector<LaneConfig>& lanes, const std::string& logDir) {
  std::string text = globalSectionText(lanes.size(), logDir);
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    const LaneConfig& lane = lanes[i];
    text += "[MvLane" + std::to_string(i) +
            "]\nIpAddr=127.0.0.1\nPort=" + std::to_string(lane.port) + "\nUserName=user" +
            std::to_string(lane.laneNo) +
            "\nPassWord=pw\nProvinceNo=44\nCityNo=1\nAreaNo=101\nGateNo=2\nLaneNo=" +
            std::to_string(lane.laneNo) + "\nHeartBeatTime=" + std::to_string(lane.heartBeatTime) +
            "\nTimeOut=" + std::to_string(lane.timeOut) + "\nRSUID=" + std::to_string(lane.rsuId) +
            "\nReaderID=" + std::to_string(lane.readerId) +
            "\nAutoLogout=" + std::to_string(lane.autoLogout) + "\n";
  }
  return text;
}

}  // namespace testsupport
