#include "common/ConfigPath.h"

#include "platform/Platform.h"

std::string configFilePath() {
  const char sep = platform::pathSeparator();
  const std::string dir = platform::currentDirectory();
  if (dir.empty()) return std::string();
  return dir + sep + "EtcConfig" + sep + "Marovex.ini";
}
