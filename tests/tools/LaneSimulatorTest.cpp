#include "LaneSimulator.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SimClient.h"
#include "TestSupport.h"
#include "common/JsonText.h"
#include "transport/Packet.h"

using namespace std::chrono_literals;

namespace {

std::string jsonBody(const Json::Value& v) { return jsontext::styled(v); }

Json::Value object(std::initializer_list<std::pair<const char*, Json::Value>> members) {
  Json::Value v(Json::objectValue);
  for (const auto& m : members) v[m.first] = m.second;
  return v;
}

class LaneSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.setEcho(&log);
    ASSERT_TRUE(sim.start());
    ASSERT_NE(sim.port(), 0);
  }

  std::unique_ptr<SimClient> connect() {
    auto c = std::make_unique<SimClient>();
    EXPECT_TRUE(c->connect(sim.port()));
    return c;
  }

  // Sends one request and returns the first packet that comes back.
  SimPacket exchange(SimClient& c, const std::string& cmdId, unsigned serial,
                     const Json::Value& body = Json::Value(Json::objectValue)) {
    EXPECT_TRUE(c.send(cmdId, serial, jsonBody(body)));
    SimPacket p;
    EXPECT_TRUE(c.next(&p)) << "no answer to " << cmdId;
    return p;
  }

  std::ostringstream log;  // read only after stop()
  LaneSimulator sim;
};

TEST_F(LaneSimulatorTest, AnswersEveryRequestIdWithIdPlus100AndTheEchoedSerial) {
  auto c = connect();
  unsigned serial = 99999960;  // up to the top of the 8-digit range
  for (int id = 3001; id <= 3032; ++id) {
    if (id == 3030) continue;
    const std::string cmd = "0" + std::to_string(id);
    SimPacket answer = exchange(*c, cmd, serial);
    EXPECT_EQ(answer.cmdId, "0" + std::to_string(id + 100));
    EXPECT_EQ(answer.serial, serial);
    ASSERT_TRUE(answer.json.isObject()) << answer.body;
    EXPECT_EQ(answer.json["ErrorCode"], "0") << cmd;
    if (id == 3029) {
      SimPacket push;
      ASSERT_TRUE(c->next(&push));
      EXPECT_EQ(push.cmdId, "03130");
    }
    ++serial;
  }
  EXPECT_EQ(c->badPackets(), 0u);  // every answer carried a correct upper-case check code
  EXPECT_EQ(sim.received().size(), 31u);
}

TEST_F(LaneSimulatorTest, RecordsRequestsWithParsedBodies) {
  auto c = connect();
  exchange(*c, "03001", 7, object({{"UserName", "lane1"}, {"LaneOp", "0"}}));
  ASSERT_TRUE(c->send("03021", 8, "not json"));
  ASSERT_TRUE(c->next(nullptr));
  auto all = sim.received();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].cmdId, "03001");
  EXPECT_EQ(all[0].serial, 7u);
  EXPECT_EQ(all[0].json["UserName"], "lane1");
  EXPECT_EQ(all[0].connection, 1u);
  EXPECT_EQ(all[1].body, "not json");
  EXPECT_TRUE(all[1].json.isNull());
  EXPECT_EQ(sim.receivedWith("3021").size(), 1u);
  sim.clearReceived();
  EXPECT_TRUE(sim.received().empty());

  sim.setRecording(false);
  exchange(*c, "03021", 9);
  EXPECT_TRUE(sim.received().empty());
}

// The frame with its check code written in lower case. The packet's send time changes the code
// from one second to the next, and a code of digits only would stay as it is: the serial is
// stepped until the code holds a letter.
std::string frameWithLowerCaseCheckCode(unsigned firstSerial) {
  constexpr unsigned kTries = 100;
  for (unsigned serial = firstSerial; serial < firstSerial + kTries; ++serial) {
    std::string frame = SimClient::frame("03001", serial, "{\"A\":\"z\"}");
    const std::string original = frame;
    for (std::size_t i = frame.size() - 11; i < frame.size() - 3; ++i) {
      frame[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(frame[i])));
    }
    if (frame != original) return frame;
  }
  return std::string();
}

