// Runs the examples of the reference through the built library, loaded by name as a lane
// application loads it, against the lane-server simulator on loopback. The lanes are those of
// config/Marovex.ini.example with its ports pointed at the simulator; the examples run in order in
// one process, so an example may rely on the ones before it (Init first, GetResponse after a 5).
#pragma once

#include <memory>
#include <string>

#include "LaneSimulator.h"
#include "LibraryBinding.h"
#include "ReferenceDocument.h"
#include "TestSupport.h"

namespace refdoc {

class ExampleRunner {
 public:
  // `configExample`: the example configuration's text; `library`: the library file to load.
  ExampleRunner(const std::string& configExample, const std::string& library);
  ExampleRunner(const ExampleRunner&) = delete;
  ExampleRunner& operator=(const ExampleRunner&) = delete;
  ~ExampleRunner();

  // Empty when the simulator runs and the library is bound; else why not.
  const std::string& error() const { return error_; }

  Outcome run(const Example& example);

 private:
  Outcome call(const Example& example);
  // Waits until every lane Init started has had its first device status answer, so that the
  // status document shows the devices whatever the timing.
  void settle(const std::string& initOutput);

  std::string error_;
  std::string configuredPort_;
  LaneSimulator sim_;
  testsupport::ScratchDir dir_;
  std::unique_ptr<testsupport::CurrentDirGuard> cwd_;
  std::unique_ptr<LibraryBinding> api_;
};

}  // namespace refdoc
