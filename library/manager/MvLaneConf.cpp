#include "manager/MvLaneConf.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/JsonText.h"
#include "logging/Logger.h"
#include "manager/ConfigDiagnosis.h"
#include "manager/IniOutline.h"
#include "manager/IniParser.h"

namespace {

constexpr int kMinLanes = 1;
constexpr int kMaxLanes = 2;
constexpr const char* kGlobalSection = "Global";
constexpr const char* kLaneCountKey = "MvLaneNum";
constexpr const char* kLaneSectionPrefix = "MvLane";
constexpr const char* kLaneNoKey = "LaneNo";
constexpr const char* kPasswordKey = "PassWord";
constexpr const char* kPasswordMask = "******";
constexpr int kIpParts = 4;
constexpr long kMaxIpPart = 255;
constexpr int kDecimal = 10;

// A key of a lane section that is missing or whose value is refused: the reason Init returns,
// and what the log needs to say where it lies.
class RefusedKey : public std::domain_error {
 public:
  // An empty `problem` stands for a missing key.
  RefusedKey(const std::string& reason, std::string section, const char* key, std::string problem = "")
      : std::domain_error(reason), section(std::move(section)), key(key), problem(std::move(problem)) {}

  std::string explain(const ConfigDiagnosis& diagnosis) const {
    return problem.empty() ? diagnosis.missing(section, key) : diagnosis.refused(section, key, problem);
  }

 private:
  std::string section;
  const char* key;
  std::string problem;
};

std::string laneSection(std::size_t index) { return kLaneSectionPrefix + std::to_string(index); }

// One lane section being read: every key taken is checked, stored and added to the summary.
class LaneReader {
 public:
  LaneReader(const vark::IniDocument& document, std::string sectionName, Json::Value& summary)
      : name_(std::move(sectionName)), section_(find(document, name_)), summary_(summary) {}

  std::string text(const char* key) {
    const std::string& value = valueOf(key);
    summary_[key] = value;
    return value;
  }

  std::string ipAddress(const char* key) {
    std::string value = text(key);
    if (!isIpAddress(value)) {
      throw RefusedKey("invalid ip format", name_, key, "is not four numbers of 0 to 255");
    }
    return value;
  }

  // The full number is checked before it is narrowed, so that a value beyond 16 bits cannot wrap
  // into the accepted range.
  template <typename Field>
  Field number(const char* key, long min, long max) {
    const std::string value = text(key);
    const char* begin = value.c_str();
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(begin, &end, kDecimal);
    if (end == begin) {
      throw RefusedKey(std::string(key) + " : invalid integer: " + value, name_, key, "is not a number");
    }
    if (errno == ERANGE || n < min || n > max) {
      throw RefusedKey(std::string(key) + " : out of range: " + value, name_, key,
                       "is out of range " + std::to_string(min) + " to " + std::to_string(max));
    }
    return static_cast<Field>(n);
  }

 private:
  static const vark::IniSection* find(const vark::IniDocument& document, const std::string& name) {
    const auto it = document.find(name);
    return it == document.end() ? nullptr : &it->second;
  }

  const std::string& valueOf(const char* key) const {
    if (section_ != nullptr) {
      const auto it = section_->find(key);
      if (it != section_->end()) return it->second;
    }
    throw RefusedKey(std::string(key) + " does not exists", name_, key);
  }

  // Four dot-separated decimal numbers of 0 to 255, each possibly preceded by white space or a
  // sign; anything after the fourth number is ignored.
  static bool isIpAddress(const std::string& value) {
    const char* p = value.c_str();
    for (int part = 0; part < kIpParts; ++part) {
      if (part > 0 && *p++ != '.') return false;
      char* end = nullptr;
      errno = 0;
      const long n = std::strtol(p, &end, kDecimal);
      if (end == p || errno == ERANGE || n < 0 || n > kMaxIpPart) return false;
      p = end;
    }
    return true;
  }