TEST_F(LaneSimulatorTest, DropsPacketsThatFailACheckWithoutAnswering) {
  auto c = connect();
  std::string badCode = SimClient::frame("03001", 1, "{}");
  badCode[badCode.size() - 11] ^= 0x01;  // first character of the check code
  const std::string lowerCode = frameWithLowerCaseCheckCode(2);
  ASSERT_FALSE(lowerCode.empty());
  std::string badBodyLength = SimClient::frame("03001", 3, "{}");
  badBodyLength[packet::kBodyLenOffset + 7] = '3';
  ASSERT_TRUE(c->sendRaw(badCode + lowerCode + badBodyLength));

  SimPacket answer = exchange(*c, "03021", 4);
  EXPECT_EQ(answer.serial, 4u);  // the first answer is the good packet's: the others got none
  EXPECT_GE(sim.badPackets(), 2u);
  ASSERT_EQ(sim.received().size(), 1u);
  EXPECT_EQ(sim.received()[0].cmdId, "03021");
}

TEST_F(LaneSimulatorTest, RequestTooDeeplyNestedIsAnsweredLikeAnyOtherNonJsonBody) {
  auto c = connect();
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  ASSERT_TRUE(c->sendRaw(SimClient::frame("03013", 1, deep) + SimClient::frame("03021", 2, "{}")));
  SimPacket first;
  SimPacket second;
  ASSERT_TRUE(c->next(&first));
  ASSERT_TRUE(c->next(&second));
  EXPECT_EQ(first.serial, 1u);
  EXPECT_EQ(second.serial, 2u);
  // Each request is answered once, also after more bytes arrive on the connection.
  EXPECT_EQ(exchange(*c, "03021", 3).serial, 3u);
  EXPECT_EQ(sim.received().size(), 3u);
  EXPECT_TRUE(sim.received()[0].json.isNull());
}

TEST_F(LaneSimulatorTest, LeavesUnknownIdsAndAcknowledgementsUnanswered) {
  auto c = connect();
  ASSERT_TRUE(c->send("03099", 1, "{}"));
  ASSERT_TRUE(c->send("03030", 2, "{}"));
  ASSERT_TRUE(c->send("03118", 3, "{}"));
  SimPacket answer = exchange(*c, "03021", 4);
  EXPECT_EQ(answer.serial, 4u);
  EXPECT_EQ(sim.received().size(), 4u);
}

TEST_F(LaneSimulatorTest, DefaultAnswersCarryDeviceDataAndEchoTheOperation) {
  auto c = connect();
  SimPacket search = exchange(*c, "03010", 1, object({{"ICReaderOP", "1"}, {"TimeOut", 3000}}));
  EXPECT_EQ(search.json["CardNo"], SimSettings::kDefaultCardNo);
  EXPECT_EQ(search.json["ICReaderOP"], "1");

  sim.setCardNo("3201000000000000042");
  SimPacket info = exchange(*c, "03011", 2, object({{"ICReaderOP", "2"}}));
  EXPECT_EQ(info.json["CardNo"], "3201000000000000042");
  EXPECT_EQ(info.json["ICReaderOP"], "2");
  EXPECT_EQ(info.json["Balance"], "000003E8");

  SimPacket obu = exchange(*c, "03025", 3, object({{"OpType", "3"}}));
  EXPECT_EQ(obu.json["OpType"], "3");
  EXPECT_EQ(obu.json["OBUVehSize"], "11940320");
  EXPECT_EQ(obu.json["OBUID"], SimSettings::kDefaultObuId);

  SimPacket status = exchange(*c, "03016", 4, object({{"UserName", "lane1"}}));
  for (const char* name : {"CardReaderStatus1", "RSULastTime0", "RSUErrorMsg1"}) {
    EXPECT_TRUE(status.json[name].isString()) << name;
  }
}

