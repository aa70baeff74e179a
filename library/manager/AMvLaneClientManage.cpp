#include "manager/AMvLaneClientManage.h"

#include <exception>
#include <thread>
#include <utility>

#include "common/ConfigPath.h"
#include "common/ResultCodes.h"
#include "logging/Logger.h"
#include "manager/MvLaneConf.h"

namespace {

// Logs why a lane could not be started, from a place that must not throw.
void logStartFailure(std::size_t index, const char* what) noexcept {
  try {
    logLine('E', "Lane %d start failed: %s\n", static_cast<int>(index), what);
  } catch (...) {
  }
}

}  // namespace

AMvLaneClientManage::AMvLaneClientManage() = default;

AMvLaneClientManage::~AMvLaneClientManage() {
  try {
    uninit();
  } catch (...) {
  }
}

std::shared_ptr<AMvLaneClientOper> AMvLaneClientManage::getOper(int lane) {
  std::lock_guard<std::mutex> lock(operMutex);
  auto found = opers.find(static_cast<std::uint32_t>(lane));
  return found == opers.end() ? nullptr : found->second;
}

bool AMvLaneClientManage::readMvLaneConf(std::string& conf) {
  std::vector<stMvLaneInfo_t> lanes;
  if (!readMvLaneTable(configFilePath(), lanes, conf)) return false;
  std::lock_guard<std::mutex> lock(confMutex);
  laneInfos.swap(lanes);
  return true;
}

bool AMvLaneClientManage::initalize() {
  std::lock_guard<std::mutex> lock(confMutex);
  // Serves the lanes while they start; a lane that started takes its own share.
  const platform::NetworkRuntime starting = platform::NetworkRuntime::start();
  const std::size_t count = laneInfos.size();
  std::vector<int> results(count, result::kOk);
  std::vector<std::thread> threads(count);
  for (std::size_t j = 0; j < count; ++j) {
    try {
      threads[j] = std::thread(&AMvLaneClientManage::startLane, this, j, std::ref(results[j]));
    } catch (const std::exception& e) {
      results[j] = result::kInitFailed;
      logStartFailure(j, e.what());
    }
  }
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
  bool allStarted = true;
  for (std::size_t l = 0; l < count; ++l) {
    if (results[l] == result::kOk) continue;
    allStarted = false;
    logLine('E', "Lane %d Initialize failure, ErrorCode=%d\n", static_cast<int>(l), results[l]);
  }
  return allStarted;
}

void AMvLaneClientManage::startLane(std::size_t index, int& result) {
  int started = result::kInitFailed;
  try {
    const stMvLaneInfo_t& info = laneInfos[index];
    auto oper = std::make_shared<AMvLaneClientOper>(info);
    started = oper->Init();
    if (started == result::kOk) {
      // The session this one replaces stops outside the lock, so getOper is not held up by it,
      // and at once, even while calls still hold it: their waits end with its connection.
      std::shared_ptr<AMvLaneClientOper> previous;
      {
        std::lock_guard<std::mutex> lock(operMutex);
        std::shared_ptr<AMvLaneClientOper>& slot = opers[info.LaneNo];
        previous = std::exchange(slot, std::move(oper));
        if (!keepLoaded.held()) keepLoaded = platform::ModuleReference::toThisModule();
        if (!network.held()) network = platform::NetworkRuntime::start();
      }
      if (previous) stopLane(*previous);
    }
  } catch (const std::exception& e) {
    started = result::kInitFailed;
    logStartFailure(index, e.what());
  } catch (...) {
    started = result::kInitFailed;
    logStartFailure(index, "unknown exception");
  }
  result = started;
}

void AMvLaneClientManage::stopLane(AMvLaneClientOper& oper) {
  try {
    oper.Uninit();
  } catch (...) {
  }
}

void AMvLaneClientManage::uninit() {
  // An Init in progress finishes first, so that no lane it starts is left running afterwards.
  std::lock_guard<std::mutex> confLock(confMutex);
  std::lock_guard<std::mutex> lock(operMutex);
  std::vector<std::thread> threads;
  threads.reserve(opers.size());
  for (auto& entry : opers) {
    AMvLaneClientOper& oper = *entry.second;
    try {
      threads.emplace_back(&AMvLaneClientManage::stopLane, std::ref(oper));
    } catch (...) {
      stopLane(oper);  // no thread to be had: stop this one here
    }
  }
  for (std::thread& thread : threads) thread.join();
  opers.clear();
  network.reset();
  // Every session thread has been joined. The caller holds its own reference while it calls, so
  // this one is not the last.
  keepLoaded.reset();
}
