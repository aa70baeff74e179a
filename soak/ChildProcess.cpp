#include "ChildProcess.h"

namespace soak {

namespace {

constexpr std::size_t kReadChunk = 4096;

}  // namespace

ChildProcess::ChildProcess(const std::string& program) { start(program); }

ChildProcess::~ChildProcess() { finish(); }

bool ChildProcess::writeLine(const std::string& line) {
  if (input_ == kNone) return false;
  const std::string text = line + '\n';
  return writeAll(text.data(), text.size());
}

bool ChildProcess::readLine(std::string& line) {
  for (;;) {
    const auto end = pending_.find('\n');
    if (end != std::string::npos) {
      line.assign(pending_, 0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending_.erase(0, end + 1);
      return true;
    }
    if (outputEnded_ || output_ == kNone) return false;
    char chunk[kReadChunk];
    const long got = readSome(chunk, sizeof chunk);
    if (got <= 0) {
      outputEnded_ = true;
      return false;
    }
    pending_.append(chunk, static_cast<std::size_t>(got));
  }
}

int ChildProcess::finish() {
  // Without its input the child ends; without a reader its writes fail rather than block.
  closeInput();
  closeOutput();
  const int status = process_ == kNone ? -1 : waitOrKill();
  process_ = kNone;
  return status;
}

}  // namespace soak