TEST_F(LaneSimulatorTest, BehaviourOverridesErrorCodeMembersAndRemovals) {
  CommandBehaviour b;
  b.errorCode = 0;  // a JSON number
  b.members = object({{"Balance", "00000064"}, {"Extra", true}});
  b.removeMembers = {"LittleTime"};
  sim.setBehaviour("03011", b);
  CommandBehaviour refuse;
  refuse.errorCode = "-1";
  sim.setBehaviour("3021", refuse);

  auto c = connect();
  SimPacket info = exchange(*c, "03011", 1);
  EXPECT_TRUE(info.json["ErrorCode"].isInt());
  EXPECT_EQ(info.json["ErrorCode"].asInt(), 0);
  EXPECT_EQ(info.json["Balance"], "00000064");
  EXPECT_EQ(info.json["Extra"], true);
  EXPECT_FALSE(info.json.isMember("LittleTime"));
  EXPECT_TRUE(info.json.isMember("LittleCashMoney"));
  EXPECT_EQ(exchange(*c, "03021", 2).json["ErrorCode"], "-1");

  sim.clearBehaviours();
  EXPECT_EQ(exchange(*c, "03021", 3).json["ErrorCode"], "0");
}

TEST_F(LaneSimulatorTest, RawBodyReplacesTheJsonAnswer) {
  CommandBehaviour b;
  b.rawBody = "[1,2]";
  sim.setBehaviour("03013", b);
  auto c = connect();
  SimPacket answer = exchange(*c, "03013", 5);
  EXPECT_EQ(answer.cmdId, "03113");
  EXPECT_EQ(answer.body, "[1,2]");
}

TEST_F(LaneSimulatorTest, NoAnswerAndWrongSerial) {
  CommandBehaviour silent;
  silent.noAnswer = true;
  sim.setBehaviour("03005", silent);
  CommandBehaviour wrong;
  wrong.wrongSerial = true;
  sim.setBehaviour("03020", wrong);

  auto c = connect();
  ASSERT_TRUE(c->send("03005", 10, "{}"));
  SimPacket answer = exchange(*c, "03020", 11);
  EXPECT_EQ(answer.cmdId, "03120");
  EXPECT_EQ(answer.serial, 12u);
  ASSERT_TRUE(sim.waitForPacket("03005", 1s));
  EXPECT_NE(exchange(*c, "03020", 99999999).serial, 99999999u);
}

TEST_F(LaneSimulatorTest, DelayedAnswerDoesNotHoldUpOtherConnections) {
  CommandBehaviour slow;
  slow.delayMs = 1500;  // room for the other answers on a loaded machine
  sim.setBehaviour("03010", slow);
  auto slowClient = connect();
  auto fastClient = connect();

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(slowClient->send("03010", 1, "{}"));
  ASSERT_TRUE(sim.waitForPacket("03010", 2s));
  // the same connection and another one are answered at once while the first answer waits
  EXPECT_EQ(exchange(*slowClient, "03021", 2).serial, 2u);
  EXPECT_EQ(exchange(*fastClient, "03011", 3).serial, 3u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);

  SimPacket late;
  ASSERT_TRUE(slowClient->next(&late));
  EXPECT_EQ(late.serial, 1u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST_F(LaneSimulatorTest, CloseConnectionInsteadOfAnswering) {
  CommandBehaviour b;
  b.closeConnection = true;
  sim.setBehaviour("03001", b);
  auto c = connect();
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 1; }));
  ASSERT_TRUE(c->send("03001", 1, "{}"));
  EXPECT_TRUE(c->waitClosed());
  EXPECT_FALSE(c->next(nullptr, 100ms));
  EXPECT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 0; }));

  auto again = connect();  // the listener goes on accepting
  EXPECT_EQ(exchange(*again, "03021", 2).cmdId, "03121");
}

