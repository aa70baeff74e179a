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

#include "SimClient.h"

using namespace std::chrono_literals;

namespace {

const std::string kProgram = MAROVEX_BIN_DIR "/lanesim";

// One line of the child's output without its line feed; false at the end of the output.
bool readLine(FILE* f, std::string& line) {
  char buffer[4096];
  if (std::fgets(buffer, sizeof buffer, f) == nullptr) return false;
  line = buffer;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return true;
}

// Runs a command line in the shell and returns its output's last line "exit=N" value.
int exitCodeOf(const std::string& args) {
  FILE* f = popen((kProgram + " " + args + " >/dev/null 2>&1; echo exit=$?").c_str(), "r");
  if (f == nullptr) return -1;
  std::string line, last;
  while (readLine(f, line)) last = line;
  pclose(f);
  return last.rfind("exit=", 0) == 0 ? std::atoi(last.c_str() + 5) : -1;
}

// lanesim started in the background by a shell that reports the pid first and the exit status
// last. Whatever happens, the program is gone when the object is.
class Child {
 public:
  static constexpr std::chrono::seconds kExitDeadline{10};

  explicit Child(const std::string& args) {
    const std::string script = "\"" + kProgram + "\" " + args + " & p=$!; echo pid=$p; wait $p; echo exit=$?";
    out_ = popen(script.c_str(), "r");
    std::string line;
    if (out_ != nullptr && readLine(out_, line) && line.rfind("pid=", 0) == 0) pid_ = line.substr(4);
  }
  ~Child() {
    if (out_ == nullptr) return;
    if (!finished_) signal("KILL");
    pclose(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return !pid_.empty(); }
  bool line(std::string& text) { return readLine(out_, text); }
  bool signal(const char* name) {
    return std::system(("kill -" + std::string(name) + " " + pid_ + " 2>/dev/null").c_str()) == 0;
  }
  // Reads the rest of the output (killing the program should it not end in time).
  std::vector<std::string> rest() {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> lock(m);
      if (!cv.wait_for(lock, kExitDeadline, [&] { return done; })) signal("KILL");
    });
    std::vector<std::string> lines;
    std::string text;
    while (line(text)) lines.push_back(text);
    {
      std::lock_guard<std::mutex> lock(m);
      done = true;
    }
    cv.notify_all();
    watchdog.join();
    finished_ = true;
    return lines;
  }

 private:
  FILE* out_ = nullptr;
  std::string pid_;
  bool finished_ = false;
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
    if (l == "recv #1 03001 00000005 {\"UserName\":\"lane\"}") sawRecv = true;
    if (l.rfind("send #1 03101 00000005 {\"ErrorCode\":\"0\"", 0) == 0) sawSend = true;
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
