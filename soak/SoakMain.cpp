// The soak: two lanes of the built Marovex library, loaded by name as a lane application loads it,
// against two lane-server simulators in a process of their own (marovex_soak_server), eight
// caller threads issuing all eleven operations at random, faults switched on and off in phases (a
// restart of the servers among them), Init and Uninit cycles in between. Prints one summary
// table; exits non-zero on any violation. The same program is built for Linux and for 32-bit
// Windows; what the systems count differently is in SoakCensus, the stack dump of a hang in
// StackDump, the log files' end in LogDiscard.
//
// usage: marovex_soak [SECONDS] (default 600; SOAK_SECONDS and SOAK_SEED are read too)
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <json/json.h>

#include "CallWatchdog.h"
#include "LaneConfigText.h"
#include "LibraryBinding.h"
#include "LogDiscard.h"
#include "SoakCensus.h"
#include "SoakReport.h"
#include "SoakServers.h"
#include "StackDump.h"
#include "common/JsonText.h"
#include "common/ResultCodes.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr int kDefaultSeconds = 600;
constexpr std::size_t kCallers = 8;
constexpr int kLanes[] = {1, 2};
constexpr int kHeartBeatSeconds = 3;
constexpr int kTimeOutSeconds = 1;
constexpr Ms kHeartBeatPeriod = std::chrono::seconds(kHeartBeatSeconds);
constexpr Ms kRecoveryLimit = 2 * kHeartBeatPeriod;
// The servers' restart: down for this long, then each lane must serve within the limit. A lane
// tries to reconnect 0, 0.5, 1.5 and 3.5 s after its connection went, so a server back after 3 s
// meets the try at 3.5 s; a lane that waited for its next heartbeat, or tried only once per
// period, would miss the limit.
constexpr Ms kServerDownTime = 3s;
constexpr Ms kRestartLimit = 1500ms;
constexpr Ms kMinPhase = 3s;
constexpr int kMaxThinkMs = 5;  // pause between two calls of a caller: a busy lane, not a spin
constexpr int kPhasesWanted = 16;
constexpr Ms kOverrunAllowance = 1s;  // a call must return within its deadline plus this
constexpr Ms kSessionCycleBound = 8s; // Init or Uninit, sessions replaced and stopped included
constexpr Ms kHangMargin = 20s;       // the watchdog's patience beyond every bound
constexpr Ms kSettleWait = 3s;
constexpr Ms kAckWait = 3s;
constexpr Ms kProbeEvery = 50ms;
constexpr int kOutSize = 256 * 1024;
// The process's memory only guards against growth outside the heap: the allocator's caches and
// fragmentation (and a sanitizer's quarantine) move it by megabytes without any leak.
constexpr std::size_t kMemorySlackKb = 32 * 1024;
constexpr std::size_t kMemoryGrowthPercent = 25;
constexpr Ms kServerCommandBound = 5s;  // a command to the servers' program, answered

struct SoakOperation {
  const char* name;
  const char* body;  // the request; "%s" stands for a fresh transaction number
  Ms deadline;       // what the library may take: its request time-outs
};

// Requests the library sends as they are, with short time-outs.
const std::array<SoakOperation, 11> kOps = {{
    {"ReaderRead", R"({"TimeOut":"500"})", 1550ms},
    {"ReaderWrite", R"({"CardNo":"3201000000000000042","Balance":"10"})", 1000ms},
    {"RSURead", R"({"TimeOut":"500"})", 1550ms},
    {"RSUWrite", R"({"VehType":"1"})", 1000ms},
    {"ETCStatusQuery", "{}", 0ms},
    {"SendNonCashPay", R"({"Timeout":"1000","NonCashPayOp":"1","NonCashTsSn":"%s"})", 1100ms},
    {"StopNonCashPay", R"({"NonCashTsSn":"none"})", 1000ms},
    {"ListUpLoad", R"({"ListOP":"1"})", 1000ms},
    {"BlackListQuery", R"({"CardNo":"3201"})", 1000ms},
    {"ListQuery", R"({"ListOP":"2"})", 1000ms},
    {"QueryTransDetail", R"({"NonCashTsSn":"none"})", 1000ms},
}};
constexpr std::size_t kStatusOp = 4;  // answered by the library itself, not by the server
constexpr std::size_t kPayOp = 5;

