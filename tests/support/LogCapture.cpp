#include "LogCapture.h"

#include <filesystem>

namespace testsupport {

namespace {
constexpr unsigned kKeepDays = 30;
}

LogCapture::LogCapture() : logger_("Marovex", dir_.path(), kKeepDays) { Logger::setGlobal(&logger_); }

LogCapture::~LogCapture() { Logger::clearGlobal(&logger_); }

std::string LogCapture::text() const {
  std::string all;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    all += readFile(entry.path().string());
  return all;
}

int LogCapture::count(const std::string& suffix) const {
  const std::string all = text();
  int n = 0;
  std::size_t begin = 0;
  while (begin < all.size()) {
    std::size_t end = all.find('\n', begin);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(begin, end - begin) + "\n";
    if (line.size() >= suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
      ++n;
    begin = end + 1;
  }
  return n;
}

}  // namespace testsupport
