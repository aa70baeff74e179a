#include "logging/Logger.h"

#include <cstring>
#include <vector>

namespace {

constexpr const char* kLinePrefixFormat = "[%c]%04d-%02d-%02d %02d:%02d:%02d[0x%lx]-";
constexpr const char* kLogSuffix = ".log";
// "YYYYMMDD" and its terminator.
constexpr std::size_t kDateTextSize = 9;

std::int64_t dayNumber(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / Logger::kFileTimePerDay);
}

}  // namespace

Logger::Logger(const std::string& name, const std::string& dir, unsigned keepDays)
    : name(name), dir(dir), keepDays(keepDays) {
  dayRef = platform::fileTimeOf(platform::localTimeNow());
  if (platform::isDirectory(dir)) {
    // No other thread knows this object yet, so the lock is not needed.
    deleteExpiredLocked();
  } else if (!platform::createDirectory(dir)) {
    return;
  }
  isValid = true;
}

Logger::~Logger() {
  if (file != nullptr) std::fclose(file);
}

std::string Logger::fileNameFor(const platform::LocalTime& stamp) const {
  char date[kDateTextSize];
  std::snprintf(date, sizeof date, "%04d%02d%02d", stamp.year, stamp.month, stamp.day);
  return dir + platform::pathSeparator() + name + '_' + date + kLogSuffix;
}

void Logger::deleteExpired() const {
  std::lock_guard<std::mutex> lock(mutex);
  deleteExpiredLocked();
}

void Logger::deleteExpiredLocked() const {
  const std::int64_t today = dayNumber(dayRef);
  std::vector<std::string> expired;
  for (const platform::DirEntry& entry : platform::listFiles(dir, kLogSuffix)) {
    const std::int64_t age = today - dayNumber(entry.creationFileTime);
    if (age > static_cast<std::int64_t>(keepDays) && entry.name.find(name) != std::string::npos) {
      expired.push_back(entry.name);
    }
  }
  // Deleting only after the listing keeps the enumeration stable.
  for (const std::string& fileName : expired) {
    platform::removeFile(dir + platform::pathSeparator() + fileName);
  }
}

void Logger::openFileLocked(const platform::LocalTime& stamp) {
  const std::string fileName = fileNameFor(stamp);
  if (file != nullptr) {
    std::fclose(file);
    file = nullptr;
  }
  dayRef = platform::fileTimeOf(stamp);
  deleteExpiredLocked();
  // Not inherited: programs the lane application starts must not hold the log open.
  file = platform::openAppendNoInherit(fileName);
  if (file == nullptr) std::fprintf(stderr, "File %s create failed\n", fileName.c_str());
}

void Logger::writeText(const char* line, const platform::LocalTime& stamp) {
  // The day test runs under the lock too: two threads crossing midnight then open the file once.
  std::lock_guard<std::mutex> lock(mutex);
  if (file == nullptr || dayNumber(platform::fileTimeOf(stamp)) != dayNumber(dayRef)) {
    openFileLocked(stamp);
    if (file == nullptr) return;
  }
  std::fwrite(line, 1, std::strlen(line), file);
  std::fflush(file);
}

void Logger::log(char level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(level, format, args);
  va_end(args);
}

void Logger::vlog(char level, const char* format, va_list args) {
  char line[kMaxLineLength + 1] = {};
  const platform::LocalTime now = platform::localTimeNow();
  int prefix = std::snprintf(line, sizeof line, kLinePrefixFormat, level, now.year, now.month,
                             now.day, now.hour, now.minute, now.second,
                             platform::currentThreadId());
  if (prefix < 0) prefix = 0;
  const std::size_t used = static_cast<std::size_t>(prefix) < kMaxLineLength
                               ? static_cast<std::size_t>(prefix)
                               : kMaxLineLength;
  std::vsnprintf(line + used, sizeof line - used, format, args);
  writeText(line, now);
}
