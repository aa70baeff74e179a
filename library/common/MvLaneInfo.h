// One lane's configuration, as read from its MvLaneN section.
#pragma once

#include <cstdint>
#include <string>

struct stMvLaneInfo_t {
  std::string IpAddr;
  std::uint16_t Port = 1024;
  std::string UserName;
  std::string PassWord;
  std::uint16_t ProvinceNo = 0;
  std::uint16_t CityNo = 0;
  std::uint16_t AreaNo = 0;
  std::uint16_t GateNo = 0;
  std::uint16_t LaneNo = 0;
  std::uint16_t HeartBeatTime = 1;  // seconds
  std::uint16_t TimeOut = 1;        // seconds
  std::int16_t RSUID = -1;          // negative: no RSU
  std::int16_t ReaderID = -1;       // negative: no card reader
  std::uint16_t AutoLogout = 0;     // 1: log out when the lane stops
};
