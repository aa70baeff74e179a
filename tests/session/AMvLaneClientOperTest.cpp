#include "session/AMvLaneClientOper.h"

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "LaneSimulator.h"
#include "SessionTestSupport.h"
#include "TestSupport.h"
#include "common/JsonText.h"
#include "common/Md5.h"
#include "common/WaitClock.h"

namespace {

using namespace std::chrono_literals;
using sessiontest::LogCapture;
using testsupport::waitUntil;

constexpr auto kPacketWait = 3000ms;

Json::Value parsed(const std::string& text) {
  Json::Value doc;
  EXPECT_TRUE(jsontext::parse(text, doc)) << text;
  return doc;
}

int occurrences(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::set<std::string> memberNames(const Json::Value& doc) {
  const std::vector<std::string> names = doc.getMemberNames();
  return std::set<std::string>(names.begin(), names.end());
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start(sessiontest::kLoopback));
    info = sessiontest::laneAt(sim.port());
  }
  void TearDown() override {
    session.reset();  // before the simulator goes
    sim.stop();
  }

  AMvLaneClientOper& started() {
    session = std::make_unique<AMvLaneClientOper>(info);
    EXPECT_EQ(0, session->Init());
    return *session;
  }

  Json::Value statusDoc() {
    std::string out;
    EXPECT_EQ(0, session->ETCStatusQuery("", out));
    return parsed(out);
  }

  // The heartbeat thread's first status query has been answered and handled once its first
  // heartbeat goes out.
  void waitFirstCycle() { ASSERT_TRUE(sim.waitForPacket("03021", kPacketWait, nullptr, 1)); }

  LogCapture log;  // outlives every thread of the session under test
  LaneSimulator sim;
  stMvLaneInfo_t info;
  std::unique_ptr<AMvLaneClientOper> session;
};

// ---- Lifecycle -----------------------------------------------------------------------------------

TEST_F(SessionTest, InitLogsInWithDigestIdentityAndLoginOperation) {
  started();
  const std::vector<SimPacket> logins = sim.receivedWith("03001");
  ASSERT_EQ(1u, logins.size());
  const Json::Value& login = logins[0].json;
  EXPECT_EQ(md5("PassWord"), login["PassWord"].asString());
  EXPECT_EQ("0", login["LaneOp"].asString());
  EXPECT_EQ("operator", login["UserName"].asString());
  EXPECT_EQ("44", login["ProvinceNo"].asString());
  EXPECT_EQ("01", login["CityNo"].asString());
  EXPECT_EQ("0101", login["AreaNo"].asString());
  EXPECT_EQ("02", login["GateNo"].asString());
  EXPECT_EQ("07", login["LaneNo"].asString());
  EXPECT_EQ((std::set<std::string>{"AreaNo", "CityNo", "GateNo", "LaneNo", "LaneOp", "OpSerialNo",
                                   "PassWord", "ProvinceNo", "UserName"}),
            memberNames(login));
}

