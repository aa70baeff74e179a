// Helpers shared by the test programs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// Polls `condition` until it holds or the deadline passes; true when it held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::milliseconds(5000),
               std::chrono::milliseconds poll = std::chrono::milliseconds(5));

// A fresh empty directory under the system's temporary directory, removed with its contents
// when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Makes a directory the current working directory for its lifetime.
class CurrentDirGuard {
 public:
  explicit CurrentDirGuard(const std::string& dir);
  ~CurrentDirGuard();
  CurrentDirGuard(const CurrentDirGuard&) = delete;
  CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

 private:
  std::string previous_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// What a command line run through the shell gave.
struct ProgramRun {
  int status = -1;
  std::string output;  // standard output and standard error together
};
// Runs a shell command line in `dir`.
ProgramRun runInShell(const std::string& command, const std::string& dir = ".");

// A configuration text whose "Port=" lines all name `port`; `configured` receives the port the
// text named.
std::string withPort(const std::string& config, std::uint16_t port,
                     std::string* configured = nullptr);

}  // namespace testsupport
