#include "logging/Logger.h"

#include <cstdio>
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

// Asked of the system once per thread: a thread keeps its id for its life.
unsigned long callingThreadId() {
  thread_local const unsigned long id = platform::currentThreadId();
  return id;
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

Logger::~Logger() = default;

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
  // Closed here unless a writer still appends to it; then by that writer.
  file.reset();
  dayRef = platform::fileTimeOf(stamp);
  deleteExpiredLocked();
  auto opened = std::make_shared<const platform::AppendFile>(fileName);
  if (!opened->isOpen()) {
    std::fprintf(stderr, "File %s create failed\n", fileName.c_str());
    return;
  }
  file = std::move(opened);
}

void Logger::writeText(const char* line, const platform::LocalTime& stamp) {
  std::shared_ptr<const platform::AppendFile> target;
  {
    // The day test runs under the lock too: two threads crossing midnight then open the file once.
    std::lock_guard<std::mutex> lock(mutex);
    if (file == nullptr || dayNumber(platform::fileTimeOf(stamp)) != dayNumber(dayRef)) {
      openFileLocked(stamp);
    }
    target = file;
  }
  // One append per line and no lock held while the system writes: lines of concurrent threads go
  // to the file whole, side by side.
  if (target != nullptr) target->append(line, std::strlen(line));
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
                             callingThreadId());
  if (prefix < 0) prefix = 0;
  const std::size_t used = static_cast<std::size_t>(prefix) < kMaxLineLength
                               ? static_cast<std::size_t>(prefix)
                               : kMaxLineLength;
  std::vsnprintf(line + used, sizeof line - used, format, args);
  writeText(line, now);
}
