// The configuration file as anyone may write it: the INI parser, the lane table's checks and the
// log settings reader, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "logging/LogHelper.h"
#include "manager/MvLaneConf.h"

namespace {

const std::string& scratchFile() {
  static const std::string path = "/tmp/marovex-fuzz-config-" + std::to_string(::getpid()) + ".ini";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<stMvLaneInfo_t> lanes;
  std::string conf;
  if (readMvLaneTable(scratchFile(), lanes, conf) && (lanes.empty() || lanes.size() > 2)) __builtin_trap();
  LogHelper::Settings settings;
  if (LogHelper::readSettings(scratchFile(), settings) && (settings.keepDays < 1 || settings.keepDays > 30))
    __builtin_trap();
  return 0;
}
