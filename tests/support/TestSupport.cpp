#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace testsupport {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
               std::chrono::milliseconds poll) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return condition();
    std::this_thread::sleep_for(poll);
  }
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / ("marovex-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::file(const std::string& name) const { return path_ + "/" + name; }

CurrentDirGuard::CurrentDirGuard(const std::string& dir) : previous_(fs::current_path().string()) {
  fs::current_path(dir);
}

CurrentDirGuard::~CurrentDirGuard() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);  // text mode: log lines end in CR LF on Windows
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace testsupport
