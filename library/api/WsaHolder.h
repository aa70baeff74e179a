// Keeps the process's network runtime started for as long as it lives.
#pragma once

class WsaHolder {
 public:
  WsaHolder();
  ~WsaHolder();
  WsaHolder(const WsaHolder&) = delete;
  WsaHolder& operator=(const WsaHolder&) = delete;
};
