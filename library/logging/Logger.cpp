#include "logging/Logger.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Digits.h"

namespace {

constexpr const char* kLogSuffix = ".log";
// "YYYYMMDD"
constexpr std::size_t kDateSize = 8;

std::int64_t dayNumber(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / Logger::kFileTimePerDay);
}

constexpr unsigned kHexBase = 16;
constexpr int kYearDigits = 4;
constexpr int kFieldDigits = 2;  // month, day, hour, minute, second
constexpr std::size_t kHexScratch = 2 * sizeof(unsigned long);
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kLongestPrefix = sizeof "[L]YYYY-MM-DD hh:mm:ss[0x]-" - 1 + kHexScratch;

char* putText(char* at, const char* text) {
  const std::size_t size = std::strlen(text);
  std::memcpy(at, text, size);
  return at + size;
}

// The line prefix "[%c]%04d-%02d-%02d %02d:%02d:%02d[0x%lx]-" (level, local time, thread id),
// written digit by digit into `line`, which has room for kLongestPrefix characters and a
// terminator. Returns the prefix length.
std::size_t writePrefix(char* line, char level, const platform::LocalTime& t, unsigned long threadId) {
  char hex[kHexScratch];
  std::size_t hexSize = 0;
  do {
    hex[kHexScratch - ++hexSize] = kHexDigits[threadId % kHexBase];
    threadId /= kHexBase;
  } while (threadId != 0);

  char* at = line;
  *at++ = '[';
  *at++ = level;
  *at++ = ']';
  at = digits::putFixed(at, t.year, kYearDigits);
  *at++ = '-';
  at = digits::putFixed(at, t.month, kFieldDigits);
  *at++ = '-';
  at = digits::putFixed(at, t.day, kFieldDigits);
  *at++ = ' ';
  at = digits::putFixed(at, t.hour, kFieldDigits);
  *at++ = ':';
  at = digits::putFixed(at, t.minute, kFieldDigits);
  *at++ = ':';
  at = digits::putFixed(at, t.second, kFieldDigits);
  at = putText(at, "[0x");
  std::memcpy(at, hex + kHexScratch - hexSize, hexSize);
  at += hexSize;
  at = putText(at, "]-");
  *at = '\0';
  return static_cast<std::size_t>(at - line);
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
  char date[kDateSize];
  char* at = digits::putFixed(date, stamp.year, kYearDigits);
  at = digits::putFixed(at, stamp.month, kFieldDigits);
  digits::putFixed(at, stamp.day, kFieldDigits);
  return dir + platform::pathSeparator() + name + '_' + std::string(date, kDateSize) + kLogSuffix;
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
  char line[kMaxLineLength + 1];
  const platform::LocalTime now = platform::localTimeNow();
  static_assert(sizeof line > kLongestPrefix, "the prefix fits the line");
  const std::size_t used = writePrefix(line, level, now, callingThreadId());
  line[used] = '\0';  // stays the end should the message fail to format
  std::vsnprintf(line + used, sizeof line - used, format, args);
  writeText(line, now);
}