  const std::string name_;
  const vark::IniSection* section_;
  Json::Value& summary_;
};

stMvLaneInfo_t readLane(const vark::IniDocument& document, int index, Json::Value& summary) {
  LaneReader reader(document, laneSection(static_cast<std::size_t>(index)), summary);
  stMvLaneInfo_t lane;
  lane.IpAddr = reader.ipAddress("IpAddr");
  lane.UserName = reader.text("UserName");
  lane.PassWord = reader.text(kPasswordKey);
  lane.Port = reader.number<std::uint16_t>("Port", 1024, 65535);
  lane.ProvinceNo = reader.number<std::uint16_t>("ProvinceNo", 0, 99);
  lane.CityNo = reader.number<std::uint16_t>("CityNo", 0, 99);
  lane.AreaNo = reader.number<std::uint16_t>("AreaNo", 0, 9999);
  lane.GateNo = reader.number<std::uint16_t>("GateNo", 0, 99);
  lane.LaneNo = reader.number<std::uint16_t>(kLaneNoKey, 0, 99);
  lane.HeartBeatTime = reader.number<std::uint16_t>("HeartBeatTime", 1, 120);
  lane.TimeOut = reader.number<std::uint16_t>("TimeOut", 1, 120);
  lane.RSUID = reader.number<std::int16_t>("RSUID", -1, 1);
  lane.ReaderID = reader.number<std::int16_t>("ReaderID", -1, 1);
  lane.AutoLogout = reader.number<std::uint16_t>("AutoLogout", 0, 1);
  return lane;
}

// The lane count read by stream extraction; 0 when missing or not starting with a number.
int laneCount(const vark::IniDocument& document) {
  const auto global = document.find(kGlobalSection);
  if (global == document.end()) return 0;
  const auto value = global->second.find(kLaneCountKey);
  if (value == global->second.end()) return 0;
  std::istringstream in(value->second);
  int count = 0;
  if (!(in >> count)) return 0;
  return count;
}

std::string maskedPasswords(Json::Value summary) {
  for (Json::Value& lane : summary) {
    if (lane.isMember(kPasswordKey)) lane[kPasswordKey] = kPasswordMask;
  }
  return jsontext::styled(summary);
}

// The index of the second of two lanes with the same LaneNo and of the first, or none.
bool findRepeatedLaneNo(const std::vector<stMvLaneInfo_t>& table, std::size_t& first, std::size_t& second) {
  for (second = 1; second < table.size(); ++second) {
    for (first = 0; first < second; ++first) {
      if (table[first].LaneNo == table[second].LaneNo) return true;
    }
  }
  return false;
}

// Logs where a refused file went wrong, read again from its start for the lines. Never throws: the
// reason Init returns must not turn into a failure of the log line.
template <typename Explain>
void logRefusal(const std::string& path, std::istream& in, Explain&& explain) noexcept {
  try {
    if (Logger::global() == nullptr) return;
    in.clear();
    in.seekg(0);
    const IniOutline outline(in);
    logLine('E', "Configuration %s refused: %s\n", path.c_str(),
            explain(ConfigDiagnosis(outline)).c_str());
  } catch (...) {
  }
}

}  // namespace

const char* const kNoWorkingDirectory =
    "Parse File failed! : the working directory could not be read\n";

bool readMvLaneTable(const std::string& path, std::vector<stMvLaneInfo_t>& lanes, std::string& conf) {
  logLine('I', "ReadMvLaneConf start...\n");
  if (path.empty()) {
    conf = kNoWorkingDirectory;
    return false;
  }
  vark::IniDocument document;
  std::ifstream in(path);
  if (!vark::AIniParserBase::parse(in, document)) {
    conf = "Parse File failed! : [" + path + "]\n";
    logLine('E', "Configuration %s refused: the file cannot be opened\n", path.c_str());
    return false;
  }

  const int count = laneCount(document);
  if (count < kMinLanes || count > kMaxLanes) {
    conf = "invalid MvLaneNum";
    logRefusal(path, in, [](const ConfigDiagnosis& diagnosis) {
      return diagnosis.refused(kGlobalSection, kLaneCountKey, "is not 1 or 2");
    });
    return false;
  }

  std::vector<stMvLaneInfo_t> table;
  Json::Value summary(Json::arrayValue);
  try {
    for (int i = 0; i < count; ++i) {
      Json::Value laneSummary(Json::objectValue);
      table.push_back(readLane(document, i, laneSummary));
      summary.append(laneSummary);
    }
  } catch (const RefusedKey& e) {
    conf = e.what();
    logRefusal(path, in, [&e](const ConfigDiagnosis& diagnosis) { return e.explain(diagnosis); });
    return false;
  } catch (const std::exception& e) {
    conf = e.what();
    logRefusal(path, in, [&e](const ConfigDiagnosis&) { return std::string(e.what()); });
    return false;
  }

  std::size_t first = 0;
  std::size_t second = 0;
  if (findRepeatedLaneNo(table, first, second)) {
    conf = "Dumplicate LaneNo detected!";
    logRefusal(path, in, [&](const ConfigDiagnosis& diagnosis) {
      return diagnosis.repeated(laneSection(first), laneSection(second), kLaneNoKey);
    });
    return false;
  }

  conf = jsontext::styled(summary);
  logLine('I', "ReadMvLaneConf Success,MvLaneConf=[%s],MvLaneNum=[%d]\n", maskedPasswords(summary).c_str(),
          count);
  lanes = std::move(table);
  return true;
}
