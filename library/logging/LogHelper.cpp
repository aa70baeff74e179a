#include "logging/LogHelper.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "common/ByteOrderMark.h"
#include "common/ConfigPath.h"

namespace {

constexpr const char* kLoggerName = "Marovex";
constexpr const char* kGlobalSection = "Global";
constexpr const char* kLogDirKey = "LogDir";
constexpr const char* kLogKeepDaysKey = "LogKeepDays";
constexpr const char* kCurrentDir = ".";
constexpr int kMinKeepDays = 1;
constexpr int kMaxKeepDays = 30;

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// The line without its comment and without white space at either end.
std::string cleanLine(const std::string& line) {
  std::string text = line.substr(0, line.find_first_of("#;"));
  const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

LogHelper::LogHelper() : LogHelper(configFilePath()) {}

LogHelper::LogHelper(const std::string& configPath) {
  Settings settings;
  if (!readSettings(configPath, settings)) return;
  logger_ = std::make_unique<Logger>(kLoggerName, settings.dir, settings.keepDays);
  Logger::setGlobal(logger_.get());
}

LogHelper::~LogHelper() { Logger::clearGlobal(logger_.get()); }

bool LogHelper::readSettings(const std::string& configPath, Settings& settings) {
  if (configPath.empty()) return false;  // the working directory could not be read
  std::ifstream in(configPath);
  if (!in) return false;
  bool inGlobal = false;
  std::string line;
  for (bool first = true; std::getline(in, line); first = false) {
    if (first) dropByteOrderMark(line);
    const std::string text = cleanLine(line);
    if (text.empty()) continue;
    if (text.front() == '[') {
      if (text.size() < 3 || text.back() != ']' || inGlobal) break;
      inGlobal = equalsIgnoreCase(text.substr(1, text.size() - 2), kGlobalSection);
      continue;
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || !inGlobal) continue;
    const std::string key = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    if (equalsIgnoreCase(key, kLogDirKey)) {
      // An empty directory would put the files at the root of the file system.
      settings.dir = value.empty() ? kCurrentDir : value;
    } else if (equalsIgnoreCase(key, kLogKeepDaysKey)) {
      int days = 0;
      try {
        days = std::stoi(value);
      } catch (const std::exception&) {
        return false;  // an unreadable retention turns logging off
      }
      if (days >= kMinKeepDays && days <= kMaxKeepDays) settings.keepDays = static_cast<unsigned>(days);
    }
  }
  return true;
}
