// Recording through the pair's exchanges: what the server sent back for each request, as the
// scenario that the simulator replays.
#include "SimRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "SimExchanges.h"
#include "SimScenario.h"
#include "TestSupport.h"
#include "common/JsonText.h"

using namespace std::chrono_literals;

namespace {

TEST(SimRecorderTest, KeepsEachRequestsOutcomeWithItsDelaysSerialOffsetsAndTheServersClose) {
  testsupport::ScratchDir dir;
  SimRecorder recorder(dir.file("session.json"));
  SimSummary summary;
  SimExchanges pair(1, "#1", summary, &recorder);
  const SimExchanges::Clock::time_point t0{};
  const char raw[] = "{\"B\":\"\xFF\xFE\"}";
  const std::string bytes(raw, sizeof raw - 1);  // kept as received, whatever the bytes
  pair.fromServer("03118", 1, "{}", t0);                  // before any request: no one's outcome
  pair.fromLane("03014", 5, "{}", t0);
  pair.fromServer("03118", 5, "{}", t0 + 1ms);            // an unknown id, after the latest request
  pair.fromServer("03114", 4, "stale", t0 + 10ms);        // matches no waiting 03014: the latest one
  pair.fromLane("03029", 99999999, "{\"NonCashTsSn\":\"T1\"}", t0 + 20ms);
  pair.fromLane("03014", 7, "{}", t0 + 25ms);
  pair.fromServer("03114", 7, bytes, t0 + 27ms);
  pair.fromServer("03129", 99999999, "{}", t0 + 30ms);
  pair.fromServer("03130", 0, "{\"NonCashTsSn\":\"T1\"}", t0 + 320ms);  // its serial wrapped round
  pair.serverClosed(true, t0 + 425ms);                                 // after the latest request

  Json::Value expected;
  ASSERT_TRUE(jsontext::parse(R"({"Replay": {
    "03014": [
      {"Sends": [{"Id": "03118", "DelayMs": 1, "Body": "{}"},
                 {"Id": "03114", "DelayMs": 10, "SerialOffset": -1, "Body": "stale"}]},
      {"Sends": [{"Id": "03114", "DelayMs": 2, "Body": "BYTES"}], "CloseMs": 400, "Reset": true}],
    "03029": [
      {"Sends": [{"Id": "03129", "DelayMs": 10, "Body": "{}"},
                 {"Id": "03130", "DelayMs": 300, "SerialOffset": 1, "Body": "{\"NonCashTsSn\":\"T1\"}"}]}]
  }})", expected));
  Json::Value withBytes = expected;
  withBytes["Replay"]["03014"][1]["Sends"][0]["Body"] = bytes;
  EXPECT_EQ(withBytes, recorder.scenario());

  // The file holds the same, in a form the simulator reads back.
  ASSERT_TRUE(recorder.writeNow());
  std::string error;
  Json::Value fromFile;
  ASSERT_TRUE(simscenario::loadFile(dir.file("session.json"),
                                    [&](const Json::Value& doc, std::string*) {
                                      fromFile = doc;
                                      return true;
                                    },
                                    &error))
      << error;
  EXPECT_EQ(withBytes, fromFile);
  SimSettings settings;
  std::map<std::string, CommandBehaviour> commands;
  ReplayQueues replay;
  ASSERT_TRUE(simscenario::parse(fromFile, settings, commands, replay, &error)) << error;
  EXPECT_EQ(bytes, replay.at("03014")[1].sends[0].body);
}

TEST(SimRecorderTest, AFileThatCannotBeWrittenIsToldAtOnce) {
  SimRecorder recorder("/nonexistent/dir/session.json");
  std::string error;
  EXPECT_FALSE(recorder.writeNow(&error));
  EXPECT_EQ("cannot write /nonexistent/dir/session.json.part", error);
}

}  // namespace
