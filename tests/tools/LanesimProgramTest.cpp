// The lanesim program, started as a child process through the shell.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ChildProgram.h"
#include "LaneSimulator.h"
#include "SimClient.h"
#include "TestSupport.h"
#include "common/JsonText.h"

using namespace std::chrono_literals;

namespace {

const std::string kProgram = testsupport::kLanesimProgram;

// Runs a command line in the shell and returns its output's last line "exit=N" value.
int exitCodeOf(const std::string& args) {
  FILE* f = popen((kProgram + " " + args + " >/dev/null 2>&1; echo exit=$?").c_str(), "r");
  if (f == nullptr) return -1;
  std::string line, last;
  while (testsupport::readLine(f, line)) last = line;
  pclose(f);
  return last.rfind("exit=", 0) == 0 ? std::atoi(last.c_str() + 5) : -1;
}

class Child : public testsupport::ChildProgram {
 public:
  explicit Child(const std::string& args) : ChildProgram(kProgram, args) {}
};

TEST(LanesimProgramTest, PrintsItsAddressAnswersAndStopsOnSigterm) {
  Child child("--listen 127.0.0.1:0");
  ASSERT_TRUE(child.started());
  std::string line;
  ASSERT_TRUE(child.line(line));
  const std::string prefix = "lanesim listening on 127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const int port = std::atoi(line.c_str() + prefix.size());
  ASSERT_GT(port, 0);

  SimClient c;
  ASSERT_TRUE(c.connect(static_cast<std::uint16_t>(port)));
  ASSERT_TRUE(c.send("03001", 5, "{\n\t\"UserName\" : \"lane\"\n}\n"));
  SimPacket answer;
  ASSERT_TRUE(c.next(&answer));
  EXPECT_EQ(answer.cmdId, "03101");
  EXPECT_EQ(answer.serial, 5u);

  ASSERT_TRUE(child.signal("TERM"));
  const std::vector<std::string> lines = child.rest();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "exit=0");
  bool sawRecv = false, sawSend = false;
  for (const std::string& l : lines) {
    if (l == "recv #1 03001 LaneLogin 00000005 {\"UserName\":\"lane\"}") sawRecv = true;
    if (l.rfind("send #1 03101 LaneLogin-answer 00000005 {\"ErrorCode\":\"0\"", 0) == 0) sawSend = true;
  }
  EXPECT_TRUE(sawRecv);
  EXPECT_TRUE(sawSend);
  EXPECT_TRUE(c.waitClosed());
}

TEST(LanesimProgramTest, BadArgumentsGiveUsageAndExitCode2) {
  EXPECT_EQ(exitCodeOf("--bogus"), 2);
  EXPECT_EQ(exitCodeOf("--listen"), 2);
  EXPECT_EQ(exitCodeOf("--listen 127.0.0.1"), 2);
  EXPECT_EQ(exitCodeOf("--listen 127.0.0.1:65536"), 2);
  EXPECT_EQ(exitCodeOf("--listen localhost:9000"), 2);  // not a dotted address
  EXPECT_EQ(exitCodeOf("--help"), 0);
  EXPECT_EQ(exitCodeOf("--scenario /nonexistent/scenario.json"), 1);
  EXPECT_EQ(exitCodeOf("--forward 127.0.0.1"), 2);
  EXPECT_EQ(exitCodeOf("--forward localhost:9000"), 2);
  EXPECT_EQ(exitCodeOf("--forward 127.0.0.256:9000"), 2);
  EXPECT_EQ(exitCodeOf("--forward 127.0.0.1:0"), 2);
  EXPECT_EQ(exitCodeOf("--summary"), 2);  // a summary of forwarding only
  EXPECT_EQ(exitCodeOf("--record session.json"), 2);
  EXPECT_EQ(exitCodeOf("--forward 127.0.0.1:9000 --record /nonexistent/dir/session.json"), 1);
  // Per-command answers mean nothing to a forwarder.
  EXPECT_EQ(exitCodeOf("--forward 127.0.0.1:9000 --scenario " MAROVEX_SOURCE_DIR
                       "/tools/lanesim/example-scenario.json"),
            1);
}

// mvcall runs the demo's calls (scripts/demo-lanes.sh) in `dir` with the demo's two lanes served
// on `port`.
testsupport::ProgramRun demoRun(std::uint16_t port, const std::string& dir) {
  const std::string script = MAROVEX_SOURCE_DIR "/scripts/demo-lanes.sh";
  return testsupport::runInShell("bash -c 'source \"" + script + "\" && write_demo_config . " +
                                     std::to_string(port) + " && run_demo_calls \"" MAROVEX_BIN_DIR "\" .'",
                                 dir);
}