TEST_F(SessionTest, StatusAfterInitShowsConnectionAndLoginAndNoDevices) {
  started();
  Json::Value expected(Json::objectValue);
  expected["CardReaderStatus"] = Json::Value();
  expected["Connection"] = "0";
  expected["HeartBeat"] = "0";
  expected["RSUStatus"] = Json::Value();
  std::string out;
  EXPECT_EQ(0, session->ETCStatusQuery("", out));
  EXPECT_EQ(jsontext::styled(expected), out);

  // Devices without an id stay null after status queries; the input is never looked at.
  waitFirstCycle();
  for (const char* input : {"", "{}", "abc", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(0, session->ETCStatusQuery(input, out));
    EXPECT_EQ(jsontext::styled(expected), out);
  }
  const std::vector<SimPacket> queries = sim.receivedWith("03016");
  ASSERT_FALSE(queries.empty());
  EXPECT_EQ((std::set<std::string>{"OpSerialNo", "UserName"}), memberNames(queries[0].json));
}

TEST_F(SessionTest, InitWithoutServerReturnsConnectResultAndLeavesStatus) {
  const unsigned short port = sim.port();
  sim.stop();
  info.Port = port;
  AMvLaneClientOper lane(info);
  EXPECT_EQ(-1, lane.Init());
  std::string out;
  EXPECT_EQ(0, lane.ETCStatusQuery("", out));
  EXPECT_EQ("null\n", out);
}

TEST_F(SessionTest, StatusQueryAnswerFillsDeviceObjectsByConfiguredIds) {
  info.ReaderID = 1;
  info.RSUID = 0;
  CommandBehaviour status;
  status.members["CardReaderStatus1"] = "1";
  status.members["CardReaderLastTime1"] = "20261207120000";
  status.members["CardReaderStatus0"] = "wrong id";
  status.removeMembers = {"CardReaderErrorMsg1"};
  status.members["RSUStatus0"] = 3;  // a number is not taken
  status.members["RSULastTime0"] = "20261207120001";
  status.members["RSUErrorMsg0"] = "antenna";
  sim.setBehaviour("03016", status);
  started();
  waitFirstCycle();

  const Json::Value doc = statusDoc();
  Json::Value reader(Json::objectValue);
  reader["Status"] = "1";
  reader["LastTime"] = "20261207120000";
  reader["ErrorMsg"] = "";
  Json::Value rsu(Json::objectValue);
  rsu["Status"] = "";
  rsu["LastTime"] = "20261207120001";
  rsu["ErrorMsg"] = "antenna";
  EXPECT_EQ(reader, doc["CardReaderStatus"]);
  EXPECT_EQ(rsu, doc["RSUStatus"]);
}

TEST_F(SessionTest, UnansweredStatusQueryKeepsDeviceObjects) {
  info.ReaderID = 0;
  CommandBehaviour status;
  status.members["CardReaderStatus0"] = "1";
  sim.setBehaviour("03016", status);
  started();
  ASSERT_TRUE(waitUntil([&] { return statusDoc()["CardReaderStatus"]["Status"] == "1"; }));

  status.noAnswer = true;
  sim.setBehaviour("03016", status);
  sim.clearReceived();
  // A heartbeat after an unanswered query: that query has been given up.
  ASSERT_TRUE(waitUntil([&] {
    bool queried = false;
    for (const SimPacket& packet : sim.received()) {
      if (packet.cmdId == "03016") queried = true;
      if (packet.cmdId == "03021" && queried) return true;
    }
    return false;
  }));
  EXPECT_EQ("1", statusDoc()["CardReaderStatus"]["Status"].asString());
}

TEST_F(SessionTest, RefusedLoginShowsInStatusAndRefusedHeartbeatLogsInAgain) {
  CommandBehaviour refuse;
  refuse.errorCode = "-3";
  sim.setBehaviour("03001", refuse);
  CommandBehaviour refuseBeat;
  refuseBeat.errorCode = "-1";
  sim.setBehaviour("03021", refuseBeat);
  started();
  EXPECT_EQ("0", statusDoc()["Connection"].asString());
  EXPECT_EQ("-3", statusDoc()["HeartBeat"].asString());

  ASSERT_TRUE(waitUntil([&] { return log.count("Login Failed ErrorCode = [-3]\n") >= 1; }));
  EXPECT_EQ("-3", statusDoc()["HeartBeat"].asString());

  sim.setBehaviour("03001", CommandBehaviour{});
  ASSERT_TRUE(waitUntil([&] { return log.count("Login Success\n") >= 1; }));
  EXPECT_EQ("0", statusDoc()["HeartBeat"].asString());
  EXPECT_EQ(0, log.count("Heart Beat Failed, try to reconnect\n"));
  EXPECT_EQ(1u, sim.connectionCount());
  const std::vector<SimPacket> logins = sim.receivedWith("03001");
  ASSERT_GE(logins.size(), 3u);
  EXPECT_EQ(logins[0].json["PassWord"], logins[2].json["PassWord"]);
}

TEST_F(SessionTest, DroppedConnectionIsReconnectedAndLoggedInAgain) {
  started();
  waitFirstCycle();
  sim.clearReceived();
  sim.dropConnections();

  ASSERT_TRUE(waitUntil([&] { return log.count("Reconnect Success\n") >= 1; }));
  EXPECT_GE(log.count("Heart Beat Failed, try to reconnect\n"), 1);
  EXPECT_EQ(0, log.count("Reconnect Failed\n"));
  // Login on the new connection, then the status query of a usable lane.
  SimPacket login;
  ASSERT_TRUE(sim.waitForPacket("03001", kPacketWait, &login, 1));
  EXPECT_EQ(2u, login.connection);
  ASSERT_TRUE(sim.waitForPacket("03016", kPacketWait, nullptr, 1));
  EXPECT_TRUE(waitUntil([&] { return sim.connectionCount() == 1; }));
  EXPECT_EQ("0", statusDoc()["Connection"].asString());
  EXPECT_EQ("0", statusDoc()["HeartBeat"].asString());
  EXPECT_EQ(0, log.count("Login Success\n"));
}

TEST_F(SessionTest, RefusedLoginAfterReconnectSkipsTheStatusQuery) {
  started();
  waitFirstCycle();
  CommandBehaviour refuse;
  refuse.errorCode = "-3";
  sim.setBehaviour("03001", refuse);
  CommandBehaviour slowBeat;  // leaves time to look at the status before the heartbeat's answer
  slowBeat.delayMs = 800;
  sim.setBehaviour("03021", slowBeat);
  sim.clearReceived();
  sim.dropConnections();

  // On the new connection: the refused login, then straight to the next heartbeat.
  ASSERT_TRUE(waitUntil([&] {
    for (const SimPacket& packet : sim.received())
      if (packet.connection == 2 && packet.cmdId == "03021") return true;
    return false;
  }));
  std::vector<std::string> onNewConnection;
  for (const SimPacket& packet : sim.received())
    if (packet.connection == 2) onNewConnection.push_back(packet.cmdId);
  ASSERT_GE(onNewConnection.size(), 2u);
  EXPECT_EQ("03001", onNewConnection[0]);
  EXPECT_EQ("03021", onNewConnection[1]);
  EXPECT_EQ("-3", statusDoc()["HeartBeat"].asString());
  EXPECT_EQ(1, log.count("Reconnect Success\n"));
  EXPECT_EQ(0, log.count("Login Failed ErrorCode = [-3]\n"));
}

TEST_F(SessionTest, ServerGoneForGoodShowsFailedReconnects) {
  started();
  waitFirstCycle();
  sim.stop();

  ASSERT_TRUE(waitUntil([&] { return log.count("Reconnect Failed\n") >= 1; }));
  EXPECT_EQ("-1", statusDoc()["Connection"].asString());
  EXPECT_GE(log.count("Heart Beat Failed, try to reconnect\n"), 1);
  // The simulator's listener closes before its connections do, so the lane's immediate reconnect
  // is refused rather than taken by a server on its way out.
  EXPECT_EQ(0, log.count("Reconnect Success\n"));

  const auto before = std::chrono::steady_clock::now();
  session->Uninit();
  // At most the exchange in progress (one time-out) and a refused connect; far below a hang.
  EXPECT_LT(std::chrono::steady_clock::now() - before, 4000ms);
  EXPECT_EQ(1, log.count("Heart Beat Thread Quit\n"));
}

TEST_F(SessionTest, UninitWhileThreadWaitsReturnsPromptly) {
  info.HeartBeatTime = 60;
  started();
  ASSERT_TRUE(sim.waitForPacket("03016", kPacketWait, nullptr, 1));

  const auto before = std::chrono::steady_clock::now();
  session->Uninit();
  // Far below the 60 s wait it cuts short; roomy for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3000ms);
  EXPECT_EQ(1, log.count("Heart Beat Thread Quit\n"));
  EXPECT_TRUE(sim.receivedWith("03021").empty());
  EXPECT_TRUE(sim.receivedWith("03002").empty());
}

TEST_F(SessionTest, AutoLogoutSendsOneLaneQuitWithIdentityOnly) {
  info.AutoLogout = 1;
  started();
  session->Uninit();
  session.reset();  // the destructor's own stop has no connection left to log out on
  const std::vector<SimPacket> quits = sim.receivedWith("03002");
  ASSERT_EQ(1u, quits.size());
  const Json::Value& quit = quits[0].json;
  EXPECT_EQ((std::set<std::string>{"AreaNo", "CityNo", "GateNo", "LaneNo", "LaneOp", "OpSerialNo",
                                   "ProvinceNo", "UserName"}),
            memberNames(quit));
  EXPECT_EQ("1", quit["LaneOp"].asString());
  EXPECT_EQ("07", quit["LaneNo"].asString());
}

TEST_F(SessionTest, WithoutAutoLogoutStoppingSendsNoLaneQuit) {
  started();
  session.reset();
  EXPECT_TRUE(sim.receivedWith("03002").empty());
}

TEST_F(SessionTest, SecondInitRestartsOnAFreshConnection) {
  info.AutoLogout = 1;
  started();
  EXPECT_EQ(0, session->Init());
  EXPECT_EQ(1u, sim.receivedWith("03002").size());
  const std::vector<SimPacket> logins = sim.receivedWith("03001");
  ASSERT_EQ(2u, logins.size());
  EXPECT_EQ(2u, logins[1].connection);
  EXPECT_TRUE(waitUntil([&] { return sim.connectionCount() == 1; }));
}

TEST_F(SessionTest, AnswersInOneByteSlicesAmidGarbageAndFalseOrHugeHeadsStillReachTheCaller) {
  SimFaultPlan noise;
  noise.seed = 11;
  noise.sliceBytes = 1;
  noise.garbage = 0.5;
  noise.falseHeads = 0.5;
  noise.hugeHeads = 0.5;
  sim.setFaults(noise);
  started();
  for (int i = 0; i < 3; ++i) {
    std::string out;
    EXPECT_EQ(0, session->ListQuery("{}", out)) << out;
    EXPECT_EQ("0", parsed(out)["ErrorCode"].asString());
  }
  EXPECT_EQ("0", statusDoc()["HeartBeat"].asString());
}

// Waits that fail, as a lock or clock failure would make them.
class FailingWaits : public WaitClock {
 public:
  bool waitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, Clock::time_point,
                 FunctionRef<bool()>) const override {
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  }
};

