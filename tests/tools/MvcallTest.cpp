// mvcall run as a program: its command line, its message when the library is unusable, and a
// short run against the lane-server simulator.
#include <chrono>
#include <cstdint>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LaneSimulator.h"
#include "TestSupport.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testsupport::ProgramRun;

// Runs mvcall with the given arguments (shell syntax) in `dir`.
ProgramRun runMvcall(const std::string& arguments, const std::string& dir = ".") {
  return testsupport::runInShell("'" + std::string(MAROVEX_BIN_DIR) + "/mvcall' " + arguments, dir);
}

TEST(MvcallTest, NoCallsPrintsUsageAndExits2) {
  const ProgramRun run = runMvcall("");
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.output, HasSubstr("usage: mvcall"));
  EXPECT_THAT(run.output, HasSubstr("QueryTransDetail"));
}

TEST(MvcallTest, HelpPrintsUsageOnStandardOutputAndExits0) {
  const ProgramRun run = runMvcall("--lib /nonexistent/lib.so Init --help 2>/dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.output, HasSubstr("usage: mvcall"));
}

TEST(MvcallTest, MalformedStepsAreRejectedBeforeLoading) {
  for (const char* bad : {"Bogus", "ListQuery", "ListQuery:x", "Init:1", "wait:soon",
                          "--buffer 0 Init", "--lib", "--verbose Init"}) {
    const ProgramRun run = runMvcall(std::string("--lib /nonexistent/lib.so ") + bad);
    EXPECT_EQ(run.status, 2) << bad << "\n" << run.output;
    EXPECT_THAT(run.output, HasSubstr("usage: mvcall")) << bad;
  }
}

TEST(MvcallTest, UnloadableLibraryIsNamedAndExits1) {
  const ProgramRun run = runMvcall("--lib /nonexistent/libMarovex.so Init");
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.output, HasSubstr("cannot load /nonexistent/libMarovex.so"));
}

TEST(MvcallTest, LibraryWithoutTheExportsIsNamedAndExits1) {
  // A library every system has, loaded by name through the loader's search.
  const ProgramRun run = runMvcall("--lib libm.so.6 Init");
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.output, HasSubstr("has no export named Init"));
}

// A one-lane configuration (LaneNo 7) served by `port`, logging into dir/logs.
void writeLaneConfig(const testsupport::ScratchDir& dir, std::uint16_t port, int heartBeatTime,
                     int autoLogout) {
  testsupport::writeFile(dir.file("EtcConfig/Marovex.ini"),
                         "[Global]\nMvLaneNum=1\nLogDir=" + dir.file("logs") +
                             "\n[MvLane0]\nIpAddr=127.0.0.1\nPort=" + std::to_string(port) +
                             "\nUserName=u\nPassWord=p\nProvinceNo=44\nCityNo=1\nAreaNo=1\n"
                             "GateNo=1\nLaneNo=7\nHeartBeatTime=" +
                             std::to_string(heartBeatTime) +
                             "\nTimeOut=1\nRSUID=-1\nReaderID=-1\nAutoLogout=" +
                             std::to_string(autoLogout) + "\n");
}

TEST(MvcallTest, RunsCallsInOrderAgainstTheSimulator) {
  LaneSimulator sim;
  ASSERT_TRUE(sim.start("127.0.0.1"));
  testsupport::ScratchDir dir;
  writeLaneConfig(dir, sim.port(), 60, 0);
  const ProgramRun run = runMvcall(
      "--buffer 16 Init 'ListQuery:7:{\"ListType\":\"1\"}' ETCStatusQuery:7 wait:1 Uninit "
      "ETCStatusQuery:7",
      dir.path());
  // The last call finds no lane any more, so not every call returned 0.
  EXPECT_EQ(run.status, 3) << run.output;
  const std::size_t init = run.output.find("== Init: result 0");
  const std::size_t list = run.output.find("== ListQuery lane 7: result 0");
  const std::size_t status = run.output.find("== ETCStatusQuery lane 7: result 0");
  const std::size_t uninit = run.output.find("== Uninit: result 0");
  const std::size_t gone = run.output.find("== ETCStatusQuery lane 7: result 1000");
  ASSERT_NE(init, std::string::npos) << run.output;
  EXPECT_LT(init, list);
  EXPECT_LT(list, status);
  EXPECT_LT(status, uninit);
  EXPECT_LT(uninit, gone);
  EXPECT_NE(gone, std::string::npos) << run.output;
  // Outputs longer than 16 bytes came through GetResponse and are printed whole.
  EXPECT_THAT(run.output, HasSubstr("fetched with GetResponse"));
  EXPECT_THAT(run.output, HasSubstr("\"LaneNo\" : \"7\""));
  EXPECT_THAT(run.output, HasSubstr("\"Connection\""));
}

// A program that ends without Uninit leaves the stop to the library's unload: the running lane
// still logs out and its threads end while the library's own objects are intact.
TEST(MvcallTest, ExitWithoutUninitStopsTheLaneCleanly) {
  LaneSimulator sim;
  ASSERT_TRUE(sim.start("127.0.0.1"));
  testsupport::ScratchDir dir;
  writeLaneConfig(dir, sim.port(), 1, 1);
  const ProgramRun run = runMvcall("Init", dir.path());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(sim.waitForPacket("03002", std::chrono::milliseconds(3000)));
  EXPECT_EQ(sim.receivedWith("03002").size(), 1u);
}

// Each mvcall is a process of its own, so a 1000 before any Init is the caller's mistake, said
// once; after an Init it is about the lane number and gets no hint.
TEST(MvcallTest, NoSessionBeforeInitHintsThatInitComesFirst) {
  testsupport::ScratchDir dir;
  const ProgramRun alone = runMvcall("ListQuery:1 ETCStatusQuery:1", dir.path());
  EXPECT_EQ(alone.status, 3);
  EXPECT_THAT(alone.output, HasSubstr("== ListQuery lane 1: result 1000"));
  const std::string hint = "put Init first on the same command line";
  const std::size_t first = alone.output.find(hint);
  ASSERT_NE(first, std::string::npos) << alone.output;
  EXPECT_EQ(alone.output.find(hint, first + 1), std::string::npos) << alone.output;

  LaneSimulator sim;
  ASSERT_TRUE(sim.start("127.0.0.1"));
  writeLaneConfig(dir, sim.port(), 60, 0);
  const ProgramRun after = runMvcall("Init ListQuery:9 Uninit", dir.path());
  EXPECT_THAT(after.output, HasSubstr("== ListQuery lane 9: result 1000"));
  EXPECT_THAT(after.output, Not(HasSubstr(hint)));
}

}  // namespace