// Codes a caller is told to expect (no session: while Uninit runs).
bool expectedCode(int code) {
  switch (code) {
    case result::kOk: case result::kChannelBusy: case result::kNoResponse: case result::kRejected:
    case result::kUnusableAnswer: case result::kNotWritten: case result::kBadErrorCode:
    case result::kNoSession:
      return true;
    default:
      return false;
  }
}
// Outputs that must be JSON texts: those of success and of a rejection (an unusable answer leaves
// the raw output of the last command, which may be empty).
bool outputMustBeJson(int code) { return code == result::kOk || code == result::kRejected; }

struct FaultPhase {
  const char* name;
  const char* faults;            // the simulators' faults: a scenario's "Faults" object
  bool restartsServers = false;  // instead of faults: the servers go away and come back
};

long long ticksOf(Clock::time_point t) { return t.time_since_epoch().count(); }
Clock::time_point timeOf(long long ticks) { return Clock::time_point(Clock::duration(ticks)); }
std::size_t laneIndex(int lane) { return lane == kLanes[0] ? 0 : 1; }

// One of each kind of fault the simulator injects, in the order the soak runs them; the servers'
// restart comes first, so that a short run has it too.
const FaultPhase kFaultPhases[] = {
    {"restart", nullptr, true},
    {"slices", R"({"SliceBytes":3,"PauseMs":1})"},
    {"noise", R"({"Garbage":0.3,"FalseHeads":0.3,"HugeHeads":0.2,"BadCheckCode":0.1,"LowerCaseCheckCode":0.1})"},
    {"late", R"({"LateMs":1500})"},
    {"stale", R"({"StaleSerials":0.3,"UnknownPushes":0.3,"UnknownIdFlood":2})"},
    {"cut", R"({"CutAfterBytes":6000})"},
    {"reset", R"({"CutAfterBytes":4000,"Reset":true})"},
    {"deaf", R"({"NoRead":true})"},
};
constexpr const char* kNoFaults = "{}";

// The phase's faults with the seed of their random choices.
std::string seededFaults(const char* faults, unsigned seed) {
  return std::string(R"({"Seed":)") + std::to_string(seed) + (faults[1] == '}' ? "" : ",") + (faults + 1);
}

testsupport::LaneConfig laneConfig(int lane, std::uint16_t port, bool autoLogout) {
  testsupport::LaneConfig config;
  config.laneNo = lane;
  config.port = port;
  config.rsuId = 0;
  config.readerId = 1;
  config.heartBeatTime = kHeartBeatSeconds;
  config.timeOut = kTimeOutSeconds;
  config.autoLogout = autoLogout ? 1 : 0;
  return config;
}

bool isJson(const std::string& text) {
  Json::Value doc;
  return jsontext::parse(text, doc) && (doc.isObject() || doc.isArray());
}