TEST_F(SessionTest, HeartbeatThreadEndedByAnExceptionLeavesTheLaneShownAsNotConnected) {
  const FailingWaits failingWaits;
  AMvLaneClientOper failing(info, failingWaits);
  ASSERT_EQ(0, failing.Init());
  ASSERT_TRUE(waitUntil([&] { return !failing.isRunning(); }));
  std::string out;
  EXPECT_EQ(0, failing.ETCStatusQuery("", out));
  EXPECT_EQ("-1", parsed(out)["Connection"].asString());
  // Nothing checks the connection any more, so it is not kept open either.
  EXPECT_TRUE(waitUntil([&] { return sim.connectionCount() == 0; }));
  std::string reply;
  EXPECT_EQ(6, failing.ListQuery("{}", reply));
}

// ---- A server that goes away ---------------------------------------------------------------------

// The heartbeat period is long in these tests: what happens, happens because the connection went.
constexpr unsigned short kLongHeartBeat = 10;

TEST_F(SessionTest, ClosedConnectionIsNoticedAndReconnectedAtOnceWithTheLaneNamedInTheLog) {
  info.HeartBeatTime = kLongHeartBeat;
  info.TimeOut = 3;
  started();
  ASSERT_TRUE(sim.waitForPacket("03016", kPacketWait));
  CommandBehaviour silent;
  silent.noAnswer = true;
  sim.setBehaviour("03017", silent);
  std::string waitingOut;
  auto waiting = std::async(std::launch::async, [&] { return session->BlackListQuery("{}", waitingOut); });
  ASSERT_TRUE(sim.waitForPacket("03017", kPacketWait));
  const auto closed = std::chrono::steady_clock::now();
  sim.dropConnections();

  EXPECT_EQ(2, waiting.get());  // its answer cannot come on the closed connection
  ASSERT_TRUE(sim.waitForPacket("03001", kPacketWait, nullptr, 2));
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 2000ms);
  ASSERT_TRUE(waitUntil([&] { return log.count("Reconnect Success\n") == 1; }));
  const std::string peer = "127.0.0.1:" + std::to_string(sim.port());
  EXPECT_TRUE(log.contains("[E]")) << log.text();
  EXPECT_TRUE(log.contains("]-Lane 7: connection to " + peer + " lost: closed by the server\n"))
      << log.text();
  EXPECT_EQ(1, log.count("Heart Beat Failed, try to reconnect\n"));
  EXPECT_TRUE(log.contains("]-Lane 7: connection to " + peer + " back after ")) << log.text();
  std::string out;
  EXPECT_EQ(0, session->ListQuery("{}", out));
}

