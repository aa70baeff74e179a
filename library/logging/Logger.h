// The process-wide logger: one dated file per day in a log directory, expired files removed.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/Compiler.h"
#include "platform/Platform.h"

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

  // Removes log files whose creation day lies more than keepDays before the reference day.
  void deleteExpired() const;

  // Writes one finished line stamped with the given local time; opens the day's file as needed.
  void writeText(const char* line, const platform::LocalTime& stamp);

  // Formats one line with the level letter and the calling thread's id, and writes it.
  MV_PRINTF_FORMAT(3, 4) void log(char level, const char* format, ...);
  void vlog(char level, const char* format, va_list args);

  // The file name of a day's log: dir/name_YYYYMMDD.log (with the platform's separator).
  std::string fileNameFor(const platform::LocalTime& stamp) const;

  // The global logger of the library, null while logging is off. Any thread may read it.
  static Logger* global();
  static void setGlobal(Logger* logger);

 private:
  FILE* file = nullptr;          // guarded by mutex
  std::uint64_t dayRef = 0;      // guarded by mutex for writers; read before the lock as a hint
  bool isValid = false;
  std::string name;
  std::string dir;
  unsigned keepDays;
  mutable std::mutex mutex;
};

// Writes one line through the global logger; does nothing while logging is off.
MV_PRINTF_FORMAT(2, 3) void logLine(char level, const char* format, ...);
