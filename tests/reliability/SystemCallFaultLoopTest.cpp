// Makes the Nth socket, connect, wait, send or receive call of the library fail, for N = 1, 2, 3, ...
// over a whole session (Init, every operation at once, a heartbeat, Uninit), until a session runs
// without reaching its Nth call. After every run nothing may be left behind (descriptors, threads),
// and every call must have returned a code its caller is told to expect.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ChildProgram.h"
#include "ProcessCensus.h"
#include "TestSupport.h"
#include "api/CallBoundary.h"
#include "manager/AMvLaneClientManage.h"
#include "platform/Platform.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ProcessCensus;

constexpr int kLane = 7;
constexpr int kOutSize = 64 * 1024;
constexpr unsigned kMaxRuns = 400;  // far beyond the calls of one session
constexpr auto kHeartbeatWait = 3s;
constexpr auto kSettleWait = 5s;
const std::set<int> kInitCodes = {0, -1};
// Success, busy, no answer, rejected, unusable answer, not written, unreadable code, no session.
const std::set<int> kOperationCodes = {0, 1, 2, 3, 4, 6, 998, 1000};

struct Operation {
  const char* name;
  boundary::OperationMethod method;
  const char* input;
};

const std::array<Operation, 11> kOperations = {{
    {"ReaderRead", &AMvLaneClientOper::ReaderRead, R"({"TimeOut":"500"})"},
    {"ReaderWrite", &AMvLaneClientOper::ReaderWrite, R"({"CardNo":"3201"})"},
    {"RSURead", &AMvLaneClientOper::RSURead, R"({"TimeOut":"500"})"},
    {"RSUWrite", &AMvLaneClientOper::RSUWrite, R"({"VehType":"1"})"},
    {"ETCStatusQuery", &AMvLaneClientOper::ETCStatusQuery, "{}"},
    {"SendNonCashPay", &AMvLaneClientOper::SendNonCashPay, R"({"Timeout":"1000","NonCashTsSn":"T1"})"},
    {"StopNonCashPay", &AMvLaneClientOper::StopNonCashPay, R"({"A":"1"})"},
    {"ListUpLoad", &AMvLaneClientOper::ListUpLoad, R"({"A":"1"})"},
    {"BlackListQuery", &AMvLaneClientOper::BlackListQuery, R"({"A":"1"})"},
    {"ListQuery", &AMvLaneClientOper::ListQuery, R"({"A":"1"})"},
    {"QueryTransDetail", &AMvLaneClientOper::QueryTransDetail, R"({"A":"1"})"},
}};

std::string config(int port) {
  return "[Global]\nMvLaneNum=1\n[MvLane0]\nIpAddr=127.0.0.1\nPort=" + std::to_string(port) +
         "\nUserName=operator\nPassWord=pw\nProvinceNo=44\nCityNo=1\nAreaNo=101\nGateNo=2\nLaneNo=" +
         std::to_string(kLane) +
         "\nHeartBeatTime=1\nTimeOut=1\nRSUID=0\nReaderID=1\nAutoLogout=1\n";
}

// The lane server as a program of its own, so that the armed counters count the library's calls
// only; its output tells when a heartbeat arrived.
class LaneServer {
 public:
  LaneServer() : child_(testsupport::kLanesimProgram, "--listen 127.0.0.1:0") {
    std::string line;
    const std::string prefix = "lanesim listening on 127.0.0.1:";
    if (child_.line(line) && line.rfind(prefix, 0) == 0) port_ = std::atoi(line.c_str() + prefix.size());
    reader_ = std::thread([this] {
      std::string text;
      while (child_.line(text)) {
        if (text.rfind("recv ", 0) == 0 && text.find(" 03021 ") != std::string::npos) ++heartbeats_;
      }
    });
  }
  ~LaneServer() {
    child_.signal("TERM");
    reader_.join();
  }
  LaneServer(const LaneServer&) = delete;
  LaneServer& operator=(const LaneServer&) = delete;

  int port() const { return port_; }
  unsigned heartbeats() const { return heartbeats_.load(); }

 private:
  testsupport::ChildProgram child_;
  int port_ = 0;
  std::atomic<unsigned> heartbeats_{0};
  std::thread reader_;
};

