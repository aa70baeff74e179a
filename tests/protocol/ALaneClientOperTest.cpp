#include "protocol/ALaneClientOper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "LaneSimulator.h"
#include "LogCapture.h"
#include "RawPeer.h"
#include "TestSupport.h"
#include "common/JsonText.h"
#include "common/Md5.h"
#include "platform/Platform.h"
#include "transport/Package.h"
#include "transport/Packet.h"

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

// Long enough for an answer on a loaded machine, short enough for the tests that wait it out.
constexpr unsigned kTimeOutMs = 1000;
constexpr milliseconds kPacketWait{3000};
constexpr milliseconds kQuick{250};  // well below every deadline a test waits out

using Method = int (ALaneClientOper::*)(const char*, std::string&);

constexpr const char* kPayment =
    R"({"Timeout": "3000", "NonCashTsSn": "TS1", "UserName": "lane1", "Money": "150"})";

// The steady clock, counting the waits for answers that begin: a test knows that a request waits
// (and a payment in which of its two stages) without sleeping.
class CountingClock : public WaitClock {
 public:
  bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cond,
                 Clock::time_point deadline, FunctionRef<bool()> done) const override {
    ++begun_;
    return WaitClock::waitUntil(lock, cond, deadline, done);
  }
  unsigned begun() const { return begun_.load(); }

 private:
  mutable std::atomic<unsigned> begun_{0};
};

constexpr const char* kLaneName = "Lane 7";

stLaneClientSetup_t setupWith(const WaitClock* clock, SerialSource* serials = nullptr,
                              const char* logName = kLaneName) {
  stLaneClientSetup_t setup;
  setup.logName = logName;
  setup.clock = clock;
  setup.serials = serials;
  return setup;
}

class TestClient : public ALaneClientOper {
 public:
  using ALaneClientOper::ALaneClientOper;
  using ALaneClientOper::handlePackage;
};

Json::Value parsed(const std::string& text) {
  Json::Value root;
  EXPECT_TRUE(jsontext::parse(text, root)) << text;
  return root;
}

std::string errorResult(const char* message) {
  Json::Value error(Json::objectValue);
  error["ErrMsg"] = message;
  error["Result"] = "3";
  return jsontext::styled(error);
}

// A message part as the transport hands it over: id, serial, body length, body.
std::string messagePart(const char* cmdId, unsigned serial, const std::string& body) {
  char header[32];
  std::snprintf(header, sizeof header, "%s%08u%08zu", cmdId, serial, body.size());
  return header + body;
}

std::string serialText(unsigned serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%08u", serial % 100000000);
  return text;
}

// Waits until `times` lines of the log end in `suffix`: the receive thread writes most of them.
bool logged(const testsupport::LogCapture& log, const std::string& suffix, int times = 1) {
  return testsupport::waitUntil([&] { return log.count(suffix) >= times; });
}

// How often `piece` occurs in the log.
int occurrences(const testsupport::LogCapture& log, const std::string& piece) {
  const std::string text = log.text();
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++n;
  }
  return n;
}

long long elapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

class ALaneClientOperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start("127.0.0.1", 0));
    client.setUiTimeOut(2000);
    ASSERT_EQ(client.connectToServer("127.0.0.1", sim.port()), 0);
    client.setUiTimeOut(kTimeOutMs);
  }
  void TearDown() override {
    platform::clearFaults();
    client.closeSocket();
    sim.stop();
  }

  // The body of the last request with that id that reached the simulator.
  Json::Value sent(const std::string& cmdId) {
    SimPacket packet;
    EXPECT_TRUE(sim.waitForPacket(cmdId, kPacketWait, &packet)) << cmdId;
    return packet.json;
  }

  void behave(const std::string& cmdId, const std::function<void(CommandBehaviour&)>& set) {
    CommandBehaviour b;
    set(b);
    sim.setBehaviour(cmdId, b);
  }

  LaneSimulator sim;
  CountingClock waits;
  TestClient client{setupWith(&waits)};
};

// ---- Requests on the wire -----------------------------------------------------------------------

struct CommandCase {
  Method method;
  const char* id;
  const char* opKey;  // null: no operation member
  const char* opValue;
  const char* devIdFrom;
};

TEST_F(ALaneClientOperTest, EveryCommandGoesOutUnderItsIdWithItsOperationMember) {
  const CommandCase cases[] = {
      {&ALaneClientOper::LaneQuit, "03002", "LaneOp", "1", nullptr},
      {&ALaneClientOper::RSUOpen, "03003", "OpType", "6", "RSUID"},
      {&ALaneClientOper::RSUClose, "03004", "OpType", "8", "RSUID"},
      {&ALaneClientOper::GetOBUInfo_GD, "03006", "OpType", "3", "RSUID"},
      {&ALaneClientOper::GetCardNo, "03020", "OpType", "2", "RSUID"},
      {&ALaneClientOper::GetOBUInfo, "03025", "OpType", "3", "RSUID"},
      {&ALaneClientOper::CardReaderOpen, "03008", "ICReaderOP", "6", "ReaderID"},
      {&ALaneClientOper::CardReaderClose, "03009", "ICReaderOP", "8", "ReaderID"},
      {&ALaneClientOper::GetCardInfo, "03011", "ICReaderOP", "2", "ReaderID"},
      {&ALaneClientOper::GetCardInfo_GD, "03026", "ICReaderOP", "2", "ReaderID"},
      {&ALaneClientOper::ListUpLoad, "03013", "ListOP", "0", nullptr},
      {&ALaneClientOper::ListQuery, "03014", "ListOP", "1", nullptr},
      {&ALaneClientOper::StatusQuery, "03016", nullptr, nullptr, nullptr},
      {&ALaneClientOper::BlackListQuery, "03017", nullptr, nullptr, nullptr},
      {&ALaneClientOper::HeartBeat, "03021", nullptr, nullptr, nullptr},
      {&ALaneClientOper::StopNonCashPay, "03031", "NonCashPayOp", "2", nullptr},
      {&ALaneClientOper::QueryTransDetail, "03032", "NonCashPayOp", "3", nullptr},
  };
  const char* input = R"({"RSUID": "R1", "ReaderID": "C1", "Extra": "kept", "OpSerialNo": "x"})";
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.id);
    sim.clearReceived();
    std::string out;
    EXPECT_EQ((client.*c.method)(input, out), 0);
    const Json::Value request = sent(c.id);
    EXPECT_EQ(request["Extra"], "kept");
    EXPECT_NE(request["OpSerialNo"], "x");
    if (c.opKey != nullptr) {
      EXPECT_EQ(request[c.opKey], c.opValue);
    }
    if (c.devIdFrom != nullptr) {
      EXPECT_EQ(request["DevID"], request[c.devIdFrom]);
    } else {
      EXPECT_FALSE(request.isMember("DevID"));
    }
    EXPECT_EQ(sim.received().size(), 1u);
  }
}

