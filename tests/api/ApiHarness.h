// Drives the built Marovex library through its exports, as a lane application does: the library is
// loaded once per test program from a scratch working directory whose EtcConfig/Marovex.ini the
// tests rewrite before each Init. Lane servers are in-process simulators on loopback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LaneConfigText.h"
#include "LaneSimulator.h"
#include "LibraryBinding.h"
#include "TestSupport.h"

namespace apitest {

// Capacity that every output of these tests fits.
constexpr int kLargeBuffer = 64 * 1024;

// The library of this test program, loaded on first use and unloaded at exit.
class LoadedLibrary {
 public:
  static LoadedLibrary& instance();
  const LibraryBinding& api() const { return binding_; }
  // The working directory the library sees.
  const std::string& dir() const { return dir_.path(); }
  std::string configPath() const;
  void writeConfig(const std::string& content) const;
  void removeConfig() const;
  // Every log file of the log directory, oldest first, concatenated.
  std::string logText() const;

 private:
  LoadedLibrary();
  ~LoadedLibrary();
  testsupport::ScratchDir dir_;
  testsupport::CurrentDirGuard cwd_;
  LibraryBinding binding_;
};

using LaneConfig = testsupport::LaneConfig;
// A configuration of these lanes, logging into the log directory of the tests.
std::string configText(const std::vector<LaneConfig>& lanes);

// What an output buffer reads when the library did not write to it.
constexpr const char* kUntouched = "#";
// What GetResponse's code reads when the library did not write to it.
constexpr int kUntouchedCode = -12345;

// What one call gave back.
struct CallResult {
  int result = 0;
  std::string out;                // the buffer's text, kUntouched when nothing was written
  int len = 0;                    // *pLen after the call
  int code = kUntouchedCode;      // GetResponse: the delivered code
};

// A test case with the library at hand; Uninit runs after each case.
class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const LibraryBinding& api() const { return LoadedLibrary::instance().api(); }

  // Starts the simulator, configures `count` lanes (LaneNo 1 and 2) served by it and runs Init,
  // which must return 0.
  void startLanes(int count, int deviceId = -1);

  CallResult init(int capacity = kLargeBuffer) const;
  CallResult call(const char* operation, int lane, const char* input,
                  int capacity = kLargeBuffer) const;
  CallResult getResponse(int capacity = kLargeBuffer) const;

  // Log text written since the case began.
  std::string newLog() const;

  LaneSimulator sim;

 private:
  std::size_t logStart_ = 0;
};

// The serial numbers of the log lines "<serial>:<lane> <operation> input=" in order.
std::vector<unsigned> operationSerials(const std::string& log, const std::string& operation);
// The serial number of the last "<serial>: MvClientManage start initialize..." line.
unsigned lastInitSerial(const std::string& log);

}  // namespace apitest
