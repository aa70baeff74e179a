#include "api/LargeOutput.h"

#include <utility>

void LargeOutput::stash(std::string output, int result, std::uint32_t callSerial) {
  text = std::move(output);
  code = result;
  serial = callSerial;
}

LargeOutput& largeOutput() {
  thread_local LargeOutput perThread;
  return perThread;
}