TEST_F(SessionTest, ServerThatStopsListeningIsShownDownAndServedSoonAfterItReturns) {
  info.HeartBeatTime = kLongHeartBeat;
  started();
  ASSERT_TRUE(sim.waitForPacket("03016", kPacketWait));
  const unsigned short port = sim.port();
  const auto stopped = std::chrono::steady_clock::now();
  sim.stop();
  // Tries at once and again after 0.5 s; the next try is 1 s later.
  ASSERT_TRUE(waitUntil([&] { return log.count("Reconnect Failed\n") == 2; }, 3000ms));
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, 450ms);
  EXPECT_EQ("-1", statusDoc()["Connection"].asString());
  std::string out = "untouched";
  EXPECT_EQ(6, session->ListQuery("{}", out));
  EXPECT_EQ("untouched", out);

  ASSERT_TRUE(sim.start(sessiontest::kLoopback, port));
  const auto back = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([&] { return session->ListQuery("{}", out) == 0; }, 5000ms));
  // The next try is due 1 s after the last failed one (2 s should the stopping server have taken
  // one more connection first), far from the heartbeat period.
  EXPECT_LT(std::chrono::steady_clock::now() - back, 3000ms);
  EXPECT_EQ("0", statusDoc()["Connection"].asString());
  // One line of its own per failed try beside the usual ones, and one when it is back.
  const std::string text = log.text();
  const int failures = log.count("Reconnect Failed\n");
  EXPECT_GE(failures, 2);
  EXPECT_EQ(failures, occurrences(text, "]-Lane 7: connect to 127.0.0.1:" + std::to_string(port) +
                                            " failed: "));
  EXPECT_EQ(failures, occurrences(text, "]-ip_addr=[127.0.0.1] connect failure,error_code=["));
  EXPECT_EQ(1, occurrences(text, ", " + std::to_string(failures) + " failed attempts\n"));
  EXPECT_EQ(0, occurrences(text, " heartbeat to "));
}

