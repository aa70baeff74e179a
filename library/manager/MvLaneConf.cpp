#include "manager/MvLaneConf.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "common/JsonText.h"
#include "logging/Logger.h"
#include "manager/IniParser.h"

namespace {

constexpr int kMinLanes = 1;
constexpr int kMaxLanes = 2;
constexpr const char* kLaneSectionPrefix = "MvLane";
constexpr const char* kPasswordKey = "PassWord";
constexpr const char* kPasswordMask = "******";
constexpr int kIpParts = 4;
constexpr long kMaxIpPart = 255;
constexpr int kDecimal = 10;

// One lane section being read: every key taken is checked, stored and added to the summary.
class LaneReader {
 public:
  LaneReader(const vark::IniDocument& document, const std::string& sectionName, Json::Value& summary)
      : section_(find(document, sectionName)), summary_(summary) {}

  std::string text(const char* key) {
    const std::string& value = valueOf(key);
    summary_[key] = value;
    return value;
  }

  std::string ipAddress(const char* key) {
    std::string value = text(key);
    if (!isIpAddress(value)) throw std::domain_error("invalid ip format");
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
    if (end == begin) throw std::domain_error(std::string(key) + " : invalid integer: " + value);
    if (errno == ERANGE || n < min || n > max) {
      throw std::domain_error(std::string(key) + " : out of range: " + value);
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
    throw std::domain_error(std::string(key) + " does not exists");
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

  const vark::IniSection* section_;
  Json::Value& summary_;
};

stMvLaneInfo_t readLane(const vark::IniDocument& document, int index, Json::Value& summary) {
  LaneReader reader(document, kLaneSectionPrefix + std::to_string(index), summary);
  stMvLaneInfo_t lane;
  lane.IpAddr = reader.ipAddress("IpAddr");
  lane.UserName = reader.text("UserName");
  lane.PassWord = reader.text(kPasswordKey);
  lane.Port = reader.number<std::uint16_t>("Port", 1024, 65535);
  lane.ProvinceNo = reader.number<std::uint16_t>("ProvinceNo", 0, 99);
  lane.CityNo = reader.number<std::uint16_t>("CityNo", 0, 99);
  lane.AreaNo = reader.number<std::uint16_t>("AreaNo", 0, 9999);
  lane.GateNo = reader.number<std::uint16_t>("GateNo", 0, 99);
  lane.LaneNo = reader.number<std::uint16_t>("LaneNo", 0, 99);
  lane.HeartBeatTime = reader.number<std::uint16_t>("HeartBeatTime", 1, 120);
  lane.TimeOut = reader.number<std::uint16_t>("TimeOut", 1, 120);
  lane.RSUID = reader.number<std::int16_t>("RSUID", -1, 1);
  lane.ReaderID = reader.number<std::int16_t>("ReaderID", -1, 1);
  lane.AutoLogout = reader.number<std::uint16_t>("AutoLogout", 0, 1);
  return lane;
}

// The lane count read by stream extraction; 0 when missing or not starting with a number.
int laneCount(const vark::IniDocument& document) {
  const auto global = document.find("Global");
  if (global == document.end()) return 0;
  const auto value = global->second.find("MvLaneNum");
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
  {
    std::ifstream in(path);
    if (!vark::AIniParserBase::parse(in, document)) {
      conf = "Parse File failed! : [" + path + "]\n";
      return false;
    }
  }

  const int count = laneCount(document);
  if (count < kMinLanes || count > kMaxLanes) {
    conf = "invalid MvLaneNum";
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
  } catch (const std::exception& e) {
    conf = e.what();
    return false;
  }

  std::set<std::uint16_t> laneNumbers;
  for (const stMvLaneInfo_t& lane : table) laneNumbers.insert(lane.LaneNo);
  if (laneNumbers.size() < table.size()) {
    conf = "Dumplicate LaneNo detected!";
    return false;
  }

  conf = jsontext::styled(summary);
  logLine('I', "ReadMvLaneConf Success,MvLaneConf=[%s],MvLaneNum=[%d]\n", maskedPasswords(summary).c_str(),
          count);
  lanes = std::move(table);
  return true;
}