TEST_F(ALaneClientOperTest, CardInfoCommandsSendTheCardTypeAsNumber) {
  std::string out;
  ASSERT_EQ(client.GetCardInfo(R"({"ReaderID": "C1"})", out), 0);
  EXPECT_EQ(sent("03011")["CardType"], Json::Value(0));
  ASSERT_EQ(client.GetCardInfo_GD(R"({"ReaderID": "C1"})", out), 0);
  EXPECT_EQ(sent("03026")["CardType"], Json::Value(1));
}

TEST_F(ALaneClientOperTest, LoginSendsThePasswordDigest) {
  std::string out;
  ASSERT_EQ(client.LaneLogin(R"({"UserName": "lane1", "PassWord": "secret"})", out), 0);
  Json::Value request = sent("03001");
  EXPECT_EQ(request["PassWord"], md5("secret"));
  EXPECT_EQ(request["LaneOp"], "0");
  EXPECT_EQ(request["UserName"], "lane1");

  sim.clearReceived();
  ASSERT_EQ(client.LaneLogin(R"({"PassWord": ""})", out), 0);
  EXPECT_EQ(sent("03001")["PassWord"], "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(ALaneClientOperTest, DevIdIsNullWhenTheDeviceIdIsAbsent) {
  std::string out;
  ASSERT_EQ(client.RSUOpen("{}", out), 0);
  const Json::Value request = sent("03003");
  ASSERT_TRUE(request.isMember("RSUID"));
  ASSERT_TRUE(request.isMember("DevID"));
  EXPECT_TRUE(request["RSUID"].isNull());
  EXPECT_TRUE(request["DevID"].isNull());
}

TEST_F(ALaneClientOperTest, CardSearchSendsTheTimeOutAsNumberAndObuSearchAsText) {
  std::string out;
  ASSERT_EQ(client.CardSearch(R"({"TimeOut": "1500", "ReaderID": "C1"})", out), 0);
  const Json::Value card = sent("03010");
  EXPECT_TRUE(card["TimeOut"].isIntegral());
  EXPECT_EQ(card["TimeOut"].asUInt(), 1500u);
  EXPECT_EQ(card["ICReaderOP"], "1");
  EXPECT_EQ(card["DevID"], "C1");

  ASSERT_EQ(client.OBUSearch(R"({"TimeOut": " 1500", "RSUID": "R1"})", out), 0);
  const Json::Value obu = sent("03005");
  EXPECT_EQ(obu["TimeOut"], " 1500");
  EXPECT_EQ(obu["OpType"], "1");
  EXPECT_EQ(obu["DevID"], "R1");
}

TEST_F(ALaneClientOperTest, WriteCommandsEncodeVehicleFieldsAsHex) {
  std::string out;
  ASSERT_EQ(client.RSUWriteCard(
                R"({"VehPlate": "ABC", "VehType": "300", "VehClass": "-1", "OutFlag": "10",
                    "LittleTime": "5", "RSUID": "R1"})",
                out),
            0);
  Json::Value rsu = sent("03007");
  EXPECT_EQ(rsu["VehPlate"], "414243" + std::string(18, '0'));
  EXPECT_EQ(rsu["VehType"], "12");
  EXPECT_EQ(rsu["VehClass"], "ff");
  EXPECT_EQ(rsu["OutFlag"], "0a");
  EXPECT_EQ(rsu["LittleTime"], "5");  // only the variant for "44" cards encodes it
  EXPECT_EQ(rsu["OpType"], "4");
  EXPECT_FALSE(rsu.isMember("CardType"));

  ASSERT_EQ(client.RSUWriteCard_GD(R"({"VehPlate": "ABC", "LittleCashMoney": "1000"})", out), 0);
  Json::Value rsuGd = sent("03023");
  EXPECT_EQ(rsuGd["VehPlate"], "414243" + std::string(14, '0'));
  EXPECT_EQ(rsuGd["LittleCashMoney"], "000003e8");
  EXPECT_EQ(rsuGd["LittleTime"], "00000000");
  EXPECT_EQ(rsuGd["VehType"], "00");

  ASSERT_EQ(client.CardReaderWriteCard(R"({"CashMoney": "150", "ReaderID": "C1"})", out), 0);
  Json::Value card = sent("03012");
  EXPECT_EQ(card["CashMoney"], Json::Value(150));
  EXPECT_EQ(card["CardType"], Json::Value(0));
  EXPECT_EQ(card["ICReaderOP"], "4");
  EXPECT_EQ(card["VehPlate"], std::string(24, '0'));

  ASSERT_EQ(client.CardReaderWriteCard_GD(R"({"CashMoney": "much", "LittleTime": "-2"})", out), 0);
  Json::Value cardGd = sent("03024");
  EXPECT_EQ(cardGd["CashMoney"], Json::Value(-1));
  EXPECT_EQ(cardGd["CardType"], Json::Value(1));
  EXPECT_EQ(cardGd["LittleTime"], "fffffffe");
  EXPECT_EQ(cardGd["VehPlate"], std::string(20, '0'));
}

// ---- Rejected input -----------------------------------------------------------------------------