TEST_F(SessionTest, ServerThatClosesEveryConnectionAfterLoginIsTriedLessAndLessOften) {
  info.HeartBeatTime = 2;
  CommandBehaviour hangUp;  // the status query follows every successful login
  hangUp.closeConnection = true;
  sim.setBehaviour("03016", hangUp);
  started();
  const auto start = std::chrono::steady_clock::now();
  // Logins 2 to 5 come at once, then 0.5, 1 and 2 s apart: the back-off is not started afresh
  // for connections that did not stay up for a heartbeat period.
  std::vector<std::chrono::steady_clock::time_point> logins;
  for (std::size_t n = 2; n <= 5; ++n) {
    ASSERT_TRUE(sim.waitForPacket("03001", 6000ms, nullptr, n)) << n;
    logins.push_back(std::chrono::steady_clock::now());
  }
  EXPECT_LT(logins[0] - start, 1000ms);
  EXPECT_GE(logins[1] - logins[0], 400ms);
  EXPECT_GE(logins[2] - logins[1], 800ms);
  EXPECT_GE(logins[3] - logins[2], 1600ms);
}

TEST_F(SessionTest, RefusedOrUnansweredLoginIsLoggedWithTheLane) {
  CommandBehaviour refuse;
  refuse.errorCode = "-3";
  sim.setBehaviour("03001", refuse);
  started();
  EXPECT_TRUE(log.contains("]-Lane 7: login to 127.0.0.1:" + std::to_string(sim.port()) +
                           " failed: refused with code -3\n"))
      << log.text();
  CommandBehaviour silent;
  silent.noAnswer = true;
  sim.setBehaviour("03001", silent);
  sim.setBehaviour("03021", silent);
  ASSERT_TRUE(waitUntil([&] { return log.count(" failed: no answer (2)\n") == 2; }, 6000ms)) << log.text();
  EXPECT_TRUE(log.contains("]-Lane 7: heartbeat to 127.0.0.1:" + std::to_string(sim.port()) +
                           " failed: no answer (2)\n"));
  EXPECT_TRUE(log.contains("]-Lane 7: login to 127.0.0.1:" + std::to_string(sim.port()) +
                           " failed: no answer (2)\n"));
}

// ---- Lane operations -----------------------------------------------------------------------------

using Operation = int (AMvLaneClientOper::*)(const char*, std::string&);

struct OperationCase {
  const char* name;
  Operation operation;
  const char* command;       // id of the (first) request sent
  const char* deviceMember;  // member the operation sets, or null
  const char* extra;         // members the command needs to be sent
};

const OperationCase kOperations[] = {
    {"ReaderRead", &AMvLaneClientOper::ReaderRead, "03010", "ReaderID", R"("TimeOut":"500")"},
    {"ReaderWrite", &AMvLaneClientOper::ReaderWrite, "03012", "ReaderID", R"("CardNo":"3201")"},
    {"RSURead", &AMvLaneClientOper::RSURead, "03005", "RSUID", R"("TimeOut":"500")"},
    {"RSUWrite", &AMvLaneClientOper::RSUWrite, "03023", "RSUID", R"("VehType":"1")"},
    {"SendNonCashPay", &AMvLaneClientOper::SendNonCashPay, "03029", "ReaderID",
     R"("Timeout":"1000","NonCashTsSn":"T1")"},
    {"StopNonCashPay", &AMvLaneClientOper::StopNonCashPay, "03031", "ReaderID", R"("A":"1")"},
    {"ListUpLoad", &AMvLaneClientOper::ListUpLoad, "03013", nullptr, R"("A":"1")"},
    {"BlackListQuery", &AMvLaneClientOper::BlackListQuery, "03017", nullptr, R"("A":"1")"},
    {"ListQuery", &AMvLaneClientOper::ListQuery, "03014", nullptr, R"("A":"1")"},
    {"QueryTransDetail", &AMvLaneClientOper::QueryTransDetail, "03032", nullptr, R"("A":"1")"},
};

class OperationTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    info.ReaderID = 1;
    started();
    sim.clearReceived();  // the heartbeat thread's packets that follow are told apart by id
  }

  // Packets other than the heartbeat thread's.
  std::size_t operationPackets() {
    std::size_t n = 0;
    for (const SimPacket& packet : sim.received()) {
      const std::string id = packet.cmdId;
      if (id != "03016" && id != "03021") ++n;
    }
    return n;
  }

  int call(Operation operation, const char* input, std::string& out) {
    return ((*session).*operation)(input, out);
  }
};

