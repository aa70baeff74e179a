#include "TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
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

ProgramRun runInShell(const std::string& command, const std::string& dir) {
  const std::string line = "cd '" + dir + "' && " + command + " 2>&1; echo \"exit=$?\"";
  ProgramRun run;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), pclose);
  if (!pipe) return run;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) run.output.append(chunk, got);
  const std::size_t mark = run.output.rfind("exit=");
  if (mark != std::string::npos) {
    run.status = std::stoi(run.output.substr(mark + 5));
    run.output.erase(mark);
  }
  return run;
}

std::string withPort(const std::string& config, std::uint16_t port, std::string* configured) {
  static const std::string key = "Port=";
  std::istringstream lines(config);
  std::string line;
  std::string out;
  while (std::getline(lines, line)) {
    if (line.rfind(key, 0) == 0) {
      if (configured != nullptr) *configured = line.substr(key.size());
      line = key + std::to_string(port);
    }
    out += line + '\n';
  }
  return out;
}

}  // namespace testsupport