TEST_F(ALaneClientOperTest, RejectedInputGivesTheErrorResultAndSendsNothing) {
  struct Rejection {
    Method method;
    const char* input;
    const char* message;
  };
  const Rejection cases[] = {
      {&ALaneClientOper::HeartBeat, "not json", "Invalid Json"},
      {&ALaneClientOper::RSUOpen, "[1, 2]", "Invalid Json"},
      {&ALaneClientOper::SendNonCashPay, "\"text\"", "Invalid Json"},
      {&ALaneClientOper::LaneLogin, R"({"PassWord": 123})", "PassWord is not string"},
      {&ALaneClientOper::LaneLogin, "{}", "PassWord is not string"},
      {&ALaneClientOper::CardSearch, R"({"TimeOut": 1000})", "TimeOut is not string"},
      {&ALaneClientOper::OBUSearch, "{}", "TimeOut is not string"},
      {&ALaneClientOper::OBUSearch, R"({"TimeOut": "499"})", "TimeOut is not valid"},
      {&ALaneClientOper::CardSearch, R"({"TimeOut": "30001"})", "TimeOut is not valid"},
      {&ALaneClientOper::CardSearch, R"({"TimeOut": "soon"})", "TimeOut is not valid"},
      {&ALaneClientOper::OBUSearch, R"({"TimeOut": "-1"})", "TimeOut is not valid"},
      {&ALaneClientOper::OBUSearch, R"({"TimeOut": "99999999999"})", "TimeOut is not valid"},
      {&ALaneClientOper::SendNonCashPay, R"({"Timeout": 1000})", "Timeout is not string"},
      {&ALaneClientOper::SendNonCashPay, R"({"TimeOut": "1000"})", "Timeout is not string"},
      {&ALaneClientOper::SendNonCashPay, R"({"Timeout": "499"})", "Timeout is not valid"},
      {&ALaneClientOper::SendNonCashPay, R"({"Timeout": "120001"})", "Timeout is not valid"},
  };
  for (const Rejection& c : cases) {
    SCOPED_TRACE(c.input);
    std::string out = "previous";
    EXPECT_EQ((client.*c.method)(c.input, out), 3);
    EXPECT_EQ(out, errorResult(c.message));
  }
  std::string out;
  EXPECT_EQ(client.HeartBeat("{}", out), 0);  // the channel was never claimed
  EXPECT_EQ(sim.received().size(), 1u);
}

TEST_F(ALaneClientOperTest, TooDeeplyNestedInputIsInvalidJson) {
  // Deeper than the JSON reader follows: the text does not parse, like any other broken text.
  const std::string deep = "{\"A\": " + std::string(5000, '[') + std::string(5000, ']') + "}";
  std::string out;
  EXPECT_EQ(client.HeartBeat(deep.c_str(), out), 3);
  EXPECT_EQ(out, errorResult("Invalid Json"));
  EXPECT_EQ(client.SendNonCashPay(deep.c_str(), out), 3);
  EXPECT_EQ(out, errorResult("Invalid Json"));
  EXPECT_TRUE(sim.received().empty());
}

TEST_F(ALaneClientOperTest, TimeOutLimitsAreInclusive) {
  // Accepted means sent; whether a loaded machine answers within half a second does not matter.
  std::string out;
  EXPECT_NE(client.CardSearch(R"({"TimeOut": "500"})", out), 3);
  EXPECT_EQ(client.CardSearch(R"({"TimeOut": "30000"})", out), 0);
  EXPECT_NE(client.SendNonCashPay(R"({"Timeout": "500", "NonCashTsSn": "T0"})", out), 3);
  EXPECT_EQ(client.SendNonCashPay(R"({"Timeout": "120000", "NonCashTsSn": "T1"})", out), 0);
  EXPECT_EQ(sim.receivedWith("03010").size(), 2u);
  EXPECT_EQ(sim.receivedWith("03029").size(), 2u);
}

TEST_F(ALaneClientOperTest, NonTextMemberRaisesAndReleasesTheChannel) {
  std::string out = "previous";
  EXPECT_THROW(client.RSUWriteCard(R"({"VehType": 3})", out), std::runtime_error);
  EXPECT_THROW(client.CardReaderWriteCard(R"({"CashMoney": 150})", out), std::runtime_error);
  EXPECT_THROW(client.SendNonCashPay(R"({"Timeout": "800", "NonCashTsSn": 7})", out),
               std::runtime_error);
  EXPECT_EQ(out, "previous");
  EXPECT_EQ(client.RSUWriteCard("{}", out), 0);
  EXPECT_EQ(client.CardReaderWriteCard("{}", out), 0);
  EXPECT_EQ(client.QueryTransDetail("{}", out), 0);
  EXPECT_TRUE(sim.receivedWith("03029").empty());
}

// ---- Waiting, deadlines and answers -------------------------------------------------------------

TEST_F(ALaneClientOperTest, SearchWaitsATenthLongerThanItsTimeOut) {
  behave("03005", [](CommandBehaviour& b) { b.noAnswer = true; });
  std::string out = "previous";
  const auto start = Clock::now();
  EXPECT_EQ(client.OBUSearch(R"({"TimeOut": "500"})", out), 2);
  const long long waited = elapsedMs(start);
  EXPECT_GE(waited, 550);
  EXPECT_LT(waited, 1500);
  EXPECT_EQ(out, "");
}

TEST_F(ALaneClientOperTest, BusyChannelRefusesWhileOtherChannelsProceed) {
  // The search waits long enough for the other requests to run on a loaded machine.
  behave("03005", [](CommandBehaviour& b) { b.delayMs = 1500; });
  auto search = std::async(std::launch::async, [this] {
    std::string out;
    return client.OBUSearch(R"({"TimeOut": "3000"})", out);
  });
  ASSERT_TRUE(sim.waitForPacket("03005", kPacketWait));

  std::string out = "untouched";
  EXPECT_EQ(client.RSUOpen("{}", out), 1);
  EXPECT_EQ(client.GetOBUInfo("{}", out), 1);
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(client.CardReaderOpen("{}", out), 0);
  EXPECT_EQ(client.HeartBeat("{}", out), 0);
  EXPECT_EQ(client.ListQuery("{}", out), 0);
  EXPECT_TRUE(sim.receivedWith("03003").empty());

  EXPECT_EQ(search.get(), 0);
  EXPECT_EQ(client.RSUOpen("{}", out), 0);
}

TEST_F(ALaneClientOperTest, ConcurrentRequestsOfOneChannelSendExactlyOne) {
  // The first request holds the channel long enough for the second thread to be scheduled.
  behave("03021", [](CommandBehaviour& b) { b.delayMs = 1000; });
  client.setUiTimeOut(3000);
  std::atomic<bool> go{false};
  auto one = [&] {
    while (!go.load()) std::this_thread::yield();
    std::string out;
    return client.HeartBeat("{}", out);
  };
  auto a = std::async(std::launch::async, one);
  auto b = std::async(std::launch::async, one);
  go = true;
  std::multiset<int> results{a.get(), b.get()};
  EXPECT_EQ(results, (std::multiset<int>{0, 1}));
  EXPECT_EQ(sim.receivedWith("03021").size(), 1u);
}

TEST_F(ALaneClientOperTest, ErrorCodeTwoEndsTheWaitAtOnce) {
  behave("03013", [](CommandBehaviour& b) { b.errorCode = "2"; });
  client.setUiTimeOut(3000);
  std::string out;
  const auto start = Clock::now();
  EXPECT_EQ(client.ListUpLoad("{}", out), 2);
  EXPECT_LT(elapsedMs(start), 1000);
  EXPECT_EQ(parsed(out)["ErrorCode"], "2");
}

