#include "common/ConfigPath.h"

#include "platform/Platform.h"

std::string configFilePath() {
  const char sep = platform::pathSeparator();
  return platform::currentDirectory() + sep + "EtcConfig" + sep + "Marovex.ini";
}