// The result lines of the demo's calls, without their times.
std::vector<std::string> demoResults(std::uint16_t port, const std::string& dir) {
  const testsupport::ProgramRun run = demoRun(port, dir);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<std::string> results;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("== ", 0) == 0) results.push_back(line.substr(0, line.find(", ")));
  }
  return results;
}

// The packet lines of one direction, without the direction and the connection's number (pairs
// and server connections need not be numbered alike), and without the forwarder's times: the time
// a line begins with and an answer's latency.
std::multiset<std::string> packets(const std::vector<std::string>& lines, const std::string& direction) {
  static const std::regex stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
  static const std::regex latency("^(\\d{5} \\S+ \\d{8}) \\d+ms ");
  std::multiset<std::string> out;
  for (const std::string& stamped : lines) {
    const std::string line = std::regex_replace(stamped, stamp, "");
    if (line.rfind(direction + " #", 0) != 0) continue;
    out.insert(std::regex_replace(line.substr(line.find(' ', direction.size() + 1) + 1), latency, "$1 "));
  }
  return out;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LanesimProgramTest, ForwardsTheDemoBetweenMvcallAndASecondLanesimAsIfDirect) {
  LaneSimulator server;
  ASSERT_TRUE(server.start());
  testsupport::ScratchDir directDir, forwardedDir;
  const std::vector<std::string> direct = demoResults(server.port(), directDir.path());
  ASSERT_EQ(14u, direct.size());

  std::ostringstream serverLog;
  server.setEcho(&serverLog);
  Child forwarder("--forward 127.0.0.1:" + std::to_string(server.port()));
  ASSERT_TRUE(forwarder.started());
  std::string line;
  ASSERT_TRUE(forwarder.line(line));
  const std::string prefix = "lanesim listening on 127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  EXPECT_THAT(line, ::testing::EndsWith(", forwarding to 127.0.0.1:" + std::to_string(server.port())));
  const int port = std::atoi(line.c_str() + prefix.size());
  EXPECT_EQ(direct, demoResults(static_cast<std::uint16_t>(port), forwardedDir.path()));

  ASSERT_TRUE(forwarder.signal("TERM"));
  const std::vector<std::string> printed = forwarder.rest();
  server.stop();
  ASSERT_FALSE(printed.empty());
  EXPECT_EQ("exit=0", printed.back());
  // Every packet the server received and sent, and nothing else, went through the forwarder,
  // which printed it as the server did.
  const std::vector<std::string> seen = linesOf(serverLog.str());
  EXPECT_EQ(packets(seen, "recv"), packets(printed, "lane->server"));
  EXPECT_EQ(packets(seen, "send"), packets(printed, "server->lane"));
  EXPECT_GE(packets(printed, "lane->server").size(), direct.size());
  const std::string all = ::testing::PrintToString(printed);
  EXPECT_THAT(all, ::testing::HasSubstr(" 03001 LaneLogin 0"));
  EXPECT_THAT(all, ::testing::HasSubstr(" 03130 NonCashPayResult 0"));
  EXPECT_THAT(all, ::testing::Not(::testing::HasSubstr("flag #")));
}

TEST(LanesimProgramTest, ForwardingWithSummaryTellsItAtTheStopSignal) {
  LaneSimulator server;
  ASSERT_TRUE(server.start());
  Child forwarder("--forward 127.0.0.1:" + std::to_string(server.port()) + " --summary");
  ASSERT_TRUE(forwarder.started());
  std::string line;
  ASSERT_TRUE(forwarder.line(line));
  const int port = std::atoi(line.c_str() + line.find(':') + 1);
  SimClient lane;
  ASSERT_TRUE(lane.connect(static_cast<std::uint16_t>(port)));
  for (unsigned serial = 1; serial <= 2; ++serial) {
    SimPacket answer;
    ASSERT_TRUE(lane.send("03014", serial, "{}") && lane.next(&answer)) << serial;
  }
  ASSERT_TRUE(forwarder.signal("TERM"));
  const std::string printed = ::testing::PrintToString(forwarder.rest());
  EXPECT_THAT(printed, ::testing::HasSubstr(
                           " summary pair  command                        requests  answers   median    worst  flags"));
  EXPECT_THAT(printed, ::testing::HasSubstr(" summary #1    03014 ListQuery                       2        2 "));
  EXPECT_THAT(printed, ::testing::HasSubstr("exit=0"));
}

