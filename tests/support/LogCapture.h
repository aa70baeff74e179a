// A logger writing into a scratch directory, installed as the global logger for its lifetime, whose
// lines a test can read back.
#pragma once

#include <string>

#include "TestSupport.h"
#include "logging/Logger.h"

namespace testsupport {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything logged so far (all day files, in case the test runs over midnight).
  std::string text() const;
  bool contains(const std::string& piece) const { return text().find(piece) != std::string::npos; }
  // Lines ending in `suffix` (the logger's prefix differs line by line).
  int count(const std::string& suffix) const;

 private:
  ScratchDir dir_;
  Logger logger_;
};

}  // namespace testsupport
