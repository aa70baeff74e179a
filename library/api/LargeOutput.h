// The output a call could not hand over because the caller's buffer was too small, kept for the
// calling thread until GetResponse delivers it. One per thread; freed when the thread ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct LargeOutput {
  std::optional<std::string> text;  // absent: nothing kept
  int code = 0;                     // the result of the call that kept the text
  std::uint32_t serial = 0;         // that call's serial number

  // Replaces whatever was kept before.
  void stash(std::string output, int result, std::uint32_t callSerial);
};

// The calling thread's stash, created on first use and freed when the thread ends.
LargeOutput& largeOutput();