TEST_F(LaneSimulatorTest, PaymentIsAnsweredThenPushedAndTheAcknowledgementRecorded) {
  CommandBehaviour pay;
  pay.pushDelayMs = 100;
  sim.setBehaviour("03029", pay);
  auto c = connect();
  const Json::Value request = object({{"NonCashTsSn", "TS0001"}, {"UserName", "lane1"},
                                      {"OpSerialNo", "17"}, {"Timeout", "5000"}});
  const auto start = std::chrono::steady_clock::now();
  SimPacket answer = exchange(*c, "03029", 42, request);
  EXPECT_EQ(answer.cmdId, "03129");
  EXPECT_EQ(answer.json["NonCashTsSn"], "TS0001");

  SimPacket push;
  ASSERT_TRUE(c->next(&push));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(push.cmdId, "03130");
  EXPECT_EQ(push.serial, 42u);
  EXPECT_EQ(push.json["NonCashTsSn"], "TS0001");
  EXPECT_EQ(push.json["UserName"], "lane1");
  EXPECT_EQ(push.json["OpSerialNo"], "17");
  EXPECT_EQ(push.json["ErrorCode"], "0");

  ASSERT_TRUE(c->send("03030", push.serial, jsonBody(object({{"Result", "0"}}))));
  SimPacket ack;
  ASSERT_TRUE(sim.waitForPacket("03030", 2s, &ack));
  EXPECT_EQ(ack.serial, 42u);
  EXPECT_EQ(ack.json["Result"], "0");
  EXPECT_FALSE(c->next(nullptr, 100ms));  // the acknowledgement gets no answer
}

TEST_F(LaneSimulatorTest, PaymentPushCanComeFirstCarryOtherMembersOrStayAway) {
  CommandBehaviour first;
  first.pushBeforeAnswer = true;
  first.pushMembers = object({{"NonCashTsSn", "OTHER"}, {"ErrorCode", "7"}});
  first.pushRemoveMembers = {"UserName"};
  sim.setBehaviour("03029", first);
  auto c = connect();
  SimPacket p = exchange(*c, "03029", 1, object({{"NonCashTsSn", "TS1"}, {"UserName", "u"}}));
  EXPECT_EQ(p.cmdId, "03130");
  EXPECT_EQ(p.json["NonCashTsSn"], "OTHER");
  EXPECT_EQ(p.json["ErrorCode"], "7");
  EXPECT_FALSE(p.json.isMember("UserName"));
  ASSERT_TRUE(c->next(&p));
  EXPECT_EQ(p.cmdId, "03129");

  CommandBehaviour none;
  none.noPush = true;
  sim.setBehaviour("03029", none);
  EXPECT_EQ(exchange(*c, "03029", 2).cmdId, "03129");
  EXPECT_EQ(exchange(*c, "03032", 3).cmdId, "03132");  // no push came in between
}

TEST_F(LaneSimulatorTest, PaymentIsPushedOnlyAfterAnAcceptingAnswerUnlessForced) {
  auto c = connect();
  const Json::Value request = object({{"NonCashTsSn", "TS7"}});
  CommandBehaviour refused;
  refused.errorCode = "5";
  CommandBehaviour silent;
  silent.noAnswer = true;
  for (const CommandBehaviour& b : {refused, silent}) {
    sim.setBehaviour("03029", b);
    ASSERT_TRUE(c->send("03029", 1, jsonBody(request)));
    // The next packet is the answer to the following request: no push came in between.
    SimPacket next = exchange(*c, "03021", 2);
    if (!b.noAnswer) {
      EXPECT_EQ(next.cmdId, "03129");
      ASSERT_TRUE(c->next(&next));
    }
    EXPECT_EQ(next.cmdId, "03121");
  }
  EXPECT_TRUE(sim.pushAcks().empty());

  silent.forcePush = true;
  sim.setBehaviour("03029", silent);
  EXPECT_EQ(exchange(*c, "03029", 3, request).cmdId, "03130");
  refused.forcePush = true;
  sim.setBehaviour("03029", refused);
  EXPECT_EQ(exchange(*c, "03029", 4, request).cmdId, "03129");
  SimPacket push;
  ASSERT_TRUE(c->next(&push));
  EXPECT_EQ(push.cmdId, "03130");
  ASSERT_TRUE(c->send("03030", 4, "{}"));
  ASSERT_TRUE(c->send("03030", 77, "{}"));  // acknowledges nothing that was pushed
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.strayAcks() == 1; }));
  EXPECT_EQ(1, sim.pushAcks()["TS7"]);
}

