#include "ExampleRunner.h"

#include <chrono>

#include "common/JsonText.h"

namespace refdoc {
namespace {

// What an output buffer starts with until the library writes to it.
constexpr char kUntouched = '\x01';
constexpr int kUntouchedCode = -12345;
constexpr auto kSettleTime = std::chrono::seconds(10);

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size()) {
    text.replace(pos, from.size(), to);
  }
}

std::string portMember(const std::string& port) { return "\"Port\" : \"" + port + "\""; }

}  // namespace

ExampleRunner::ExampleRunner(const std::string& configExample, const std::string& library) {
  if (!sim_.start("127.0.0.1")) {
    error_ = "the simulator cannot listen";
    return;
  }
  // The library reads its log settings when it loads: the configuration comes first.
  testsupport::writeFile(dir_.file("EtcConfig/Marovex.ini"),
                         testsupport::withPort(configExample, sim_.port(), &configuredPort_));
  cwd_ = std::make_unique<testsupport::CurrentDirGuard>(dir_.path());
  api_ = std::make_unique<LibraryBinding>(library);
  if (!api_->ok()) error_ = api_->error();
}

ExampleRunner::~ExampleRunner() {
  if (api_ && api_->ok()) api_->uninit();
  api_.reset();
  cwd_.reset();
  sim_.stop();
}

Outcome ExampleRunner::run(const Example& example) {
  Json::Value scenario(Json::objectValue);
  scenario["Commands"] = example.answers.isNull() ? Json::Value(Json::objectValue) : example.answers;
  std::string problem;
  if (!sim_.loadScenario(scenario, &problem)) {
    Outcome refused;
    refused.written = true;
    refused.output = "answers refused by the simulator: " + problem;
    return refused;
  }
  Outcome outcome = call(example);
  // The simulator's port is the one thing of its set-up that Init reports.
  replaceAll(outcome.output, portMember(std::to_string(sim_.port())), portMember(configuredPort_));
  if (example.call == "Init" && outcome.result == 0) settle(outcome.output);
  return outcome;
}

Outcome ExampleRunner::call(const Example& example) {
  Outcome outcome;
  std::string buffer(static_cast<std::size_t>(example.capacity) + 1, '\0');
  buffer[0] = kUntouched;
  int len = example.capacity;
  int code = kUntouchedCode;
  if (example.call == "Init") {
    outcome.result = api_->init(buffer.data(), &len);
  } else if (example.call == "Uninit") {
    outcome.result = api_->uninit();
  } else if (example.call == "GetResponse") {
    outcome.result = api_->getResponse(&code, buffer.data(), &len);
  } else {
    const std::string request = example.request.value_or("");
    outcome.result =
        api_->operation(example.call)(example.lane, request.c_str(), buffer.data(), &len);
  }
  outcome.written = buffer[0] != kUntouched;
  if (outcome.written) outcome.output = buffer.c_str();
  if (code != kUntouchedCode) outcome.code = code;
  outcome.lenAfter = len;
  return outcome;
}

void ExampleRunner::settle(const std::string& initOutput) {
  Json::Value lanes;
  if (!jsontext::parse(initOutput, lanes) || !lanes.isArray()) return;
  for (const Json::Value& lane : lanes) {
    const int laneNo = std::stoi(lane["LaneNo"].asString());
    const bool reader = lane["ReaderID"].asString() != "-1";
    const bool rsu = lane["RSUID"].asString() != "-1";
    testsupport::waitUntil(
        [&] {
          Example query;
          query.call = "ETCStatusQuery";
          query.lane = laneNo;
          Json::Value status;
          const Outcome got = call(query);
          return jsontext::parse(got.output, status) &&
                 status["CardReaderStatus"].isNull() != reader &&
                 status["RSUStatus"].isNull() != rsu;
        },
        kSettleTime);
  }
}

}  // namespace refdoc
