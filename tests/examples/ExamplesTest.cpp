// The examples an integrator starts from, run as programs in a directory holding the example
// configuration as shipped (its port pointed at the in-process simulator): the C program that
// binds the library by name and the Python ctypes module.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LaneSimulator.h"
#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using ::testing::HasSubstr;
using testsupport::ProgramRun;

std::string builtLibrary() {
  return std::string(MAROVEX_BIN_DIR) + "/" + platform::sharedLibraryFileName("Marovex");
}

std::string pythonModuleDir() { return std::string(MAROVEX_SOURCE_DIR) + "/examples/python"; }

class ExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start("127.0.0.1"));
    const std::string config =
        testsupport::readFile(std::string(MAROVEX_SOURCE_DIR) + "/config/Marovex.ini.example");
    testsupport::writeFile(dir.file("EtcConfig/Marovex.ini"),
                           testsupport::withPort(config, sim.port()));
  }

  // Python is not built with the sanitizer the library was built with.
  static bool pythonCanLoadTheLibrary() {
#ifdef MAROVEX_SANITIZED
    return false;
#else
    return true;
#endif
  }

  // Runs Python with the example module importable, in the configuration's directory.
  ProgramRun python(const std::string& arguments) const {
    return testsupport::runInShell("PYTHONPATH='" + pythonModuleDir() + "' '" MAROVEX_PYTHON3
                                   "' " + arguments,
                                   dir.path());
  }

  LaneSimulator sim;
  testsupport::ScratchDir dir;
};

// Both lanes of the shipped configuration log in to one simulator port.
void expectBothLanesLoggedIn(const LaneSimulator& sim) {
  std::vector<std::string> lanes;
  for (const SimPacket& login : sim.receivedWith("03001")) {
    lanes.push_back(login.json["LaneNo"].asString());
  }
  EXPECT_THAT(lanes, ::testing::UnorderedElementsAre("01", "02"));
}

TEST_F(ExamplesTest, CProgramReadsACardAndFetchesAnOutputTooLargeForItsBuffer) {
  const ProgramRun run = testsupport::runInShell(
      "'" + std::string(MAROVEX_BIN_DIR) + "/lane_call' '" + builtLibrary() + "' 1", dir.path());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Init: result 0"));
  EXPECT_THAT(run.output, HasSubstr("ReaderRead: result 0"));
  EXPECT_THAT(run.output, HasSubstr("ETCStatusQuery: result 5 with a 16-byte buffer"));
  EXPECT_THAT(run.output, HasSubstr("GetResponse: the ETCStatusQuery result is 0"));
  EXPECT_THAT(run.output, HasSubstr("\"Connection\""));
  EXPECT_THAT(run.output, HasSubstr("lane_call: all steps succeeded"));
  expectBothLanesLoggedIn(sim);
  // The card of the simulator begins with 44, so the read took the variant for such cards.
  EXPECT_EQ(sim.receivedWith("03026").size(), 1u);
}

TEST_F(ExamplesTest, PythonModuleRunsTheSameSequence) {
  if (!pythonCanLoadTheLibrary()) GTEST_SKIP() << "the library is built with a sanitizer";
  const ProgramRun run =
      python("'" + pythonModuleDir() + "/marovex.py' --lib '" + builtLibrary() + "' --lane 2");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Init: result 0"));
  EXPECT_THAT(run.output, HasSubstr("ReaderRead: result 0"));
  EXPECT_THAT(run.output, HasSubstr("ETCStatusQuery: result 0 (fetched with GetResponse)"));
  EXPECT_THAT(run.output, HasSubstr("marovex.py: all steps succeeded"));
  expectBothLanesLoggedIn(sim);
}

// A server "ErrorCode" of 5 comes back as the result with the answer in out and *pLen unchanged;
// the module must not mistake it for a stashed output, nor a 1000 for an output.
TEST_F(ExamplesTest, PythonModuleTellsTheServersFiveFromAStashedOutput) {
  if (!pythonCanLoadTheLibrary()) GTEST_SKIP() << "the library is built with a sanitizer";
  CommandBehaviour five;
  five.errorCode = "5";
  sim.setBehaviour("03017", five);
  const ProgramRun run = python(
      "-c 'import marovex\n"
      "lib = marovex.Marovex(\"" + builtLibrary() + "\")\n"
      "assert lib.init().result == 0\n"
      "server = lib.call(\"BlackListQuery\", 1, \"{}\")\n"
      "stashed = lib.call(\"BlackListQuery\", 1, \"{}\", capacity=16)\n"
      "absent = lib.call(\"ListQuery\", 7)\n"
      "lib.uninit()\n"
      "print(server.result, server.fetched, \"BlackFlag\" in server.output)\n"
      "print(stashed.result, stashed.fetched, \"BlackFlag\" in stashed.output)\n"
      "print(absent)'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("5 False True\n5 True True\n"
                                    "Reply(result=1000, output=None, fetched=False)"));
}

}  // namespace