TEST_F(LaneSimulatorTest, TakingPushAcknowledgementsForgetsTheAcknowledgedAndTheLongUnanswered) {
  auto c = connect();
  SimPacket push;
  for (const unsigned serial : {1u, 2u}) {
    const Json::Value request = object({{"NonCashTsSn", "TS" + std::to_string(serial)}});
    EXPECT_EQ(exchange(*c, "03029", serial, request).cmdId, "03129");
    ASSERT_TRUE(c->next(&push));
    ASSERT_EQ(push.cmdId, "03130");
  }
  ASSERT_TRUE(c->send("03030", 1, "{}"));
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.pushAcks()["TS1"] == 1; }));
  EXPECT_EQ(sim.takePushAcks(), (std::map<std::string, int>{{"TS1", 1}, {"TS2", 0}}));
  // TS2 gets one more take to be acknowledged; TS1's record is gone.
  EXPECT_EQ(sim.takePushAcks(), (std::map<std::string, int>{{"TS2", 0}}));
  EXPECT_TRUE(sim.takePushAcks().empty());
  ASSERT_TRUE(c->send("03030", 1, "{}"));
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.strayAcks() == 1; }));
  EXPECT_TRUE(sim.pushAcks().empty());
}

TEST_F(LaneSimulatorTest, LaneThatStopsReadingHoldsUpNeitherOtherLanesNorDelayedWork) {
  sim.setEcho(nullptr);  // printing megabytes would cost more than the sends under a sanitizer
  // One answer larger than the socket buffers fills the way to a lane that reads nothing; the
  // delayed answers behind it, sent from the timer thread, used to block that thread for 2 s each
  // and so delay every other connection's delayed answers.
  CommandBehaviour bulky;
  bulky.rawBody = std::string(8 << 20, 'x');
  sim.setBehaviour("03013", bulky);
  CommandBehaviour late;
  late.delayMs = 50;
  sim.setBehaviour("03016", late);
  sim.setBehaviour("03021", late);

  auto stuck = connect();
  ASSERT_TRUE(stuck->send("03013", 1, "{}"));
  for (unsigned s = 2; s <= 4; ++s) ASSERT_TRUE(stuck->send("03016", s, "{}"));
  // Requests of a connection are handled in order: once these are in, the bulk is queued.
  ASSERT_TRUE(sim.waitForPacket("03016", 20s, nullptr, 3));
  auto other = connect();
  for (unsigned s = 10; s < 13; ++s) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(*other, "03021", s).serial, s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  }
  // Bytes the stuck lane does not take within the send limit give its connection up.
  EXPECT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 1; }, 20s));
  EXPECT_TRUE(stuck->waitClosed(20s));
}

// The send limit counts from the lane's last progress: a lane that takes bytes slowly for longer
// than the limit keeps its connection and gets every byte.
TEST_F(LaneSimulatorTest, SlowLaneThatKeepsReadingIsNotGivenUp) {
  sim.setEcho(nullptr);
  constexpr std::size_t kBytes = 48u << 20;  // at the pace below, far longer than the send limit
  constexpr std::size_t kPerRead = 128u << 10;
  constexpr auto kPace = 10ms;
  SimSocket lane(platform::tcpSocket());
  ASSERT_TRUE(lane.valid() && platform::connectStart(lane.get(), "127.0.0.1", sim.port()));
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  sim.sendRawToAll(std::string(kBytes, 'x'));
  std::vector<char> chunk(kPerRead);
  std::size_t received = 0;
  while (received < kBytes && std::chrono::steady_clock::now() - start < 30s) {
    if (platform::waitReadable(lane.get(), 1s) <= 0) break;
    const long n = platform::recvBytes(lane.get(), chunk.data(), chunk.size());
    if (n <= 0) break;
    received += static_cast<std::size_t>(n);
    std::this_thread::sleep_for(kPace);  // the lane's pace, not a wait for the simulator
  }
  EXPECT_EQ(kBytes, received);
  EXPECT_GT(std::chrono::steady_clock::now() - start, SimConnection::kSendTimeout);
  EXPECT_EQ(1u, sim.connectionCount());
}

