// The configuration file as anyone may write it: the INI parser, the lane table's checks, the
// explanation of a refused file and the log settings reader, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

#include "logging/LogHelper.h"
#include "manager/ConfigDiagnosis.h"
#include "manager/IniOutline.h"
#include "manager/MvLaneConf.h"

namespace {

// A fresh folder of this run's own below the temporary directory, removed with the file in it
// when the fuzzer exits.
const std::string& scratchFile() {
  static const testsupport::ScratchDir folder;
  static const std::string path = folder.file("Marovex.ini");
  return path;
}

// What the log line of a refused file says, for every section and key the reader asks about.
void explain(const std::string& text) {
  std::istringstream in(text);
  const IniOutline outline(in);
  const ConfigDiagnosis diagnosis(outline);
  for (const char* section : {"Global", "MvLane0", "MvLane1"}) {
    diagnosis.missing(section, "IpAddr");
    diagnosis.refused(section, "Port", "is out of range 1024 to 65535");
  }
  diagnosis.repeated("MvLane0", "MvLane1", "LaneNo");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  testsupport::writeFile(scratchFile(), text);
  std::vector<stMvLaneInfo_t> lanes;
  std::string conf;
  if (readMvLaneTable(scratchFile(), lanes, conf) && (lanes.empty() || lanes.size() > 2)) __builtin_trap();
  LogHelper::Settings settings;
  if (LogHelper::readSettings(scratchFile(), settings) && (settings.keepDays < 1 || settings.keepDays > 30))
    __builtin_trap();
  explain(text);
  return 0;
}
