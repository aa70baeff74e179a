// Shared by the session and manager tests: a lane configuration aimed at a simulator, and the
// global logger a test can read back.
#pragma once

#include <string>

#include "LogCapture.h"
#include "common/MvLaneInfo.h"

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

using testsupport::LogCapture;

}  // namespace sessiontest