TEST_F(ALaneClientOperTest, ServerCodesBecomeTheResultWithTheAnswerText) {
  behave("03017", [](CommandBehaviour& b) { b.errorCode = "5"; });
  behave("03014", [](CommandBehaviour& b) { b.errorCode = "busy"; });
  behave("03021", [](CommandBehaviour& b) { b.removeMembers = {"ErrorCode"}; });
  behave("03002", [](CommandBehaviour& b) { b.errorCode = true; });
  std::string out;
  EXPECT_EQ(client.BlackListQuery("{}", out), 5);
  EXPECT_EQ(parsed(out)["ErrorCode"], "5");
  EXPECT_EQ(client.ListQuery("{}", out), 998);
  EXPECT_EQ(parsed(out)["ErrorCode"], "busy");
  EXPECT_EQ(client.HeartBeat("{}", out), 998);
  EXPECT_EQ(client.LaneQuit("{}", out), 998);
}

TEST_F(ALaneClientOperTest, GenericAnswerIsPassedOnAsReceived) {
  behave("03017", [](CommandBehaviour& b) { b.rawBody = "{\"ErrorCode\":\"0\",\"Z\":1,\"A\":2}"; });
  std::string out;
  EXPECT_EQ(client.BlackListQuery("{}", out), 0);
  EXPECT_EQ(out, "{\"ErrorCode\":\"0\",\"Z\":1,\"A\":2}");
}

TEST_F(ALaneClientOperTest, StatusAnswerAlwaysGivesZero) {
  behave("03016", [](CommandBehaviour& b) { b.errorCode = "5"; });
  std::string out;
  EXPECT_EQ(client.StatusQuery("{}", out), 0);
  EXPECT_EQ(parsed(out)["ErrorCode"], "5");
  behave("03016", [](CommandBehaviour& b) { b.errorCode = 7; });
  EXPECT_EQ(client.StatusQuery("{}", out), 0);
}

TEST_F(ALaneClientOperTest, NumericErrorCodeIsAcceptedFromTheCardReaderOnly) {
  behave("03008", [](CommandBehaviour& b) { b.errorCode = 0; });
  std::string out;
  EXPECT_EQ(client.CardReaderOpen("{}", out), 0);
  EXPECT_EQ(parsed(out)["ErrorCode"], "0");
  behave("03009", [](CommandBehaviour& b) { b.errorCode = -4; });
  EXPECT_EQ(client.CardReaderClose("{}", out), -4);
  EXPECT_EQ(parsed(out)["ErrorCode"], "-4");

  behave("03003", [](CommandBehaviour& b) { b.errorCode = 0; });
  const auto start = Clock::now();
  EXPECT_EQ(client.RSUOpen("{}", out), 2);
  EXPECT_GE(elapsedMs(start), static_cast<long long>(kTimeOutMs));
  EXPECT_EQ(parsed(out)["ErrorCode"], Json::Value(0));  // stored, but it never ended the wait
}