class SystemCallFaultLoop : public ::testing::TestWithParam<platform::Call> {
 protected:
  void SetUp() override {
    ASSERT_GT(server.port(), 0);
    testsupport::writeFile(dir.file("EtcConfig/Marovex.ini"), config(server.port()));
  }
  void TearDown() override { platform::clearFaults(); }

  // One whole session; returns the codes that were not expected, as "Name=code".
  std::vector<std::string> runSession() {
    std::vector<std::string> unexpected;
    char out[kOutSize];
    int len = kOutSize;
    const int init = boundary::init(manager, out, &len);
    if (kInitCodes.count(init) == 0) unexpected.push_back("Init=" + std::to_string(init));
    const unsigned beatsBefore = server.heartbeats();

    std::array<int, kOperations.size()> codes{};
    std::vector<std::thread> callers;
    for (std::size_t i = 0; i < kOperations.size(); ++i) {
      callers.emplace_back([this, i, &codes] {
        char text[kOutSize];
        int size = kOutSize;
        const Operation& op = kOperations[i];
        codes[i] = boundary::operation(manager, op.name, op.method, kLane, op.input, text, &size);
      });
    }
    for (std::thread& t : callers) t.join();
    for (std::size_t i = 0; i < kOperations.size(); ++i) {
      if (kOperationCodes.count(codes[i]) == 0)
        unexpected.push_back(std::string(kOperations[i].name) + "=" + std::to_string(codes[i]));
    }
    // A heartbeat goes out one period after Init unless the injected failure stopped it.
    if (init == 0) testsupport::waitUntil([&] { return server.heartbeats() > beatsBefore; }, kHeartbeatWait);
    if (boundary::uninit(manager) != 0) unexpected.push_back("Uninit");
    return unexpected;
  }

  LaneServer server;
  testsupport::ScratchDir dir;
  testsupport::CurrentDirGuard cwd{dir.path()};
  AMvLaneClientManage manager;
};

TEST_P(SystemCallFaultLoop, EveryNthCallFailingLeavesNothingBehindAndOnlyDocumentedCodes) {
  const platform::Call kind = GetParam();
  const std::size_t threadsBefore = ProcessCensus::take().threads;
  ASSERT_TRUE(runSession().empty());  // a clean session first: the baseline
  // Taken once that session's threads have left the listing, which the kernel may do a moment
  // after they were joined; its descriptors include what the library keeps open (the log file).
  ProcessCensus baseline;
  testsupport::waitUntil([&] {
    baseline = ProcessCensus::take();
    return baseline.threads == threadsBefore;
  }, kSettleWait);
  ASSERT_EQ(threadsBefore, baseline.threads) << "the clean session left a thread";

  bool completedClean = false;
  for (unsigned n = 1; n <= kMaxRuns && !completedClean; ++n) {
    platform::failNthCall(kind, n);
    const std::vector<std::string> unexpected = runSession();
    completedClean = platform::faultArmed(kind);
    platform::clearFaults();
    for (const std::string& u : unexpected) ADD_FAILURE() << "failing call " << n << ": " << u;

    // Every thread was joined and every socket closed by Uninit; the kernel may take a moment to
    // drop an ended thread from the listing.
    ProcessCensus now;
    testsupport::waitUntil([&] {
      now = ProcessCensus::take();
      return now.descriptors == baseline.descriptors && now.threads == baseline.threads;
    }, kSettleWait);
    ASSERT_EQ(baseline.descriptors, now.descriptors) << "failing call " << n << " leaked a descriptor";
    ASSERT_EQ(baseline.threads, now.threads) << "failing call " << n << " left a thread";
  }
  EXPECT_TRUE(completedClean) << "a session made more than " << kMaxRuns << " such calls";
}

std::string callName(const ::testing::TestParamInfo<platform::Call>& info) {
  static const char* const kNames[] = {"Socket", "Connect", "Wait", "Send", "Recv"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Calls, SystemCallFaultLoop,
                         ::testing::Values(platform::Call::Socket, platform::Call::Connect,
                                           platform::Call::Wait, platform::Call::Send,
                                           platform::Call::Recv),
                         callName);

}  // namespace