TEST_F(LaneSimulatorTest, DeliveryInPausedSlicesArrivesWholeAndLate) {
  SimFaultPlan slices;
  slices.sliceBytes = 7;
  slices.pauseMs = 2;
  sim.setFaults(slices);
  auto c = connect();
  const auto start = std::chrono::steady_clock::now();
  SimPacket answer = exchange(*c, "03016", 5);
  EXPECT_EQ(answer.cmdId, "03116");
  // At least one pause between every two slices of at most 7 bytes.
  const auto slicesNeeded = (answer.body.size() + packet::kOverhead) / 7;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2 * slicesNeeded));
  EXPECT_EQ(0u, c->badPackets());
}

TEST_F(LaneSimulatorTest, CutAfterSomeBytesClosesOrResetsInTheMiddleOfAPacket) {
  for (const bool reset : {false, true}) {
    SimFaultPlan cut;
    cut.cutAfterBytes = 100;  // inside the first answer
    cut.reset = reset;
    sim.setFaults(cut);
    auto c = connect();
    ASSERT_TRUE(c->send("03021", 1, "{}"));
    EXPECT_TRUE(c->waitClosed());
    EXPECT_EQ(100u, c->bytesReceived()) << "reset " << reset;
    EXPECT_EQ(reset, c->wasReset());
    EXPECT_FALSE(c->next(nullptr, 10ms));
  }
}

TEST_F(LaneSimulatorTest, AnswerFaultsStaleSerialsUnknownPushesAndFloodsOfUnknownIds) {
  SimFaultPlan faults;
  faults.staleSerials = 1;
  faults.unknownPushes = 1;
  faults.unknownIdFlood = 2;
  sim.setFaults(faults);
  auto c = connect();
  ASSERT_TRUE(c->send("03021", 50, "{}"));
  std::vector<SimPacket> got(4);
  for (SimPacket& p : got) ASSERT_TRUE(c->next(&p));
  EXPECT_EQ("03118", got[0].cmdId);
  EXPECT_EQ("03119", got[1].cmdId);
  EXPECT_EQ("03121", got[2].cmdId);
  EXPECT_EQ(49u, got[2].serial);
  EXPECT_EQ("03130", got[3].cmdId);
  EXPECT_NE(50u, got[3].serial);
  EXPECT_EQ(0u, got[3].json["NonCashTsSn"].asString().find("UNKNOWN"));
}

TEST_F(LaneSimulatorTest, NotReadingLeavesRequestsUnansweredUntilSwitchedOff) {
  SimFaultPlan deaf;
  deaf.noRead = true;
  sim.setFaults(deaf);
  auto c = connect();
  ASSERT_TRUE(c->send("03021", 1, "{}"));
  EXPECT_FALSE(c->next(nullptr, 300ms));
  EXPECT_TRUE(sim.receivedWith("03021").empty());
  sim.setFaults(SimFaultPlan());
  SimPacket p;
  ASSERT_TRUE(c->next(&p));
  EXPECT_EQ(1u, p.serial);
}