TEST_F(OperationTest, EveryOperationStampsIdentityAndDeviceOverCallerMembers) {
  for (const OperationCase& op : kOperations) {
    SCOPED_TRACE(op.name);
    sim.clearReceived();
    const std::string input = std::string(R"({"LaneNo":"99","UserName":"x","ReaderID":"5",)") +
                              R"("RSUID":"5","Custom":"kept",)" + op.extra + "}";
    std::string out;
    EXPECT_EQ(0, call(op.operation, input.c_str(), out));
    SimPacket packet;
    ASSERT_TRUE(sim.waitForPacket(op.command, kPacketWait, &packet, 1));
    const Json::Value& sent = packet.json;
    EXPECT_EQ("07", sent["LaneNo"].asString());
    EXPECT_EQ("operator", sent["UserName"].asString());
    EXPECT_EQ("44", sent["ProvinceNo"].asString());
    EXPECT_EQ("01", sent["CityNo"].asString());
    EXPECT_EQ("0101", sent["AreaNo"].asString());
    EXPECT_EQ("02", sent["GateNo"].asString());
    EXPECT_EQ("kept", sent["Custom"].asString());
    const std::string member = op.deviceMember == nullptr ? "" : op.deviceMember;
    EXPECT_EQ(member == "ReaderID" ? "1" : "5", sent["ReaderID"].asString());
    EXPECT_EQ(member == "RSUID" ? "-1" : "5", sent["RSUID"].asString());
  }
}

TEST_F(OperationTest, ListQueryOfEmptyObjectOrNullSendsIdentityOnly) {
  for (const char* input : {"{}", "null"}) {
    SCOPED_TRACE(input);
    sim.clearReceived();
    std::string out;
    EXPECT_EQ(0, session->ListQuery(input, out));
    SimPacket packet;
    ASSERT_TRUE(sim.waitForPacket("03014", kPacketWait, &packet, 1));
    EXPECT_EQ((std::set<std::string>{"AreaNo", "CityNo", "GateNo", "LaneNo", "ListOP",
                                     "OpSerialNo", "ProvinceNo", "UserName"}),
              memberNames(packet.json));
  }
}

TEST_F(OperationTest, RequestThatIsNotAJsonObjectIsRejectedBeforeSending) {
  const char* inputs[] = {"abc", "", "[1,2]", "5", "\"text\"", "true", nullptr};
  for (const OperationCase& op : kOperations) {
    for (const char* input : inputs) {
      SCOPED_TRACE(std::string(op.name) + " " + (input == nullptr ? "(null)" : input));
      std::string out = "previous";
      EXPECT_EQ(3, call(op.operation, input, out));
      EXPECT_EQ("", out);
    }
  }
  EXPECT_EQ(0u, operationPackets());
}

TEST_F(OperationTest, OperationOnClosedConnectionReturnsTheCommandResult) {
  session->client()->closeSocket();
  std::string out = "previous";
  EXPECT_EQ(6, session->ListQuery("{}", out));
  EXPECT_EQ("previous", out);
}

// ---- Two-step reads and the card number rule -----------------------------------------------------

TEST_F(OperationTest, ReaderReadUsesGdCommandForCardNumbersBeginning44) {
  sim.setCardNo("4401020304050607");
  std::string out;
  EXPECT_EQ(0, session->ReaderRead(R"({"TimeOut":"500"})", out));
  SimPacket info2;
  ASSERT_TRUE(sim.waitForPacket("03026", kPacketWait, &info2, 1));
  EXPECT_EQ("4401020304050607", info2.json["CardNo"].asString());
  EXPECT_EQ("1", info2.json["ReaderID"].asString());
  EXPECT_TRUE(sim.receivedWith("03011").empty());
  EXPECT_EQ("4401020304050607", parsed(out)["CardNo"].asString());
}

TEST_F(OperationTest, ReaderReadUsesPlainCommandForOtherCardNumbers) {
  sim.setCardNo("3201020304050607");
  std::string out;
  EXPECT_EQ(0, session->ReaderRead(R"({"TimeOut":"500"})", out));
  SimPacket info2;
  ASSERT_TRUE(sim.waitForPacket("03011", kPacketWait, &info2, 1));
  EXPECT_EQ("3201020304050607", info2.json["CardNo"].asString());
  EXPECT_TRUE(sim.receivedWith("03026").empty());
  EXPECT_EQ("3201020304050607", parsed(out)["CardNo"].asString());
}

// The search completes its own request (its "TimeOut" goes out as a number); the card information
// request starts again from the caller's, where "TimeOut" is the text the caller gave.
TEST_F(OperationTest, ReaderReadSecondRequestStartsFromTheCallersNotTheSearchs) {
  sim.setCardNo("3201020304050607");
  std::string out;
  EXPECT_EQ(0, session->ReaderRead(R"({"TimeOut":"500","Custom":"kept"})", out));
  SimPacket search;
  SimPacket info2;
  ASSERT_TRUE(sim.waitForPacket("03010", kPacketWait, &search, 1));
  ASSERT_TRUE(sim.waitForPacket("03011", kPacketWait, &info2, 1));
  EXPECT_TRUE(search.json["TimeOut"].isInt());
  EXPECT_EQ("500", info2.json["TimeOut"].asString());
  EXPECT_TRUE(info2.json["TimeOut"].isString());
  EXPECT_EQ("kept", info2.json["Custom"].asString());
}

