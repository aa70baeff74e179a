#include "api/CallBoundary.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "api/LargeOutput.h"
#include "common/ResultCodes.h"
#include "logging/Logger.h"
#include "manager/AMvLaneClientManage.h"

namespace boundary {
namespace {

// Numbers the counted calls (Init and the operations that reach a session) for the log.
std::atomic<std::uint32_t> callSerial{0};

std::uint32_t takeSerial() { return callSerial.fetch_add(1, std::memory_order_relaxed); }

// The one place where an exception behind the boundary is stopped.
template <typename Work>
int guarded(Work&& work) noexcept {
  try {
    return std::forward<Work>(work)();
  } catch (...) {
    return result::kException;
  }
}

// *pLen counts the terminator, so a text of length n fits when n < *pLen.
bool fits(const std::string& text, int capacity) {
  return static_cast<long long>(text.size()) < static_cast<long long>(capacity);
}

// The capacity a text needs, terminator included.
int capacityFor(const std::string& text) {
  return text.size() >= static_cast<std::size_t>(INT_MAX) ? INT_MAX
                                                          : static_cast<int>(text.size()) + 1;
}

void copyOut(const std::string& text, char* out) {
  std::memcpy(out, text.c_str(), text.size() + 1);
}

}  // namespace

int init(AMvLaneClientManage& manager, char* out, int* pLen) {
  if (out == nullptr || pLen == nullptr) return result::kException;
  return guarded([&] {
    const std::uint32_t serial = takeSerial();
    logLine('I', "%u: MvClientManage start initialize...\n", serial);
    std::string text;
    int code = result::kOk;
    if (!manager.readMvLaneConf(text)) {
      logLine('E', "%u: readMvDevConf() failure,Case={%s}\n", serial, text.c_str());
      code = result::kInitFailed;
    } else if (manager.initalize()) {
      logLine('I', "MvClientManage initialize successfully\n");
    } else {
      logLine('E', "%u: Initialize failure\n", serial);
      text = "Initialize failed";
      code = result::kInitFailed;
    }
    const bool fit = fits(text, *pLen);
    *pLen = capacityFor(text);
    if (fit) {
      copyOut(text, out);
      return code;
    }
    largeOutput().stash(std::move(text), code, serial);
    return result::kStashed;
  });
}

int uninit(AMvLaneClientManage& manager) {
  return guarded([&] {
    manager.uninit();
    return result::kOk;
  });
}

int getResponse(int* code, char* out, int* pLen) {
  if (code == nullptr || out == nullptr || pLen == nullptr) return result::kException;
  return guarded([&] {
    LargeOutput& kept = largeOutput();
    if (!kept.text) return result::kNothingStashed;
    if (!fits(*kept.text, *pLen)) {
      *pLen = capacityFor(*kept.text);
      return result::kStashed;
    }
    *code = kept.code;
    copyOut(*kept.text, out);
    kept.text.reset();
    logLine('I', "GetResponse %u  Successfully\n", kept.serial);
    return result::kOk;
  });
}

int operation(AMvLaneClientManage& manager, const char* name, OperationMethod method, int lane,
              const char* input, char* out, int* pLen) {
  if (out == nullptr || pLen == nullptr) return result::kException;
  return guarded([&] {
    // Held until the call returns, so a concurrent Uninit cannot destroy the session under it.
    const std::shared_ptr<AMvLaneClientOper> oper = manager.getOper(lane);
    if (!oper) return result::kNoSession;
    const char* request = input != nullptr ? input : "";
    const std::uint32_t serial = takeSerial();
    logLine('I', "%u:%d %s input=%s\n", serial, lane, name, request);
    std::string text;
    const int code = ((*oper).*method)(request, text);
    logLine('I', "%u:%d %s return %d, output=%s\n", serial, lane, name, code, text.c_str());
    if (fits(text, *pLen)) {
      copyOut(text, out);
      return code;
    }
    logLine('I', "%u:%d %s pLen not enough, return 5 instead\n", serial, lane, name);
    *pLen = capacityFor(text);
    largeOutput().stash(std::move(text), code, serial);
    return result::kStashed;
  });
}

}  // namespace boundary
