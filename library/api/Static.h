// The library's one global object `g`: built when the library is loaded, destroyed when it is
// unloaded. Members are built in order and destroyed in reverse, so the lane manager stops its
// sessions while logging and the network runtime still exist; a member whose constructor throws
// has the earlier ones undone.
#pragma once

#include "api/WsaHolder.h"
#include "logging/LogHelper.h"
#include "manager/AMvLaneClientManage.h"

class Static {
 public:
  Static() = default;
  ~Static() = default;
  Static(const Static&) = delete;
  Static& operator=(const Static&) = delete;

  // Any thread, between load and unload.
  AMvLaneClientManage& manager() { return laneManager; }

 private:
  WsaHolder wsa;
  LogHelper logHelper;
  AMvLaneClientManage laneManager;
};

extern Static g;
