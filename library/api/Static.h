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

// Built when the library is loaded. Destroyed when it is unloaded, except when the process ends
// with the library still loaded: the other threads are gone by then, possibly holding the locks
// of the sessions or of the logger, so g is left to the system as it is (sessions neither
// stopped nor logged out, the log file closed by the system; every line is flushed already).
extern Static& g;
