// The lane manager: owns the lane table and one running session per lane that started; starts and
// stops all lanes in parallel and hands the exported functions the session of a lane number.
//
// Public interface fixed for the exported functions; the private part belongs to the manager code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Compiler.h"
#include "common/MvLaneInfo.h"
#include "platform/Platform.h"
#include "session/AMvLaneClientOper.h"

class AMvLaneClientManage {
 public:
  AMvLaneClientManage();
  virtual ~AMvLaneClientManage();  // stops every running session
  AMvLaneClientManage(const AMvLaneClientManage&) = delete;
  AMvLaneClientManage& operator=(const AMvLaneClientManage&) = delete;

  // The running session of a lane number, or an empty pointer. Any thread.
  std::shared_ptr<AMvLaneClientOper> getOper(int lane);

  // Reads and checks the configuration file; on success installs the lane table and sets `conf`
  // to its JSON summary, else sets `conf` to the reason and keeps the previous table.
  bool readMvLaneConf(std::string& conf);

  // Starts a session for every lane of the table, in parallel; true when every lane started.
  bool initalize();

  // Stops every running session, in parallel, and forgets them; waits for an initalize in progress
  // first (lock order: confMutex, then operMutex).
  void uninit();

 private:
  // One lane start thread: creates and starts the session of laneInfos[index] and stores the
  // result (never leaves it unset, never throws). Runs while initalize holds confMutex.
  MV_ENTRY_POINT void startLane(std::size_t index, int& result);
  // One stop thread. Never throws.
  MV_ENTRY_POINT static void stopLane(AMvLaneClientOper& oper);

  std::map<std::uint32_t, std::shared_ptr<AMvLaneClientOper>> opers;  // guarded by operMutex
  std::vector<stMvLaneInfo_t> laneInfos;                              // guarded by confMutex
  // Keeps the library loaded while sessions run their threads, so that unloading it without
  // Uninit leaves them running instead of unmapping their code; given back by uninit.
  platform::ModuleReference keepLoaded;                               // guarded by operMutex
  // The network runtime, started for the lanes on the thread that starts them; given back by uninit.
  platform::NetworkRuntime network;                                   // guarded by operMutex
  std::mutex operMutex;
  std::mutex confMutex;
};