TEST_F(OperationTest, ReaderReadWithUnusableCardNumberReturns4AndSearchOutput) {
  const Json::Value unusable[] = {Json::Value("4"), Json::Value(Json::Int64{4401020304}), Json::Value()};
  for (const Json::Value& cardNo : unusable) {
    SCOPED_TRACE(cardNo.toStyledString());
    CommandBehaviour search;
    search.members["CardNo"] = cardNo;
    sim.setBehaviour("03010", search);
    std::string out;
    EXPECT_EQ(4, session->ReaderRead(R"({"TimeOut":"500"})", out));
    EXPECT_EQ(cardNo.toStyledString(), parsed(out)["CardNo"].toStyledString());
    EXPECT_EQ("1", parsed(out)["ICReaderOP"].asString());
  }
  EXPECT_TRUE(sim.receivedWith("03011").empty());
  EXPECT_TRUE(sim.receivedWith("03026").empty());
}

TEST_F(OperationTest, ReaderReadReturnsFailingSearchUnchanged) {
  CommandBehaviour search;
  search.errorCode = "12";
  search.members["Detail"] = "no card";
  sim.setBehaviour("03010", search);
  std::string out;
  EXPECT_EQ(12, session->ReaderRead(R"({"TimeOut":"500"})", out));
  EXPECT_EQ("no card", parsed(out)["Detail"].asString());

  search = CommandBehaviour{};
  search.noAnswer = true;
  sim.setBehaviour("03010", search);
  out = "previous";
  EXPECT_EQ(2, session->ReaderRead(R"({"TimeOut":"500"})", out));
  EXPECT_EQ("", out);
  EXPECT_TRUE(sim.receivedWith("03011").empty());
  EXPECT_TRUE(sim.receivedWith("03026").empty());
}

TEST_F(OperationTest, ReaderReadAddsCardNumberToFailingCardInformation) {
  sim.setCardNo("3201020304050607");
  CommandBehaviour cardInfo;
  cardInfo.errorCode = "-7";
  sim.setBehaviour("03011", cardInfo);
  std::string out;
  EXPECT_EQ(-7, session->ReaderRead(R"({"TimeOut":"500"})", out));
  const Json::Value doc = parsed(out);
  EXPECT_EQ("3201020304050607", doc["CardNo"].asString());
  EXPECT_EQ("-7", doc["ErrorCode"].asString());

  // No answer at all leaves nothing to add the number to.
  cardInfo = CommandBehaviour{};
  cardInfo.noAnswer = true;
  sim.setBehaviour("03011", cardInfo);
  EXPECT_EQ(4, session->ReaderRead(R"({"TimeOut":"500"})", out));
  EXPECT_EQ("", out);
}

TEST_F(OperationTest, ReaderWriteChoosesCommandByCardNumber) {
  std::string out;
  EXPECT_EQ(0, session->ReaderWrite(R"({"CardNo":"4412"})", out));
  ASSERT_TRUE(sim.waitForPacket("03024", kPacketWait, nullptr, 1));
  EXPECT_EQ(0, session->ReaderWrite(R"({"CardNo":"3244"})", out));
  ASSERT_TRUE(sim.waitForPacket("03012", kPacketWait, nullptr, 1));
  EXPECT_EQ(1u, sim.receivedWith("03024").size());
}

TEST_F(OperationTest, ReaderWriteWithoutUsableCardNumberSendsNothing) {
  for (const char* input : {"{}", R"({"CardNo":"4"})", R"({"CardNo":4412})", R"({"CardNo":null})"}) {
    SCOPED_TRACE(input);
    std::string out = "previous";
    EXPECT_EQ(3, session->ReaderWrite(input, out));
    EXPECT_EQ("previous", out);
  }
  EXPECT_EQ(0u, operationPackets());
}

TEST_F(OperationTest, RsuReadCarriesObuIdentityIntoSecondStepAndOutput) {
  CommandBehaviour search;
  search.members["OBUID"] = "OBU-1";
  search.members["OBUNO"] = 42;
  sim.setBehaviour("03005", search);
  CommandBehaviour obuInfo;
  obuInfo.errorCode = "9";
  obuInfo.members["OBUID"] = "overwritten";
  sim.setBehaviour("03025", obuInfo);

  std::string out;
  EXPECT_EQ(9, session->RSURead(R"({"TimeOut":"500"})", out));
  SimPacket second;
  ASSERT_TRUE(sim.waitForPacket("03025", kPacketWait, &second, 1));
  EXPECT_EQ("OBU-1", second.json["OBUID"].asString());
  EXPECT_EQ(42, second.json["OBUNO"].asInt());
  EXPECT_EQ("-1", second.json["RSUID"].asString());
  const Json::Value doc = parsed(out);
  EXPECT_EQ("OBU-1", doc["OBUID"].asString());
  EXPECT_EQ(42, doc["OBUNO"].asInt());
  EXPECT_EQ("9", doc["ErrorCode"].asString());
}