class Soak {
 public:
  Soak(Ms total, unsigned seed)
      : total_(total),
        seed_(seed),
        home_(std::filesystem::current_path()),
        watchdog_(kCallers + 1),
        servers_(MAROVEX_BIN_DIR "/marovex_soak_server" MAROVEX_EXE_SUFFIX) {}
  ~Soak() {
    api_.reset();  // unloading stops whatever still runs, before the files go
    std::error_code ec;
    std::filesystem::current_path(home_, ec);
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  Soak(const Soak&) = delete;
  Soak& operator=(const Soak&) = delete;

  int run() {
    if (!setUp()) return 2;
    std::vector<std::thread> callers;
    for (std::size_t slot = 0; slot < kCallers; ++slot) callers.emplace_back(&Soak::callerLoop, this, slot);
    runPhases();
    stop_.store(true);
    for (std::thread& t : callers) t.join();
    timedSessionCall("Uninit", [this] { return api_->uninit(); });
    checkPayments(closeCalmPhase());
    soak::ServerAcks acks;
    if (!serversDo("tell the stray acknowledgements", [&] { return servers_.acks(false, acks); })) acks = {};
    for (const soak::LaneAcks& lane : acks) {
      if (lane.stray != 0) report_.violation(std::to_string(lane.stray) + " acknowledgements of no push");
    }
    std::cout << "payments completed in calm phases: " << paymentsChecked_ << '\n';
    serversDo("stop", [this] { return servers_.stop(); });
    report_.print(std::cout);
    std::cout << "soak: " << (report_.violations() == 0 ? 1 : 0) << " passed, "
              << (report_.violations() == 0 ? 0 : 1) << " failed\n";
    return report_.violations() == 0 ? 0 : 1;
  }

 private:
  bool setUp() {
    if (!servers_.listen()) {
      std::cerr << "soak: the lane servers do not start: " << servers_.error() << '\n';
      return false;
    }
    dir_ = std::filesystem::temp_directory_path() / ("marovex-soak-" + std::to_string(seed_) + "-" +
                                                      std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir_ / "EtcConfig");
    std::filesystem::create_directories(dir_ / "logs");
    soak::discardLogs(dir_ / "logs");
    {
      std::ofstream ini(dir_ / "EtcConfig" / "Marovex.ini");
      ini << testsupport::laneConfigText(
          {laneConfig(kLanes[0], servers_.port(0), false), laneConfig(kLanes[1], servers_.port(1), true)},
          "logs");
    }
    // The library reads its configuration below the working directory when it loads.
    std::filesystem::current_path(dir_);
    api_ = std::make_unique<LibraryBinding>(MAROVEX_BIN_DIR "/" + platform::sharedLibraryFileName("Marovex"));
    if (!api_->ok()) {
      std::cerr << "soak: " << api_->error() << '\n';
      return false;
    }
    const int init = timedSessionCall("Init", [this] { return initLanes(); });
    if (init != 0) {
      std::cerr << "soak: the first Init failed\n";
      return false;
    }
    return true;
  }

  int initLanes() {
    std::vector<char> out(kOutSize);
    int len = kOutSize;
    return api_->init(out.data(), &len);
  }

  // Runs Init or Uninit on the main thread, bounded, watched and marked for the callers' overlap.
  template <typename Call>
  int timedSessionCall(const char* name, Call&& call) {
    const std::size_t slot = kCallers;
    sessionCalls_.fetch_add(1);
    watchdog_.begin(slot, name, kSessionCycleBound + kHangMargin);
    const auto start = Clock::now();
    const int code = call();
    const Ms took = std::chrono::duration_cast<Ms>(Clock::now() - start);
    watchdog_.end(slot);
    sessionCalls_.fetch_add(1);  // odd while one runs; the count tells a caller it overlapped
    report_.sessionCycle(name, code, took);
    if (took > kSessionCycleBound) report_.violation(std::string(name) + " took " + std::to_string(took.count()) + " ms");
    if (code != 0) report_.violation(std::string(name) + " returned " + std::to_string(code));
    return code;
  }

  // A command to the servers' program on the main thread, watched; a failure is a violation.
  template <typename Command>
  bool serversDo(const char* what, Command&& command) {
    watchdog_.begin(kCallers, std::string("the servers' ") + what, kServerCommandBound + kHangMargin);
    const bool done = command();
    watchdog_.end(kCallers);
    if (!done) report_.violation(std::string("the servers could not ") + what + ": " + servers_.error());
    return done;
  }

  void runPhases() {
    const std::size_t faultKinds = sizeof kFaultPhases / sizeof kFaultPhases[0];
    const Ms phase = std::max(kMinPhase, total_ / kPhasesWanted);
    const auto end = Clock::now() + total_;
    bool baselineTaken = false;
    for (unsigned n = 0; Clock::now() + phase <= end || n < 2; ++n) {
      const bool calm = n % 2 == 0;
      const FaultPhase& fault = kFaultPhases[(n / 2) % faultKinds];
      const std::string name = calm ? "calm " + std::to_string(n / 2 + 1) : fault.name;
      if (calm) {
        // Sessions are started anew: Uninit then Init, or an Init that replaces the running ones.
        if (n > 0 && (n / 2) % 2 == 1) timedSessionCall("Uninit", [this] { return api_->uninit(); });
        if (n > 0) timedSessionCall("Init", [this] { return initLanes(); });
        calmPhase_.store(n);
      } else if (fault.restartsServers) {
        calmPhase_.store(-1);
        restartServers(name, phase);
      } else {
        calmPhase_.store(-1);
        const std::string faults = seededFaults(fault.faults, seed_ * 1000 + n);
        serversDo("set the faults", [&] { return servers_.setFaults(faults); });
      }
      if (calm || !fault.restartsServers) std::this_thread::sleep_for(phase);
      if (calm) checkPayments(closeCalmPhase());
      if (!calm) {
        serversDo("clear the faults", [this] { return servers_.setFaults(kNoFaults); });
        checkRecovery(name);
      }
      censusAfter(name, calm, baselineTaken, Clock::now() > end - total_ / 2);
      // The baseline is the one of the first two calm phases with more descriptors: the second is
      // the first after the servers' restart, once the lanes have taken every path.
      if (calm && n > 0) baselineTaken = true;
    }
    calmPhase_.store(-1);
  }

  // Both lanes serve again: status "Connection" "0" and a successful operation.
  void checkRecovery(const std::string& phase) {
    const auto start = Clock::now();
    std::map<int, bool> serving;
    while (Clock::now() - start < kRecoveryLimit + kOverrunAllowance) {
      for (int lane : kLanes) {
        if (!serving[lane]) serving[lane] = laneServes(lane);
      }
      if (serving[kLanes[0]] && serving[kLanes[1]]) break;
      std::this_thread::sleep_for(kProbeEvery);
    }
    const Ms took = std::chrono::duration_cast<Ms>(Clock::now() - start);
    const bool inTime = serving[kLanes[0]] && serving[kLanes[1]] && took <= kRecoveryLimit;
    report_.recovery(phase, took, inTime);
    if (!inTime) report_.violation("lanes did not serve again within two heartbeat periods after " + phase);
  }

  // The servers close every connection and stop listening, then listen again on the same ports:
  // each lane must have a call answered within kRestartLimit of their return.
  void restartServers(const std::string& phase, Ms length) {
    const auto start = Clock::now();
    serversDo("stop", [this] { return servers_.stop(); });
    std::this_thread::sleep_for(kServerDownTime);
    for (auto& served : firstServed_) served.store(0);
    // Their return is taken as the command goes out: the lanes' time to serve includes its way.
    const auto back = Clock::now();
    servedAfter_.store(ticksOf(back));
    serversDo("listen again on their ports", [this] { return servers_.listen(); });
    const auto waitEnd = back + kRestartLimit + kOverrunAllowance;
    const auto bothServed = [this] { return firstServed_[0].load() != 0 && firstServed_[1].load() != 0; };
    while (!bothServed() && Clock::now() < waitEnd) std::this_thread::sleep_for(kProbeEvery / 5);
    servedAfter_.store(0);
    for (std::size_t i = 0; i < soak::kLaneServers; ++i) {
      const long long served = firstServed_[i].load();
      const Ms took = served == 0 ? std::chrono::duration_cast<Ms>(waitEnd - back)
                                  : std::chrono::duration_cast<Ms>(timeOf(served) - back);
      const bool inTime = served != 0 && took <= kRestartLimit;
      report_.restart(phase, kLanes[i], took, served != 0, inTime);
      if (!inTime) {
        report_.violation("lane " + std::to_string(kLanes[i]) + " did not serve within " +
                          std::to_string(kRestartLimit.count()) + " ms of its server's return");
      }
    }
    const auto end = start + std::max(length, kServerDownTime);
    if (Clock::now() < end) std::this_thread::sleep_until(end);
  }

  // A call on the lane was answered: the first one after the servers' return is its recovery.
  void noteServed(int lane, Clock::time_point at) {
    const long long after = servedAfter_.load();
    if (after == 0 || ticksOf(at) < after) return;
    long long none = 0;
    firstServed_[laneIndex(lane)].compare_exchange_strong(none, ticksOf(at));
  }

  bool laneServes(int lane) {
    std::vector<char> out(kOutSize);
    int len = kOutSize;
    if (api_->operation("ETCStatusQuery")(lane, "{}", out.data(), &len) != 0) return false;
    Json::Value status;
    if (!jsontext::parse(out.data(), status) || status["Connection"] != "0") return false;
    len = kOutSize;
    return api_->operation("ListQuery")(lane, R"({"ListOP":"2"})", out.data(), &len) == 0;
  }

  // Descriptors (handles on Windows), threads and memory at the end of the phase. After calm
  // phases the descriptors and threads must not exceed the baseline's (handles by at most those of
  // the calls in flight); the heap in use must not grow in the second half of the run
  // beyond the most the first half saw (plus the calls in flight), and the process's memory, which
  // also warms up, not beyond a coarse limit.
  void censusAfter(const std::string& phase, bool calm, bool baselineTaken, bool secondHalf) {
    soak::SoakCensus now = soak::SoakCensus::take();
    if (calm && baselineTaken) {
      const auto grown = [this](const soak::SoakCensus& c) {
        return c.handles > baseline_.handles + soak::SoakCensus::kHandlesInFlight || c.threads > baseline_.threads;
      };
      const auto settleEnd = Clock::now() + kSettleWait;
      while (grown(now) && Clock::now() < settleEnd) {
        std::this_thread::sleep_for(kProbeEvery);
        now = soak::SoakCensus::take();
      }
      if (grown(now)) {
        report_.violation("after " + phase + ": " + now.text() + " against " + baseline_.text() + " at the baseline");
      }
    } else if (calm && now.handles >= baseline_.handles) {
      baseline_ = now;
    }
    if (calm && !secondHalf) {
      firstHalfMost_.memoryKb = std::max(firstHalfMost_.memoryKb, now.memoryKb);
      firstHalfMost_.heapInUseKb = std::max(firstHalfMost_.heapInUseKb, now.heapInUseKb);
    }
    const std::size_t memoryLimit =
        firstHalfMost_.memoryKb + firstHalfMost_.memoryKb * kMemoryGrowthPercent / 100 + kMemorySlackKb;
    if (calm && secondHalf && now.heapInUseKb > firstHalfMost_.heapInUseKb + soak::SoakCensus::kHeapSlackKb) {
      report_.violation("after " + phase + ": heap in use " + std::to_string(now.heapInUseKb) +
                        " kB, against at most " + std::to_string(firstHalfMost_.heapInUseKb) +
                        " kB in the first half");
    }
    if (calm && secondHalf && now.memoryKb > memoryLimit) {
      report_.violation("after " + phase + ": " + soak::SoakCensus::kMemoryName + " " + std::to_string(now.memoryKb) +
                        " kB, against at most " + std::to_string(firstHalfMost_.memoryKb) + " kB in the first half");
    }
    report_.census(phase, now);
  }

  void callerLoop(std::size_t slot) {
    std::mt19937 rng(seed_ * 100 + static_cast<unsigned>(slot));
    std::vector<char> out(kOutSize);
    unsigned transaction = 0;
    while (!stop_.load()) {
      std::this_thread::sleep_for(Ms(rng() % (kMaxThinkMs + 1)));
      const std::size_t which = rng() % kOps.size();
      const SoakOperation& op = kOps[which];
      const int lane = kLanes[rng() % 2];
      std::string body = op.body;
      std::string tsSn;
      const auto mark = body.find("%s");
      if (mark != std::string::npos) {
        tsSn = "S" + std::to_string(slot) + "-" + std::to_string(++transaction);
        body.replace(mark, 2, tsSn);
      }
      const long calmAtStart = calmPhase_.load();
      const unsigned sessionsBefore = sessionCalls_.load();
      int len = kOutSize;
      watchdog_.begin(slot, op.name, op.deadline + kOverrunAllowance + kSessionCycleBound + kHangMargin);
      const auto start = Clock::now();
      const int code = api_->operation(op.name)(lane, body.c_str(), out.data(), &len);
      const auto end = Clock::now();
      const Ms took = std::chrono::duration_cast<Ms>(end - start);
      watchdog_.end(slot);
      if (code == result::kOk && which != kStatusOp) noteServed(lane, end);
      const unsigned sessionsAfter = sessionCalls_.load();
      const bool overlapped = sessionsAfter != sessionsBefore || sessionsBefore % 2 == 1;

      report_.call(op.name, code, took, overlapped);
      const std::string where = std::string(op.name) + " on lane " + std::to_string(lane);
      const Ms bound = op.deadline + kOverrunAllowance + (overlapped ? kSessionCycleBound : Ms(0));
      if (took > bound) report_.violation(where + " took " + std::to_string(took.count()) + " ms");
      if (!expectedCode(code)) report_.violation(where + " returned " + std::to_string(code));
      if (code == result::kStashed) continue;
      if (outputMustBeJson(code) && !isJson(out.data())) {
        report_.violation(where + " returned " + std::to_string(code) + " with an output that is not JSON");
      }
      if (which == kPayOp && code == 0 && calmAtStart >= 0) {
        std::lock_guard<std::mutex> lock(paymentsMutex_);
        if (calmPhase_.load() == calmAtStart) payments_.emplace_back(lane, tsSn);
      }
    }
  }

  // Ends the calm phase for the payment ledger and hands over its payments: a payment that
  // completes later is not one of the phase's.
  std::vector<std::pair<int, std::string>> closeCalmPhase() {
    std::lock_guard<std::mutex> lock(paymentsMutex_);
    calmPhase_.store(-1);
    return std::exchange(payments_, {});
  }

  // Every payment that completed in the calm phase was acknowledged to its simulator exactly once,
  // and no push was acknowledged twice. The simulators then forget the acknowledged pushes, so
  // that neither their records nor the ledger grow with the length of the run.
  void checkPayments(const std::vector<std::pair<int, std::string>>& payments) {
    soak::ServerAcks acks;
    const auto unacknowledged = [&] {
      if (!serversDo("tell the acknowledgements", [&] { return servers_.acks(false, acks); })) return std::ptrdiff_t(0);
      return std::count_if(payments.begin(), payments.end(), [&](const auto& payment) {
        const auto& lane = acks[laneIndex(payment.first)].pushes;
        const auto found = lane.find(payment.second);
        return found == lane.end() || found->second == 0;
      });
    };
    // The last acknowledgements may still be on their way.
    const auto deadline = Clock::now() + kAckWait;
    while (unacknowledged() > 0 && Clock::now() < deadline) std::this_thread::sleep_for(kProbeEvery);
    if (!serversDo("take the acknowledgements", [&] { return servers_.acks(true, acks); })) return;
    for (const auto& payment : payments) {
      const auto& lane = acks[laneIndex(payment.first)].pushes;
      const auto found = lane.find(payment.second);
      const int count = found == lane.end() ? 0 : found->second;
      if (count != 1) {
        report_.violation("payment " + payment.second + " on lane " + std::to_string(payment.first) +
                          " acknowledged " + std::to_string(count) + " times");
      }
    }
    for (const auto& lane : acks) {
      for (const auto& entry : lane.pushes) {
        if (entry.second > 1) report_.violation("push " + entry.first + " acknowledged " + std::to_string(entry.second) + " times");
      }
    }
    paymentsChecked_ += payments.size();
  }

  const Ms total_;
  const unsigned seed_;
  const std::filesystem::path home_;
  soak::SoakReport report_;
  soak::CallWatchdog watchdog_;
  soak::SoakServers servers_;
  std::filesystem::path dir_;
  std::unique_ptr<LibraryBinding> api_;
  std::atomic<bool> stop_{false};
  std::atomic<long> calmPhase_{-1};        // the calm phase running, -1 during faults
  std::atomic<unsigned> sessionCalls_{0};  // odd while Init or Uninit runs
  soak::SoakCensus baseline_;
  soak::SoakCensus firstHalfMost_;  // the most memory of the first half's calm phases
  std::mutex paymentsMutex_;  // guards payments_ and the end of a calm phase
  std::vector<std::pair<int, std::string>> payments_;  // of the calm phase running
  std::size_t paymentsChecked_ = 0;
  std::atomic<long long> servedAfter_{0};                // the servers' return; 0: no restart watched
  std::array<std::atomic<long long>, 2> firstServed_{};  // per lane: the first answered call after it
};

}  // namespace

#ifdef __SANITIZE_ADDRESS__
// Under AddressSanitizer: a small quarantine, so that resident memory tells the library's growth
// rather than the sanitizer's, and the soak leaves the machine room for other work.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "quarantine_size_mb=32";
}
#endif

namespace {

int numberFrom(const char* text, int fallback) {
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (*end == '\0' && value > 0) ? static_cast<int>(value) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  soak::installStackDump();
  int seconds = numberFrom(std::getenv("SOAK_SECONDS"), kDefaultSeconds);
  if (argc > 1) seconds = numberFrom(argv[1], seconds);
  const unsigned seed = static_cast<unsigned>(numberFrom(std::getenv("SOAK_SEED"), 1));
  std::cout << "soak: " << seconds << " s, seed " << seed << ", " << kCallers << " callers, 2 lanes\n"
            << std::flush;
  Soak soak(std::chrono::seconds(seconds), seed);
  return soak.run();
}
