// The lanesim program, started as a child process through the shell.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProgram.h"
#include "SimClient.h"

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
  EXPECT_EQ(exitCodeOf("--help"), 0);
  EXPECT_EQ(exitCodeOf("--scenario /nonexistent/scenario.json"), 1);
}

}  // namespace