TEST_F(ALaneClientOperTest, AnswerThatIsNotAnObjectIsIgnored) {
  behave("03021", [](CommandBehaviour& b) { b.rawBody = "[\"ErrorCode\"]"; });
  behave("03013", [](CommandBehaviour& b) { b.rawBody = "broken {"; });
  std::string out = "previous";
  EXPECT_EQ(client.HeartBeat("{}", out), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(client.ListUpLoad("{}", out), 2);
}

TEST_F(ALaneClientOperTest, LateAnswerReachesNobody) {
  behave("03011", [](CommandBehaviour& b) {
    b.delayMs = static_cast<int>(kTimeOutMs) + 300;
    b.members["Marker"] = "late";
  });
  std::string out;
  EXPECT_EQ(client.GetCardInfo("{}", out), 2);
  // The late answer arrives while the next request waits for its own.
  behave("03011", [](CommandBehaviour& b) {
    b.delayMs = 700;
    b.members["Marker"] = "own";
  });
  client.setUiTimeOut(2000);
  EXPECT_EQ(client.GetCardInfo("{}", out), 0);
  EXPECT_EQ(parsed(out)["Marker"], "own");
}

TEST_F(ALaneClientOperTest, WrongSerialIsLoggedAndTheWaitGoesOn) {
  testsupport::LogCapture log;
  behave("03008", [](CommandBehaviour& b) { b.wrongSerial = true; });
  std::string out;
  const auto start = Clock::now();
  EXPECT_EQ(client.CardReaderOpen("{}", out), 2);
  EXPECT_GE(elapsedMs(start), static_cast<long long>(kTimeOutMs));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(log.contains("CardReader seq wrong\n")) << log.text();
}

TEST_F(ALaneClientOperTest, OnlyTheEchoedSerialEndsTheWait) {
  behave("03021", [](CommandBehaviour& b) { b.noAnswer = true; });
  client.setUiTimeOut(3000);
  auto beat = std::async(std::launch::async, [this] {
    std::string out;
    const int rc = client.HeartBeat("{}", out);
    return std::make_pair(rc, out);
  });
  SimPacket request;
  ASSERT_TRUE(sim.waitForPacket("03021", kPacketWait, &request));
  sim.sendToAll("03121", (request.serial + 1) % 100000000, R"({"ErrorCode": "9"})");
  sim.sendToAll("03121", request.serial, R"({"ErrorCode": "0", "Mine": "yes"})");
  const auto [rc, out] = beat.get();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(parsed(out)["Mine"], "yes");
}

TEST_F(ALaneClientOperTest, FailedWriteGivesSixAndLeavesTheOutputAlone) {
  platform::failNthCall(platform::Call::Send, 1);
  std::string out = "untouched";
  EXPECT_EQ(client.ListUpLoad("{}", out), 6);
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(client.ListUpLoad("{}", out), 0);
}

// ---- A connection that goes down ---------------------------------------------------------------

// Runs a command on a thread of its own; get() gives its result, its output and how long it took.
class Pending {
 public:
  Pending(ALaneClientOper& client, Method method, const char* input)
      : future_(std::async(std::launch::async, [&client, method, input] {
          std::string out = "untouched";
          const auto start = Clock::now();
          const int rc = (client.*method)(input, out);
          return Outcome{rc, out, elapsedMs(start)};
        })) {}
  struct Outcome {
    int rc;
    std::string out;
    long long ms;
  };
  Outcome get() { return future_.get(); }

 private:
  std::future<Outcome> future_;
};

TEST_F(ALaneClientOperTest, WaitEndsAtOnceWhenTheServerClosesOrResetsAndNothingMoreIsSent) {
  client.setUiTimeOut(5000);  // far beyond what a released wait may take
  SimFaultPlan resetInsideTheAnswer;
  resetInsideTheAnswer.cutAfterBytes = 30;
  resetInsideTheAnswer.reset = true;
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset inside the answer" : "closed by the server");
    ASSERT_TRUE(client.isConnected() || client.connectToServer("127.0.0.1", sim.port()) == 0);
    // Faults reach the connections the simulator has taken on.
    ASSERT_TRUE(testsupport::waitUntil([&] { return sim.connectionCount() == 1; }));
    sim.clearReceived();
    behave("03014", [reset](CommandBehaviour& b) { b.noAnswer = !reset; });
    if (reset) sim.setFaults(resetInsideTheAnswer);
    Pending query(client, &ALaneClientOper::ListQuery, "{}");
    ASSERT_TRUE(sim.waitForPacket("03014", kPacketWait));
    if (!reset) sim.dropConnections();
    const Pending::Outcome outcome = query.get();
    EXPECT_EQ(outcome.rc, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_LT(outcome.ms, 2500);
    EXPECT_FALSE(client.isConnected());

    std::string out = "untouched";
    const auto start = Clock::now();
    EXPECT_EQ(client.ListQuery("{}", out), 6);
    EXPECT_EQ(client.SendNonCashPay(kPayment, out), 6);
    EXPECT_LT(elapsedMs(start), 100);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(sim.receivedWith("03014").size(), 1u);
    EXPECT_TRUE(sim.receivedWith("03029").empty());
    sim.setFaults(SimFaultPlan());
  }
}

TEST_F(ALaneClientOperTest, PaymentEndsWithTwoWhenItsConnectionGoesInEitherStage) {
  // First stage: no answer yet when the server closes. Second stage: accepted, its push not yet
  // there when the owner closes the connection (as Uninit does).
  for (const bool accepted : {false, true}) {
    SCOPED_TRACE(accepted ? "waiting for the push" : "waiting for the answer");
    ASSERT_TRUE(client.isConnected() || client.connectToServer("127.0.0.1", sim.port()) == 0);
    behave("03029", [accepted](CommandBehaviour& b) {
      b.noAnswer = !accepted;
      b.noPush = true;
    });
    const unsigned before = waits.begun();
    Pending pay(client, &ALaneClientOper::SendNonCashPay,
                R"({"Timeout": "20000", "NonCashTsSn": "TS9"})");
    const unsigned stage = accepted ? 2 : 1;
    ASSERT_TRUE(sim.waitForPacket("03029", kPacketWait, nullptr, accepted ? 2 : 1));
    ASSERT_TRUE(testsupport::waitUntil([&] { return waits.begun() == before + stage; }));
    if (accepted) {
      client.closeSocket();
    } else {
      sim.dropConnections();
    }
    const Pending::Outcome outcome = pay.get();
    EXPECT_EQ(outcome.rc, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_LT(outcome.ms, 5000);
  }
}

// ---- Conversions of device answers --------------------------------------------------------------

TEST_F(ALaneClientOperTest, CardNumberAnswerShowsBalanceAndPlateReadably) {
  sim.setSettings([] {
    SimSettings s;
    s.plate = "ABC";
    return s;
  }());
  std::string out;
  ASSERT_EQ(client.GetCardNo("{}", out), 0);
  const Json::Value answer = parsed(out);
  EXPECT_EQ(answer["Balance"], "1000");
  EXPECT_EQ(answer["CardPlate"], "ABC");
  EXPECT_EQ(answer["CardVehClass"], "1");
  EXPECT_EQ(out, jsontext::styled(answer));
}

TEST_F(ALaneClientOperTest, ObuInfoAnswerIsConvertedAndAbsentMembersStayAbsent) {
  behave("03025", [](CommandBehaviour& b) { b.removeMembers = {"LittleTime"}; });
  std::string out;
  ASSERT_EQ(client.GetOBUInfo("{}", out), 0);
  Json::Value answer = parsed(out);
  EXPECT_EQ(answer["OBUVehSize"], "4500X3X32");
  EXPECT_EQ(answer["LittleCashMoney"], "100");
  EXPECT_EQ(answer["OBUPlate"], SimSettings::kDefaultPlate);
  EXPECT_FALSE(answer.isMember("LittleTime"));

  behave("03006", [](CommandBehaviour& b) { b.members["OBUVehSize"] = "1194"; });
  ASSERT_EQ(client.GetOBUInfo_GD("{}", out), 0);
  EXPECT_EQ(parsed(out)["OBUVehSize"], "1194");
}

TEST_F(ALaneClientOperTest, ConversionFollowsTheEchoedOperation) {
  // An OBU search answer carries no hex members; one that claims OpType 2 gets them converted.
  behave("03005", [](CommandBehaviour& b) { b.members["Balance"] = "0A"; });
  std::string out;
  ASSERT_EQ(client.OBUSearch(R"({"TimeOut": "2000"})", out), 0);
  EXPECT_EQ(parsed(out)["Balance"], "0A");
  behave("03003", [](CommandBehaviour& b) {
    b.members["Balance"] = "0A";
    b.members["OpType"] = "2";
  });
  ASSERT_EQ(client.RSUOpen("{}", out), 0);
  EXPECT_EQ(parsed(out)["Balance"], "10");

  ASSERT_EQ(client.GetCardInfo("{}", out), 0);
  EXPECT_EQ(parsed(out)["VehPlate"], SimSettings::kDefaultPlate);
  EXPECT_EQ(parsed(out)["LittleTime"], "60");
}

// ---- Dispatch -----------------------------------------------------------------------------------

TEST_F(ALaneClientOperTest, UnknownCommandIdsGoToStandardError) {
  const std::string body = messagePart("03118", 1, R"({"ErrorCode": "0"})");
  for (int id : {3118, 3100, 3119, 3122, 3133, 42}) {
    testing::internal::CaptureStderr();
    client.handlePackage(id, body.data(), static_cast<unsigned>(body.size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "no this cmdid:" + std::to_string(id - 3100) + " from server.\n");
  }
  testing::internal::CaptureStderr();
  client.handlePackage(3115, body.data(), static_cast<unsigned>(body.size()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ALaneClientOperTest, MalformedPacketsDoNotDisturbAWaitingRequest) {
  behave("03013", [](CommandBehaviour& b) { b.delayMs = 150; });
  client.setUiTimeOut(2000);
  auto upload = std::async(std::launch::async, [this] {
    std::string out;
    return client.ListUpLoad("{}", out);
  });
  SimPacket request;
  ASSERT_TRUE(sim.waitForPacket("03013", kPacketWait, &request));
  const std::string shortPart = "03113000";
  client.handlePackage(3113, shortPart.data(), static_cast<unsigned>(shortPart.size()));
  const std::string numeric = messagePart("03113", request.serial, R"({"ErrorCode": 5})");
  client.handlePackage(3113, numeric.data(), static_cast<unsigned>(numeric.size()));
  EXPECT_EQ(upload.get(), 0);
}

// ---- Why a call failed, in the log --------------------------------------------------------------

TEST_F(ALaneClientOperTest, EveryAnswerThatFailsItsCallSaysWhyInOneLineAndAGoodOneSaysNothing) {
  testsupport::LogCapture log;
  behave("03016", [](CommandBehaviour& b) { b.errorCode = "5"; });  // a status answer still gives 0
  std::string out;
  ASSERT_EQ(client.ListUpLoad("{}", out), 0);
  ASSERT_EQ(client.StatusQuery("{}", out), 0);
  ASSERT_EQ(client.CardReaderOpen("{}", out), 0);

  behave("03014", [](CommandBehaviour& b) { b.rawBody = "not json {"; });
  behave("03021", [](CommandBehaviour& b) { b.rawBody = "[1]"; });
  behave("03008", [](CommandBehaviour& b) { b.wrongSerial = true; });
  behave("03017", [](CommandBehaviour& b) { b.errorCode = "-3"; });
  behave("03002", [](CommandBehaviour& b) { b.removeMembers = {"ErrorCode"}; });
  const auto call = [this](Method method) {
    return std::async(std::launch::async, [this, method] {
      std::string text;
      return (client.*method)("{}", text);
    });
  };
  auto notJson = call(&ALaneClientOper::ListQuery);
  auto notObject = call(&ALaneClientOper::HeartBeat);
  auto wrongSerial = call(&ALaneClientOper::CardReaderOpen);
  EXPECT_EQ(client.BlackListQuery("{}", out), -3);
  EXPECT_EQ(client.LaneQuit("{}", out), 998);
  EXPECT_EQ(notJson.get(), 2);
  EXPECT_EQ(notObject.get(), 2);
  EXPECT_EQ(wrongSerial.get(), 2);
  client.closeSocket();
  const auto serialOf = [this](const char* cmdId, int nth = 1) {
    SimPacket request;
    EXPECT_TRUE(sim.waitForPacket(cmdId, kPacketWait, &request, nth));
    return request.serial;
  };
  const std::string staleSerial = serialText(serialOf("03008", 2) + 1);

  EXPECT_EQ(log.count("Lane 7: 03114 ListQuery-answer " + serialText(serialOf("03014")) +
                      ": answer is not JSON\n"), 1) << log.text();
  EXPECT_EQ(log.count("Lane 7: 03121 HeartBeat-answer " + serialText(serialOf("03021")) +
                      ": answer is not a JSON object\n"), 1);
  EXPECT_EQ(log.count("Lane 7: 03108 CardReaderOpen-answer " + staleSerial + ": serial " +
                      staleSerial + " matches no waiting request\n"), 1);
  EXPECT_EQ(log.count("Lane 7: 03117 BlackListQuery-answer " + serialText(serialOf("03017")) +
                      ": ErrorCode \"-3\", the call returns -3\n"), 1);
  EXPECT_EQ(log.count("Lane 7: 03102 LaneQuit-answer " + serialText(serialOf("03002")) +
                      ": no ErrorCode, the call returns 998\n"), 1);
  EXPECT_EQ(log.count("]-CardReader seq wrong\n"), 1);
  EXPECT_EQ(occurrences(log, "[E]"), 6) << log.text();  // nothing for the good answers
}

TEST_F(ALaneClientOperTest, AnswerAfterItsCallEndedAndUnreadableAnswerAreLogged) {
  testsupport::LogCapture log;
  behave("03011", [](CommandBehaviour& b) { b.delayMs = static_cast<int>(kTimeOutMs) + 200; });
  behave("03003", [](CommandBehaviour& b) { b.errorCode = 0; });  // a number only the reader takes
  std::string out;
  auto rsu = std::async(std::launch::async, [this] {
    std::string text;
    return client.RSUOpen("{}", text);
  });
  EXPECT_EQ(client.GetCardInfo("{}", out), 2);
  EXPECT_EQ(rsu.get(), 2);
  const std::string late = serialText(sim.receivedWith("03011").back().serial);
  EXPECT_TRUE(logged(log, "Lane 7: 03111 GetCardInfo-answer " + late + ": serial " + late +
                              " matches no waiting request\n")) << log.text();
  const std::string rsuSerial = serialText(sim.receivedWith("03003").back().serial);
  EXPECT_EQ(log.count("Lane 7: 03103 RSUOpen-answer " + rsuSerial +
                      ": answer could not be read: Type is not convertible to string\n"), 1);
  client.closeSocket();
}

TEST_F(ALaneClientOperTest, DroppedPacketsAndUnknownIdsAreLoggedWithWhatWasWrong) {
  testsupport::LogCapture log;
  const std::string body = R"({"ErrorCode":"0"})";
  const Package good(body.data(), static_cast<unsigned>(body.size()), BufView<5>("03114"), 4,
                     "261206173005123");
  std::string badCode(good.returnmsg(), good.size());
  ASSERT_EQ(badCode.substr(badCode.size() - 11, 8), "290290F5");  // the CRC-32 of those bytes
  badCode.replace(badCode.size() - 11, 8, "290290F6");
  std::string badLength(good.returnmsg(), good.size());
  badLength.replace(packet::kBodyLenOffset, 8, "00000099");
  badLength.replace(badLength.size() - 11, 8, "398E9FF9");  // recomputed: only the length is wrong
  ASSERT_TRUE(testsupport::waitUntil([this] { return sim.connectionCount() == 1; }));
  sim.sendRawToAll(badCode + badLength);
  sim.sendToAll("03118", 4, "{}");

  EXPECT_TRUE(logged(log, "Lane 7: 03118 unknown 00000004: unknown command id 03118\n"));
  EXPECT_EQ(log.count("Lane 7: 03114 ListQuery-answer 00000004: bad check code 290290F6, computed "
                      "290290F5\n"), 1) << log.text();
  EXPECT_EQ(log.count("Lane 7: 03114 ListQuery-answer 00000004: bad body length 00000099, expected "
                      "00000017\n"), 1);
  EXPECT_EQ(log.count("]-The data packed from server is bad!\n"), 2);
  client.closeSocket();
}

TEST_F(ALaneClientOperTest, AFloodIsCutAfterTwentyLinesASecondOnEachLaneAndTheRestCounted) {
  testsupport::LogCapture log;
  TestClient other{setupWith(nullptr, nullptr, "Lane 8")};
  ASSERT_EQ(other.connectToServer("127.0.0.1", sim.port()), 0);
  ASSERT_TRUE(testsupport::waitUntil([this] { return sim.connectionCount() == 2; }));
  constexpr unsigned kFlood = 35;
  for (unsigned i = 0; i < kFlood; ++i) sim.sendToAll("03119", i, "{}");

  for (const std::string lane : {"]-Lane 7: ", "]-Lane 8: "}) {
    EXPECT_TRUE(logged(log, lane + "15 more lines like these left out (20 a second at most)\n"))
        << log.text();
    EXPECT_EQ(occurrences(log, lane + "03119 unknown "), 20);
  }
  other.closeSocket();
  client.closeSocket();
}

// ---- Non-cash payment ---------------------------------------------------------------------------

TEST_F(ALaneClientOperTest, PaymentReturnsThePushAndAcknowledgesIt) {
  std::string out;
  ASSERT_EQ(client.SendNonCashPay(kPayment, out), 0);
  const Json::Value push = parsed(out);
  EXPECT_EQ(push["NonCashTsSn"], "TS1");
  const Json::Value request = sent("03029");
  EXPECT_EQ(request["NonCashPayOp"], "1");
  EXPECT_EQ(request["Money"], "150");
  EXPECT_EQ(request["Timeout"], "3000");

  SimPacket ack;
  ASSERT_TRUE(sim.waitForPacket("03030", kPacketWait, &ack));
  EXPECT_EQ(ack.json.getMemberNames(), (std::vector<std::string>{"OpSerialNo", "Result", "UserName"}));
  EXPECT_EQ(ack.json["Result"], "0");
  EXPECT_EQ(ack.json["UserName"], push["UserName"]);
  EXPECT_EQ(ack.json["OpSerialNo"], push["OpSerialNo"]);
}

TEST_F(ALaneClientOperTest, PushAcknowledgementEchoesThePushSerial) {
  behave("03029", [](CommandBehaviour& b) { b.noPush = true; });
  std::string out;
  ASSERT_EQ(client.SendNonCashPay(R"({"Timeout": "500", "NonCashTsSn": "TS2"})", out), 2);
  // The payment is over; a repeated push for it is still stored and acknowledged.
  sim.sendToAll("03130", 4321, R"({"NonCashTsSn": "TS2", "ErrorCode": "0"})");
  SimPacket ack;
  ASSERT_TRUE(sim.waitForPacket("03030", kPacketWait, &ack));
  EXPECT_EQ(ack.serial, 4321u);
  EXPECT_TRUE(ack.json["UserName"].isNull());
  EXPECT_TRUE(ack.json.isMember("UserName"));
  EXPECT_TRUE(ack.json["OpSerialNo"].isNull());
}

// A packet whose 8-character serial field is given as it goes on the wire, framed by hand.
std::string framed(const char* cmdId, const char* serialField, const std::string& body) {
  char length[16];
  std::snprintf(length, sizeof length, "%08zu", body.size() + 60);
  char fields[64];
  std::snprintf(fields, sizeof fields, "261206173005123" "01%s%s%08zu", cmdId, serialField,
                body.size());
  const std::string checked = fields + body;  // the check code covers the send time to the body
  char code[16];
  std::snprintf(code, sizeof code, "%08X", packet::crc32(checked.data(), checked.size()));
  return "\xFF\xFE\xFD" + std::string(length) + checked + code + "\xFD\xFE\xFF";
}

TEST(PushAcknowledgementTest, CarriesThePushSerialAsReadAnd998WhenItIsNoNumber) {
  testsupport::RawPeer peer;
  TestClient client;
  client.setUiTimeOut(2000);
  ASSERT_EQ(client.connectToServer("127.0.0.1", peer.port()), 0);
  ASSERT_TRUE(peer.accept());
  // No payment was started: the push without a transaction serial matches the empty one.
  const std::pair<const char*, const char*> cases[] = {
      {"-0000001", "-0000001"}, {"00004321", "00004321"}, {" 0000042", "00000042"},
      {"serial!!", "00000998"}};
  for (const auto& [sent, echoed] : cases) {
    SCOPED_TRACE(sent);
    ASSERT_TRUE(peer.send(framed("03130", sent, R"({"ErrorCode": "0"})")));
    std::string ack = peer.receive(60);
    ASSERT_GE(ack.size(), 60u);
    const std::size_t whole = std::stoul(ack.substr(3, 8));
    if (ack.size() < whole) ack += peer.receive(whole - ack.size());
    ASSERT_EQ(ack.size(), whole);
    EXPECT_EQ(ack.substr(28, 5), "03030");
    EXPECT_EQ(ack.substr(33, 8), echoed);
  }
  client.closeSocket();
}

TEST_F(ALaneClientOperTest, RefusedPaymentReturnsTheCodeAtOnce) {
  behave("03029", [](CommandBehaviour& b) {
    b.errorCode = "7";
    b.noPush = true;
  });
  std::string out;
  const auto start = Clock::now();
  EXPECT_EQ(client.SendNonCashPay(kPayment, out), 7);
  EXPECT_LT(elapsedMs(start), 1500);
  EXPECT_EQ(parsed(out)["ErrorCode"], "7");
  sim.sendToAll("03130", 9, R"({"NonCashTsSn": "TS1", "ErrorCode": "0"})");
  EXPECT_TRUE(sim.waitForPacket("03030", kPacketWait));
}

TEST_F(ALaneClientOperTest, PushOfAnotherPaymentIsIgnoredAndLogged) {
  testsupport::LogCapture log;
  behave("03029", [](CommandBehaviour& b) { b.pushMembers["NonCashTsSn"] = "OTHER"; });
  std::string out = "previous";
  const auto start = Clock::now();
  EXPECT_EQ(client.SendNonCashPay(R"({"Timeout": "600", "NonCashTsSn": "TS1"})", out), 2);
  EXPECT_GE(elapsedMs(start), 600);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(sim.receivedWith("03030").empty());
  EXPECT_EQ(log.count(" NonCashPayResult " + serialText(sim.receivedWith("03029").back().serial) +
                      ": NonCashTsSn \"OTHER\" matches no waiting payment\n"), 1) << log.text();
  client.closeSocket();
}

TEST_F(ALaneClientOperTest, PushBeforeTheAnswerCompletesThePayment) {
  behave("03029", [](CommandBehaviour& b) {
    b.pushBeforeAnswer = true;
    b.pushDelayMs = 100;
    b.pushMembers["ErrorCode"] = "4";
  });
  std::string out;
  EXPECT_EQ(client.SendNonCashPay(kPayment, out), 4);
  EXPECT_EQ(parsed(out)["NonCashTsSn"], "TS1");
}

TEST_F(ALaneClientOperTest, PushWithErrorCodeTwoEndsTheSecondStageAtOnce) {
  behave("03029", [](CommandBehaviour& b) { b.pushMembers["ErrorCode"] = "2"; });
  std::string out;
  const auto start = Clock::now();
  EXPECT_EQ(client.SendNonCashPay(kPayment, out), 2);
  EXPECT_LT(elapsedMs(start), 1500);
  EXPECT_EQ(parsed(out)["ErrorCode"], "2");
  EXPECT_TRUE(sim.waitForPacket("03030", kPacketWait));
}

TEST_F(ALaneClientOperTest, StopEndsAPaymentWaitingForItsAnswer) {
  behave("03029", [](CommandBehaviour& b) { b.noAnswer = true; });
  auto pay = std::async(std::launch::async, [this] {
    std::string out = "untouched";
    const int rc = client.SendNonCashPay(kPayment, out);
    return std::make_pair(rc, out);
  });
  ASSERT_TRUE(sim.waitForPacket("03029", kPacketWait));
  const auto start = Clock::now();
  std::string out;
  EXPECT_EQ(client.StopNonCashPay(R"({"NonCashTsSn": "TS1"})", out), 0);
  const auto [rc, payOut] = pay.get();
  EXPECT_LT(elapsedMs(start), 1500);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(payOut, "untouched");
  EXPECT_EQ(sent("03031")["NonCashPayOp"], "2");
}

TEST_F(ALaneClientOperTest, StopEndsAPaymentWaitingForItsPush) {
  behave("03029", [](CommandBehaviour& b) { b.noPush = true; });
  auto pay = std::async(std::launch::async, [this] {
    std::string out = "untouched";
    const int rc = client.SendNonCashPay(kPayment, out);
    return std::make_pair(rc, out);
  });
  // The second wait of the payment is the one for its push.
  ASSERT_TRUE(testsupport::waitUntil([this] { return waits.begun() == 2; }));
  std::string out;
  EXPECT_EQ(client.QueryTransDetail("{}", out), 1);
  EXPECT_EQ(client.SendNonCashPay(kPayment, out), 1);
  EXPECT_EQ(client.StopNonCashPay("{}", out), 0);
  const auto [rc, payOut] = pay.get();
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(payOut, "");
  EXPECT_EQ(sim.receivedWith("03029").size(), 1u);
  EXPECT_TRUE(sim.receivedWith("03032").empty());
}

TEST_F(ALaneClientOperTest, NewPaymentClearsAnEarlierStop) {
  std::string out;
  EXPECT_EQ(client.StopNonCashPay("{}", out), 0);
  EXPECT_EQ(client.SendNonCashPay(kPayment, out), 0);
  EXPECT_EQ(parsed(out)["NonCashTsSn"], "TS1");
}

// ---- Serial numbers -----------------------------------------------------------------------------

TEST(SerialSourceTest, OneCounterGivesBothModuliAndWraps) {
  SerialSource serials(123456789);
  EXPECT_EQ(serials.next(), std::make_pair(6789u, 23456789u));
  EXPECT_EQ(serials.next(), std::make_pair(6790u, 23456790u));
  SerialSource ending(4294967295u);
  EXPECT_EQ(ending.next(), std::make_pair(7295u, 94967295u));
  EXPECT_EQ(ending.next(), std::make_pair(0u, 0u));
}

TEST_F(ALaneClientOperTest, SerialsWrapAndStillMatch) {
  SerialSource serials(99999999);
  TestClient wrapping(setupWith(nullptr, &serials));
  wrapping.setUiTimeOut(2000);
  ASSERT_EQ(wrapping.connectToServer("127.0.0.1", sim.port()), 0);
  std::string out;
  ASSERT_EQ(wrapping.HeartBeat("{}", out), 0);
  SimPacket first;
  ASSERT_TRUE(sim.waitForPacket("03021", kPacketWait, &first));
  EXPECT_EQ(first.serial, 99999999u);
  EXPECT_EQ(first.json["OpSerialNo"], "9999");

  ASSERT_EQ(wrapping.ListQuery("{}", out), 0);
  SimPacket second;
  ASSERT_TRUE(sim.waitForPacket("03014", kPacketWait, &second));
  EXPECT_EQ(second.serial, 0u);
  EXPECT_EQ(second.json["OpSerialNo"], "0");
  wrapping.closeSocket();
}

TEST_F(ALaneClientOperTest, SerialCounterIsSharedByAllClients) {
  TestClient other;
  other.setUiTimeOut(2000);
  ASSERT_EQ(other.connectToServer("127.0.0.1", sim.port()), 0);
  other.setUiTimeOut(kTimeOutMs);
  std::string out;
  ASSERT_EQ(client.HeartBeat("{}", out), 0);
  ASSERT_EQ(other.HeartBeat("{}", out), 0);
  ASSERT_EQ(client.HeartBeat("{}", out), 0);
  const auto beats = sim.receivedWith("03021");
  ASSERT_EQ(beats.size(), 3u);
  EXPECT_EQ(beats[1].serial, beats[0].serial + 1);
  EXPECT_EQ(beats[2].serial, beats[1].serial + 1);
  other.closeSocket();
}

// ---- Threads ------------------------------------------------------------------------------------

TEST_F(ALaneClientOperTest, ChannelsServeSeveralThreadsAtOnce) {
  client.setUiTimeOut(3000);
  constexpr int kRounds = 15;
  const std::vector<std::pair<Method, const char*>> work = {
      {&ALaneClientOper::GetOBUInfo, "{}"},
      {&ALaneClientOper::GetCardInfo, "{}"},
      {&ALaneClientOper::HeartBeat, "{}"},
      {&ALaneClientOper::StatusQuery, "{}"},
      {&ALaneClientOper::ListQuery, "{}"},
      {&ALaneClientOper::SendNonCashPay, R"({"Timeout": "3000", "NonCashTsSn": "P"})"},
  };
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (const auto& [method, input] : work) {
    threads.emplace_back([&, method = method, input = input] {
      for (int i = 0; i < kRounds; ++i) {
        std::string out;
        if ((client.*method)(input, out) != 0 || out.empty()) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