// What the demo's calls printed, with what differs from run to run masked: the time of each call,
// the port, the serials and times in the bodies, and the library's messages for unknown ids (their
// number follows the heartbeats).
std::string comparable(const std::string& output) {
  static const std::regex took(", [0-9]+ ms");
  static const std::regex varying("\"(Port|OpSerialNo|ServerTime|PayTime|[A-Za-z]*LastTime[0-9]*)\" : \"[^\"]*\"");
  std::string out;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("no this cmdid:", 0) == 0) continue;
    out += std::regex_replace(std::regex_replace(line, took, ", T ms"), varying, "\"$1\" : \"*\"") + "\n";
  }
  return out;
}

// A session recorded through the forwarder from a server with errors, late and missing answers, a
// wrong serial and faults replays without the server: the same calls give the same results and
// outputs.
TEST(LanesimProgramTest, ASessionRecordedThroughTheForwarderReplaysWithTheSameResults) {
  LaneSimulator server;
  Json::Value scenario;
  ASSERT_TRUE(jsontext::parse(R"({
    "Commands": {"03014": {"DelayMs": 3300}, "03032": {"NoAnswer": true}, "03013": {"WrongSerial": true},
                 "03017": {"ErrorCode": "-3"}, "03029": {"PushDelayMs": 300}},
    "Faults": {"UnknownIdFlood": 1, "SliceBytes": 16, "PauseMs": 1, "LateMs": 20}})",
                              scenario));
  ASSERT_TRUE(server.loadScenario(scenario));
  ASSERT_TRUE(server.start());
  testsupport::ScratchDir dir;
  const std::string recording = dir.file("session.json");

  Child forwarder("--forward 127.0.0.1:" + std::to_string(server.port()) + " --record '" + recording + "'");
  std::string line;
  ASSERT_TRUE(forwarder.started() && forwarder.line(line));
  const int forwarderPort = std::atoi(line.c_str() + line.find(':') + 1);
  testsupport::ScratchDir recordedDir;
  const testsupport::ProgramRun recorded = demoRun(static_cast<std::uint16_t>(forwarderPort), recordedDir.path());
  ASSERT_TRUE(forwarder.signal("TERM"));
  EXPECT_EQ("exit=0", forwarder.rest().back());
  server.stop();

  Child replay("--scenario '" + recording + "'");
  ASSERT_TRUE(replay.started() && replay.line(line));
  const int replayPort = std::atoi(line.c_str() + line.rfind(':') + 1);
  testsupport::ScratchDir replayedDir;
  const testsupport::ProgramRun replayed = demoRun(static_cast<std::uint16_t>(replayPort), replayedDir.path());
  ASSERT_TRUE(replay.signal("TERM"));

  EXPECT_EQ(3, recorded.status);  // not every call returns 0
  EXPECT_EQ(recorded.status, replayed.status);
  EXPECT_THAT(recorded.output, ::testing::HasSubstr("== BlackListQuery lane 1: result -3"));
  EXPECT_THAT(recorded.output, ::testing::HasSubstr("== ListQuery lane 1: result 2"));
  EXPECT_EQ(comparable(recorded.output), comparable(replayed.output));
}

TEST(LanesimProgramTest, AnAddressItCannotListenOnIsToldWithTheReason) {
  LaneSimulator taken;
  ASSERT_TRUE(taken.start());
  const std::string address = "127.0.0.1:" + std::to_string(taken.port());
  const testsupport::ProgramRun run = testsupport::runInShell("'" + kProgram + "' --listen " + address);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("lanesim: cannot listen on " + address + ": address already in use (" + std::to_string(EADDRINUSE) + ")\n", run.output);
}

// scripts/lanesim.sh: a program that does not end on SIGTERM is killed at the stop deadline.
TEST(LanesimProgramTest, TheScriptsStopHasADeadline) {
  const auto start = std::chrono::steady_clock::now();
  const testsupport::ProgramRun run = testsupport::runInShell(
      "bash -c 'source \"" MAROVEX_SOURCE_DIR "/scripts/lanesim.sh\"; lanesim_stop_deadline_s=1; "
      // Started while the shell ignores SIGTERM, the program ignores it from its first instruction.
      "trap \"\" TERM; sleep 30 & lanesim_pid=$!; trap - TERM; lanesim_stop; ! kill -0 $lanesim_pid'");
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_THAT(run.output, ::testing::HasSubstr("lanesim did not stop within 1s of SIGTERM; killing it"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
