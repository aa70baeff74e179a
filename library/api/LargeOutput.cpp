#include "api/LargeOutput.h"

#include <memory>
#include <utility>

#include "platform/Platform.h"

void LargeOutput::stash(std::string output, int result, std::uint32_t callSerial) {
  text = std::move(output);
  code = result;
  serial = callSerial;
}

namespace {

// The thread's stash, owned through a plain pointer and freed by the platform's end-of-thread
// call: a thread-local object with a destructor would outlive the DLL on Windows.
thread_local LargeOutput* perThread = nullptr;

void freeThreadStash() { std::unique_ptr<LargeOutput> owned(std::exchange(perThread, nullptr)); }

}  // namespace

LargeOutput& largeOutput() {
  if (perThread == nullptr) {
    auto fresh = std::make_unique<LargeOutput>();
    platform::callAtThreadEnd(freeThreadStash);
    perThread = fresh.release();
  }
  return *perThread;
}
