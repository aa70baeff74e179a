// The process-wide logger: one dated file per day in a log directory, expired files removed.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/Compiler.h"
#include "platform/Platform.h"

// Any thread may call log, vlog, writeText and deleteExpired at any time.
class Logger {
 public:
  // Longest line written, prefix included; longer lines are cut.
  static constexpr std::size_t kMaxLineLength = 4095;
  // 100-ns units in one day: file times divided by this give day numbers.
  static constexpr std::uint64_t kFileTimePerDay = 864000000000ULL;

  Logger(const std::string& name, const std::string& dir, unsigned keepDays);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // True when the log directory existed or was created at construction.
  bool valid() const { return isValid; }

  // Removes log files whose name holds the logger's name and whose creation day lies more than
  // keepDays before the reference day (the day of the line that opened the current file).
  void deleteExpired() const;

  // Writes one finished line stamped with the given local time; opens the day's file as needed.
  // A line that cannot be written because the file cannot be opened is dropped. The line is in the
  // file when this returns; lines of concurrent calls never mix.
  void writeText(const char* line, const platform::LocalTime& stamp);

  // Formats one line with the level letter, the local time and the calling thread's id, and
  // writes it.
  MV_PRINTF_FORMAT(3, 4) void log(char level, const char* format, ...);
  void vlog(char level, const char* format, va_list args);

  // The file name of a day's log: dir/name_YYYYMMDD.log (with the platform's separator).
  std::string fileNameFor(const platform::LocalTime& stamp) const;

  // The global logger of the library, null while logging is off. Any thread may read it.
  static Logger* global();
  static void setGlobal(Logger* logger);
  // Resets the global logger to null only while it still is `logger`.
  static void clearGlobal(Logger* logger);

 private:
  void deleteExpiredLocked() const;
  void openFileLocked(const platform::LocalTime& stamp);

  // Guarded by mutex; a writer takes its own reference and appends outside the lock, so a new
  // day's file can replace it meanwhile.
  std::shared_ptr<const platform::AppendFile> file;
  std::uint64_t dayRef = 0;  // guarded by mutex
  bool isValid = false;
  const std::string name;
  const std::string dir;
  const unsigned keepDays;
  mutable std::mutex mutex;
};

// Writes one line through the global logger; does nothing while logging is off.
MV_PRINTF_FORMAT(2, 3) void logLine(char level, const char* format, ...);
