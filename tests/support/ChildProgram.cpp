#include "ChildProgram.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace testsupport {

bool readLine(FILE* f, std::string& line) {
  char buffer[4096];
  if (std::fgets(buffer, sizeof buffer, f) == nullptr) return false;
  line = buffer;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return true;
}

ChildProgram::ChildProgram(const std::string& program, const std::string& args) {
  const std::string script = "\"" + program + "\" " + args + " & p=$!; echo pid=$p; wait $p; echo exit=$?";
  out_ = popen(script.c_str(), "r");
  std::string line;
  if (out_ != nullptr && readLine(out_, line) && line.rfind("pid=", 0) == 0) pid_ = line.substr(4);
}

ChildProgram::~ChildProgram() {
  if (out_ == nullptr) return;
  if (!finished_) signal("KILL");
  pclose(out_);
}

bool ChildProgram::signal(const char* name) {
  return std::system(("kill -" + std::string(name) + " " + pid_ + " 2>/dev/null").c_str()) == 0;
}

std::vector<std::string> ChildProgram::rest() {
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

}  // namespace testsupport