TEST_F(LaneSimulatorTest, ServesSeveralConnectionsAtOnce) {
  constexpr int kLanes = 4;
  std::vector<std::unique_ptr<SimClient>> clients;
  for (int i = 0; i < kLanes; ++i) clients.push_back(connect());
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == kLanes; }));

  std::vector<std::thread> lanes;
  std::vector<int> answered(kLanes, 0);
  for (int i = 0; i < kLanes; ++i) {
    lanes.emplace_back([&, i] {
      for (unsigned n = 0; n < 20; ++n) {
        const unsigned serial = static_cast<unsigned>(i) * 1000 + n;
        if (!clients[i]->send("03021", serial, "{}")) return;
        SimPacket p;
        if (clients[i]->next(&p) && p.serial == serial) ++answered[i];
      }
    });
  }
  for (auto& t : lanes) t.join();
  for (int i = 0; i < kLanes; ++i) EXPECT_EQ(answered[i], 20) << "lane " << i;

  sim.dropConnections();
  for (auto& c : clients) EXPECT_TRUE(c->waitClosed());
  EXPECT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 0; }));
}

TEST_F(LaneSimulatorTest, SendsPacketsAndRawBytesToEveryConnection) {
  auto a = connect();
  auto b = connect();
  ASSERT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 2; }));
  sim.sendToAll("03130", 5, "{\"NonCashTsSn\":\"X\"}");
  sim.sendRawToAll(SimClient::frame("03116", 6, "{}") + "garbage");
  for (SimClient* c : {a.get(), b.get()}) {
    SimPacket p;
    ASSERT_TRUE(c->next(&p));
    EXPECT_EQ(p.cmdId, "03130");
    EXPECT_EQ(p.json["NonCashTsSn"], "X");
    ASSERT_TRUE(c->next(&p));
    EXPECT_EQ(p.cmdId, "03116");
    EXPECT_EQ(p.serial, 6u);
  }
}

TEST_F(LaneSimulatorTest, WaitForPacketCountsAndTimesOut) {
  auto c = connect();
  EXPECT_FALSE(sim.waitForPacket("03021", 50ms));
  for (unsigned s = 1; s <= 3; ++s) ASSERT_TRUE(c->send("03021", s, "{}"));
  SimPacket p;
  ASSERT_TRUE(sim.waitForPacket("03021", 2s, &p, 3));
  EXPECT_EQ(p.serial, 3u);
  ASSERT_TRUE(sim.waitForPacket("03021", 2s, &p, 2));
  EXPECT_EQ(p.serial, 2u);
  EXPECT_FALSE(sim.waitForPacket("03021", 50ms, &p, 4));
}

TEST_F(LaneSimulatorTest, StopWithOpenConnectionsAndPendingWorkReturnsPromptly) {
  CommandBehaviour slow;
  slow.delayMs = 10000;
  sim.setBehaviour("03021", slow);
  auto a = connect();
  auto b = connect();
  ASSERT_TRUE(a->send("03021", 1, "{}"));
  ASSERT_TRUE(sim.waitForPacket("03021", 2s));

  const auto start = std::chrono::steady_clock::now();
  sim.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(sim.connectionCount(), 0u);
  EXPECT_TRUE(a->waitClosed());
  EXPECT_TRUE(b->waitClosed());
  EXPECT_EQ(sim.port(), 0);

  ASSERT_TRUE(sim.start());  // it can start again
  auto c = connect();
  sim.clearBehaviours();
  EXPECT_EQ(exchange(*c, "03021", 2).serial, 2u);
}

TEST_F(LaneSimulatorTest, LogsOneLinePerPacket) {
  auto c = connect();
  exchange(*c, "03001", 3, object({{"UserName", "a\tb"}}));
  sim.stop();
  const std::string text = log.str();
  EXPECT_NE(text.find("recv #1 03001 LaneLogin 00000003 {"), std::string::npos) << text;
  EXPECT_NE(text.find("send #1 03101 LaneLogin-answer 00000003 {\"ErrorCode\":\"0\""), std::string::npos) << text;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("recv", 0) == 0) {
      EXPECT_NE(line.find("\"a\\tb\""), std::string::npos) << line;
    }
  }
}

