// Creates the global logger from the [Global] section of the configuration file, or leaves
// logging off when the file is missing or its LogKeepDays is unreadable. One instance lives for the
// life of the library; construct and destroy it while no other thread logs.
#pragma once

#include <memory>
#include <string>

#include "logging/Logger.h"

class LogHelper {
 public:
  // Reads the configuration file of the current working directory.
  LogHelper();
  // Reads the given configuration file (tests).
  explicit LogHelper(const std::string& configPath);
  ~LogHelper();
  LogHelper(const LogHelper&) = delete;
  LogHelper& operator=(const LogHelper&) = delete;

  Logger* logger() const { return logger_.get(); }

  // The settings read from a configuration file: false when the file cannot be opened or its
  // LogKeepDays has no leading number that fits an int; logging then stays off.
  struct Settings {
    std::string dir = "MvClientLog";
    unsigned keepDays = 30;
  };
  static bool readSettings(const std::string& configPath, Settings& settings);

 private:
  std::unique_ptr<Logger> logger_;
};