TEST_F(OperationTest, RsuReadReturnsFailingSearchUnchanged) {
  CommandBehaviour search;
  search.errorCode = "-2";
  sim.setBehaviour("03005", search);
  std::string out;
  EXPECT_EQ(-2, session->RSURead(R"({"TimeOut":"500"})", out));
  EXPECT_EQ("-2", parsed(out)["ErrorCode"].asString());
  EXPECT_TRUE(sim.receivedWith("03025").empty());
}

// The request texts on the wire, byte for byte: the styled layout, members in name order, 8-bit
// text unescaped, numbers and comments as the reader kept them. Only "OpSerialNo" varies.
TEST_F(OperationTest, RequestBodiesOnTheWireKeepTheirExactText) {
  struct Case {
    const char* input;
    const char* body;
  };
  const Case cases[] = {
      {"{}",
       "{\n\t\"AreaNo\" : \"0101\",\n\t\"CityNo\" : \"01\",\n\t\"GateNo\" : \"02\",\n"
       "\t\"LaneNo\" : \"07\",\n\t\"ListOP\" : \"1\",\n\t\"OpSerialNo\" : \"N\",\n"
       "\t\"ProvinceNo\" : \"44\",\n\t\"UserName\" : \"operator\"\n}\n"},
      {"{\"Text\":\"\\u00e9 \xc3\xa9 \xd6\xd0\",\"Nested\":{\"b\":[1,2.5,-3,true,null,\"x\"],\"e\":{},"
       "\"f\":[]}}",
       "{\n\t\"AreaNo\" : \"0101\",\n\t\"CityNo\" : \"01\",\n\t\"GateNo\" : \"02\",\n"
       "\t\"LaneNo\" : \"07\",\n\t\"ListOP\" : \"1\",\n\t\"Nested\" : \n\t{\n\t\t\"b\" : \n"
       "\t\t[\n\t\t\t1,\n\t\t\t2.5,\n\t\t\t-3,\n\t\t\ttrue,\n\t\t\tnull,\n\t\t\t\"x\"\n"
       "\t\t],\n\t\t\"e\" : {},\n\t\t\"f\" : []\n\t},\n\t\"OpSerialNo\" : \"N\",\n"
       "\t\"ProvinceNo\" : \"44\",\n\t\"Text\" : \"\xC3\xA9 \xC3\xA9 \xD6\xD0\",\n"
       "\t\"UserName\" : \"operator\"\n}\n"},
      {"{\"Big\":18446744073709551615,\"Neg\":-9223372036854775808,\"D\":0.1,\"E\":1e300}",
       "{\n\t\"AreaNo\" : \"0101\",\n\t\"Big\" : 18446744073709551615,\n\t\"CityNo\" : \"01\",\n"
       "\t\"D\" : 0.10000000000000001,\n\t\"E\" : 1.0000000000000001e+300,\n"
       "\t\"GateNo\" : \"02\",\n\t\"LaneNo\" : \"07\",\n\t\"ListOP\" : \"1\",\n"
       "\t\"Neg\" : -9223372036854775808,\n\t\"OpSerialNo\" : \"N\",\n"
       "\t\"ProvinceNo\" : \"44\",\n\t\"UserName\" : \"operator\"\n}\n"},
      {"// lead\n{\"A\":\"1\" /* after */, \"B\":\"2\" // tail\n}",
       "\n// lead\n{\n\t\"A\" : \"1\", /* after */\n\t\"AreaNo\" : \"0101\",\n"
       "\t\"B\" : \"2\", // tail\n\t\"CityNo\" : \"01\",\n\t\"GateNo\" : \"02\",\n"
       "\t\"LaneNo\" : \"07\",\n\t\"ListOP\" : \"1\",\n\t\"OpSerialNo\" : \"N\",\n"
       "\t\"ProvinceNo\" : \"44\",\n\t\"UserName\" : \"operator\"\n}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    sim.clearReceived();
    std::string out;
    EXPECT_EQ(0, session->ListQuery(c.input, out));
    SimPacket packet;
    ASSERT_TRUE(sim.waitForPacket("03014", kPacketWait, &packet, 1));
    std::string body = packet.body;
    const std::size_t serial = body.find("\"OpSerialNo\" : \"");
    ASSERT_NE(std::string::npos, serial);
    const std::size_t digits = serial + std::strlen("\"OpSerialNo\" : \"");
    body.replace(digits, body.find('"', digits) - digits, "N");
    EXPECT_EQ(c.body, body);
  }
}

}  // namespace
