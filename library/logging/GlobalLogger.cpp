#include <atomic>

#include "logging/Logger.h"

namespace {
std::atomic<Logger*> globalLogger{nullptr};
}

Logger* Logger::global() { return globalLogger.load(std::memory_order_acquire); }

void Logger::setGlobal(Logger* logger) { globalLogger.store(logger, std::memory_order_release); }

void Logger::clearGlobal(Logger* logger) {
  globalLogger.compare_exchange_strong(logger, nullptr, std::memory_order_acq_rel);
}

void logLine(char level, const char* format, ...) {
  Logger* logger = Logger::global();
  if (logger == nullptr) return;
  va_list args;
  va_start(args, format);
  logger->vlog(level, format, args);
  va_end(args);
}