TEST(LaneSimulatorStartTest, FailsOnAnAddressInUseOrABadHost) {
  LaneSimulator first;
  ASSERT_TRUE(first.start());
  EXPECT_FALSE(first.start());  // already running
  LaneSimulator second;
  std::string why;
  EXPECT_FALSE(second.start("127.0.0.1", first.port(), &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(second.start("not-an-address"));
}

}  // namespace

namespace {

TEST_F(LaneSimulatorTest, LoadsScenarioFilesAndRejectsMalformedOnes) {
  testsupport::ScratchDir dir;
  testsupport::writeFile(dir.file("good.json"), R"({
    "CardNo": "3201000000000000007",
    "Commands": {"03021": {"ErrorCode": "-2"}, "3010": {"Members": {"Extra": "1"}}}})");
  testsupport::writeFile(dir.file("notjson.json"), "{\"Commands\": ");
  testsupport::writeFile(dir.file("badmember.json"), R"({"Commands": {"03021": {"Delay": 1}}})");

  std::string error;
  ASSERT_TRUE(sim.loadScenarioFile(dir.file("good.json"), &error)) << error;
  auto c = connect();
  EXPECT_EQ(exchange(*c, "03021", 1).json["ErrorCode"], "-2");
  SimPacket card = exchange(*c, "03010", 2);
  EXPECT_EQ(card.json["CardNo"], "3201000000000000007");
  EXPECT_EQ(card.json["Extra"], "1");

  for (const char* name : {"notjson.json", "badmember.json", "missing.json"}) {
    error.clear();
    EXPECT_FALSE(sim.loadScenarioFile(dir.file(name), &error)) << name;
    EXPECT_NE(error.find(name), std::string::npos) << error;
  }
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  EXPECT_EQ(exchange(*c, "03021", 3).json["ErrorCode"], "-2");  // still the good scenario

  // loading replaces every behaviour
  ASSERT_TRUE(sim.loadScenario(Json::Value(Json::objectValue)));
  EXPECT_EQ(exchange(*c, "03021", 4).json["ErrorCode"], "0");
  EXPECT_EQ(sim.settings().cardNo, "3201000000000000007");
}

TEST_F(LaneSimulatorTest, TheExampleScenarioLoads) {
  std::string error;
  const auto example = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "tools" /
                       "lanesim" / "example-scenario.json";
  EXPECT_TRUE(sim.loadScenarioFile(example.string(), &error)) << error;
}

}  // namespace

namespace {

// Each request with recorded outcomes left gets the next one: its packets with their delays and
// serial offsets, and the server's close; then the id is answered as usual again.
TEST_F(LaneSimulatorTest, ReplaysRecordedOutcomesInOrderThenAnswersAsUsual) {
  Json::Value scenario;
  ASSERT_TRUE(jsontext::parse(R"({"Replay": {"03014": [
      {"Sends": [{"Id": "03118", "DelayMs": 0, "Body": "{}"},
                 {"Id": "03114", "DelayMs": 0, "SerialOffset": -1, "Body": "not json"}]},
      {"Sends": [{"Id": "03114", "DelayMs": 40, "Body": "{\"ErrorCode\":\"7\"}"}], "CloseMs": 60}]}})",
                              scenario));
  std::string error;
  ASSERT_TRUE(sim.loadScenario(scenario, &error)) << error;
  auto c = connect();
  ASSERT_TRUE(c->send("03014", 10, "{}"));
  SimPacket unknown, stale;
  ASSERT_TRUE(c->next(&unknown) && c->next(&stale));
  EXPECT_EQ("03118", unknown.cmdId);
  EXPECT_EQ(10u, unknown.serial);
  EXPECT_EQ("03114", stale.cmdId);
  EXPECT_EQ(9u, stale.serial);
  EXPECT_EQ("not json", stale.body);

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(c->send("03014", 11, "{}"));
  SimPacket late;
  ASSERT_TRUE(c->next(&late));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
  EXPECT_EQ(11u, late.serial);
  EXPECT_EQ("7", late.json["ErrorCode"].asString());
  EXPECT_TRUE(c->waitClosed());

  auto again = connect();
  EXPECT_EQ("0", exchange(*again, "03014", 12).json["ListCount"].asString());
}

}  // namespace
