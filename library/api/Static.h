// The library's one global object `g`: built when the library is loaded, destroyed when it is
// unloaded (on Windows both in the DLL's entry point, under the loader lock: nothing here starts
// the network runtime, which the lane manager takes with its lanes). Members are built in order
// and destroyed in reverse, so the lane manager stops its sessions while logging still exists; a
// member whose constructor throws has the earlier ones undone.
#pragma once

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
  LogHelper logHelper;
  AMvLaneClientManage laneManager;
};

// Built when the library is loaded. Destroyed when it is unloaded, except when the process ends
// with the library still loaded: the other threads are gone by then, possibly holding the locks
// of the sessions or of the logger, so g is left to the system as it is (sessions neither
// stopped nor logged out, the log file closed by the system; every line is flushed already).
extern Static& g;
