// Helpers shared by the test programs.
#pragma once

#include <chrono>
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

}  // namespace testsupport
