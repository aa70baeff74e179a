#include "ApiHarness.h"

#include <algorithm>
#include <filesystem>
#include <regex>

#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace apitest {
namespace {

constexpr const char* kLogDirName = "logs";

std::string libraryPath() {
  return std::string(MAROVEX_BIN_DIR) + "/" + platform::sharedLibraryFileName("Marovex");
}

std::string logDir() { return platform::currentDirectory() + "/" + kLogDirName; }

// The logger reads its settings when the library loads, so the file has to be there first.
std::string prepareAndLocate(const std::string& dir) {
  testsupport::writeFile(dir + "/EtcConfig/Marovex.ini",
                         testsupport::globalSectionText(1, logDir()));
  return libraryPath();
}

}  // namespace

LoadedLibrary& LoadedLibrary::instance() {
  static LoadedLibrary loaded;
  return loaded;
}

LoadedLibrary::LoadedLibrary() : cwd_(dir_.path()), binding_(prepareAndLocate(dir_.path())) {
  if (!binding_.ok()) ADD_FAILURE() << binding_.error();
}

LoadedLibrary::~LoadedLibrary() {
  if (binding_.ok()) binding_.uninit();
}

std::string LoadedLibrary::configPath() const {
  const char sep = platform::pathSeparator();
  return platform::currentDirectory() + sep + "EtcConfig" + sep + "Marovex.ini";
}

void LoadedLibrary::writeConfig(const std::string& content) const {
  testsupport::writeFile(configPath(), content);
}

void LoadedLibrary::removeConfig() const {
  std::error_code ec;
  fs::remove(configPath(), ec);
}

std::string LoadedLibrary::logText() const {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(logDir(), ec)) {
    if (entry.path().extension() == ".log") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& file : files) text += testsupport::readFile(file);
  return text;
}

std::string configText(const std::vector<LaneConfig>& lanes) {
  return testsupport::laneConfigText(lanes, logDir());
}

void ApiTest::SetUp() {
  ASSERT_TRUE(LoadedLibrary::instance().api().ok());
  logStart_ = LoadedLibrary::instance().logText().size();
}

void ApiTest::TearDown() {
  if (api().ok()) api().uninit();
  sim.stop();
}

void ApiTest::startLanes(int count, int deviceId) {
  ASSERT_TRUE(sim.start("127.0.0.1"));
  std::vector<LaneConfig> lanes;
  for (int i = 0; i < count; ++i) {
    LaneConfig lane;
    lane.laneNo = i + 1;
    lane.port = sim.port();
    lane.rsuId = deviceId;
    lane.readerId = deviceId;
    lanes.push_back(lane);
  }
  LoadedLibrary::instance().writeConfig(configText(lanes));
  const CallResult started = init();
  ASSERT_EQ(started.result, 0) << started.out;
}

namespace {

// A buffer that shows whether the library wrote to it: it reads kUntouched until then.
std::string markedBuffer(int capacity) {
  std::string buffer(static_cast<std::size_t>(std::max(capacity, 1)) + 1, '\0');
  buffer[0] = kUntouched[0];
  return buffer;
}

}  // namespace

CallResult ApiTest::init(int capacity) const {
  CallResult r;
  std::string buffer = markedBuffer(capacity);
  r.len = capacity;
  r.result = api().init(buffer.data(), &r.len);
  r.out = buffer.c_str();
  return r;
}

CallResult ApiTest::call(const char* operation, int lane, const char* input, int capacity) const {
  CallResult r;
  const MarovexOperationFn fn = api().operation(operation);
  EXPECT_NE(fn, nullptr) << operation;
  if (fn == nullptr) return r;
  std::string buffer = markedBuffer(capacity);
  r.len = capacity;
  r.result = fn(lane, input, buffer.data(), &r.len);
  r.out = buffer.c_str();
  return r;
}

CallResult ApiTest::getResponse(int capacity) const {
  CallResult r;
  std::string buffer = markedBuffer(capacity);
  r.len = capacity;
  r.result = api().getResponse(&r.code, buffer.data(), &r.len);
  r.out = buffer.c_str();
  return r;
}

std::string ApiTest::newLog() const {
  const std::string all = LoadedLibrary::instance().logText();
  return all.size() > logStart_ ? all.substr(logStart_) : std::string();
}

std::vector<unsigned> operationSerials(const std::string& log, const std::string& operation) {
  const std::regex line("\\]-([0-9]+):-?[0-9]+ " + operation + " input=");
  std::vector<unsigned> serials;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
       ++it) {
    serials.push_back(static_cast<unsigned>(std::stoul((*it)[1].str())));
  }
  return serials;
}

unsigned lastInitSerial(const std::string& log) {
  const std::regex line("\\]-([0-9]+): MvClientManage start initialize\\.\\.\\.");
  unsigned serial = 0;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
       ++it) {
    serial = static_cast<unsigned>(std::stoul((*it)[1].str()));
  }
  return serial;
}

}  // namespace apitest
