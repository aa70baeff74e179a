// The soak: two lanes of the built Marovex library against two in-process lane-server simulators,
// eight caller threads issuing all eleven operations at random, faults switched on and off in
// phases (a restart of the servers among them), Init and Uninit cycles in between. Prints one
// summary table; exits non-zero on any violation.
//
// usage: marovex_soak [SECONDS] (default 600; SOAK_SECONDS and SOAK_SEED are read too)
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
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
#include "LaneSimulator.h"
#include "LibraryBinding.h"
#include "ProcessCensus.h"
#include "SoakReport.h"
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
// Heap in use may exceed the first half's most by this in the second half: the calls in flight
// when the census is taken. A leak of 100 bytes per call grows it by megabytes within a minute.
constexpr std::size_t kHeapSlackKb = 512;
// Resident memory only guards against growth outside the heap: the allocator's caches and
// fragmentation (and a sanitizer's quarantine) move it by megabytes without any leak.
constexpr std::size_t kResidentSlackKb = 32 * 1024;
constexpr std::size_t kResidentGrowthPercent = 25;

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
  SimFaultPlan plan;
  bool restartsServers = false;  // instead of the plan: the servers go away and come back
};

template <typename Set>
FaultPhase faultPhase(const char* name, Set&& set) {
  FaultPhase phase{name, SimFaultPlan()};
  set(phase.plan);
  return phase;
}

long long ticksOf(Clock::time_point t) { return t.time_since_epoch().count(); }
Clock::time_point timeOf(long long ticks) { return Clock::time_point(Clock::duration(ticks)); }
std::size_t laneIndex(int lane) { return lane == kLanes[0] ? 0 : 1; }

// One of each kind of fault the simulator injects, in the order the soak runs them; the servers'
// restart comes first, so that a short run has it too.
std::vector<FaultPhase> faultPhases() {
  return {
      FaultPhase{"restart", SimFaultPlan(), true},
      faultPhase("slices", [](SimFaultPlan& f) { f.sliceBytes = 3; f.pauseMs = 1; }),
      faultPhase("noise", [](SimFaultPlan& f) {
        f.garbage = 0.3;
        f.falseHeads = 0.3;
        f.hugeHeads = 0.2;
        f.badCheckCode = 0.1;
        f.lowerCaseCheckCode = 0.1;
      }),
      faultPhase("late", [](SimFaultPlan& f) { f.lateMs = 1500; }),
      faultPhase("stale", [](SimFaultPlan& f) {
        f.staleSerials = 0.3;
        f.unknownPushes = 0.3;
        f.unknownIdFlood = 2;
      }),
      faultPhase("cut", [](SimFaultPlan& f) { f.cutAfterBytes = 6000; }),
      faultPhase("reset", [](SimFaultPlan& f) { f.cutAfterBytes = 4000; f.reset = true; }),
      faultPhase("deaf", [](SimFaultPlan& f) { f.noRead = true; }),
  };
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
      : total_(total), seed_(seed), home_(std::filesystem::current_path()), watchdog_(kCallers + 1) {}
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
    for (std::size_t i = 0; i < sims_.size(); ++i) {
      if (sims_[i].strayAcks() != 0) report_.violation(std::to_string(sims_[i].strayAcks()) + " acknowledgements of no push");
    }
    std::cout << "payments completed in calm phases: " << paymentsChecked_ << '\n';
    sims_[0].stop();
    sims_[1].stop();
    report_.print(std::cout);
    std::cout << "soak: " << (report_.violations() == 0 ? 1 : 0) << " passed, "
              << (report_.violations() == 0 ? 0 : 1) << " failed\n";
    return report_.violations() == 0 ? 0 : 1;
  }

 private:
  bool setUp() {
    for (LaneSimulator& sim : sims_) {
      sim.setRecording(false);
      if (!sim.start()) {
        std::cerr << "soak: cannot start a lane-server simulator\n";
        return false;
      }
    }
    dir_ = std::filesystem::temp_directory_path() / ("marovex-soak-" + std::to_string(seed_) + "-" +
                                                      std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir_ / "EtcConfig");
    discardLogs();
    {
      std::ofstream ini(dir_ / "EtcConfig" / "Marovex.ini");
      ini << testsupport::laneConfigText(
          {laneConfig(kLanes[0], sims_[0].port(), false), laneConfig(kLanes[1], sims_[1].port(), true)},
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

  // Every call is logged as a lane application's would be, but thousands of calls a second would
  // fill the disk: today's and tomorrow's log files lead nowhere.
  void discardLogs() {
    const auto logs = dir_ / "logs";
    std::filesystem::create_directories(logs);
    const auto now = std::chrono::system_clock::now();
    for (const auto when : {now, now + std::chrono::hours(24)}) {
      const std::time_t t = std::chrono::system_clock::to_time_t(when);
      std::tm local{};
      localtime_r(&t, &local);
      char name[32];
      std::strftime(name, sizeof name, "Marovex_%Y%m%d.log", &local);
      std::error_code ec;
      std::filesystem::create_symlink("/dev/null", logs / name, ec);
    }
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

  void runPhases() {
    const std::vector<FaultPhase> faults = faultPhases();
    const Ms phase = std::max(kMinPhase, total_ / kPhasesWanted);
    const auto end = Clock::now() + total_;
    bool baselineTaken = false;
    for (unsigned n = 0; Clock::now() + phase <= end || n < 2; ++n) {
      const bool calm = n % 2 == 0;
      const FaultPhase& fault = faults[(n / 2) % faults.size()];
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
        SimFaultPlan plan = fault.plan;
        plan.seed = seed_ * 1000 + n;
        for (LaneSimulator& sim : sims_) sim.setFaults(plan);
      }
      if (calm || !fault.restartsServers) std::this_thread::sleep_for(phase);
      if (calm) checkPayments(closeCalmPhase());
      if (!calm) {
        for (LaneSimulator& sim : sims_) sim.setFaults(SimFaultPlan());
        checkRecovery(name);
      }
      censusAfter(name, calm, baselineTaken, Clock::now() > end - total_ / 2);
      if (calm) baselineTaken = true;
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
    std::array<std::uint16_t, 2> ports{};
    for (std::size_t i = 0; i < sims_.size(); ++i) {
      ports[i] = sims_[i].port();
      sims_[i].stop();
    }
    std::this_thread::sleep_for(kServerDownTime);
    for (auto& served : firstServed_) served.store(0);
    const auto back = Clock::now();
    servedAfter_.store(ticksOf(back));
    for (std::size_t i = 0; i < sims_.size(); ++i) {
      if (!sims_[i].start("127.0.0.1", ports[i])) {
        report_.violation("the server of lane " + std::to_string(kLanes[i]) + " could not listen again on port " +
                          std::to_string(ports[i]));
      }
    }
    const auto waitEnd = back + kRestartLimit + kOverrunAllowance;
    const auto bothServed = [this] { return firstServed_[0].load() != 0 && firstServed_[1].load() != 0; };
    while (!bothServed() && Clock::now() < waitEnd) std::this_thread::sleep_for(kProbeEvery / 5);
    servedAfter_.store(0);
    for (std::size_t i = 0; i < sims_.size(); ++i) {
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

  // Descriptors, threads and memory at the end of the phase. After calm phases the descriptors
  // and threads must not exceed the first calm phase's; the heap in use must not grow in the
  // second half of the run beyond the most the first half saw (plus the calls in flight), and
  // resident memory, which also warms up, not beyond a coarse limit.
  void censusAfter(const std::string& phase, bool calm, bool baselineTaken, bool secondHalf) {
    testsupport::ProcessCensus now = testsupport::ProcessCensus::take();
    if (calm && baselineTaken) {
      const auto settleEnd = Clock::now() + kSettleWait;
      while ((now.descriptors > baseline_.descriptors || now.threads > baseline_.threads) &&
             Clock::now() < settleEnd) {
        std::this_thread::sleep_for(kProbeEvery);
        now = testsupport::ProcessCensus::take();
      }
      if (now.descriptors > baseline_.descriptors || now.threads > baseline_.threads) {
        report_.violation("after " + phase + ": " + now.text() + " against " + baseline_.text() + " at first");
      }
    } else if (calm) {
      baseline_ = now;
    }
    if (calm && !secondHalf) {
      firstHalfMost_.residentKb = std::max(firstHalfMost_.residentKb, now.residentKb);
      firstHalfMost_.heapInUseKb = std::max(firstHalfMost_.heapInUseKb, now.heapInUseKb);
    }
    const std::size_t residentLimit = firstHalfMost_.residentKb +
                                      firstHalfMost_.residentKb * kResidentGrowthPercent / 100 +
                                      kResidentSlackKb;
    if (calm && secondHalf && now.heapInUseKb > firstHalfMost_.heapInUseKb + kHeapSlackKb) {
      report_.violation("after " + phase + ": heap in use " + std::to_string(now.heapInUseKb) +
                        " kB, against at most " + std::to_string(firstHalfMost_.heapInUseKb) +
                        " kB in the first half");
    }
    if (calm && secondHalf && now.residentKb > residentLimit) {
      report_.violation("after " + phase + ": resident memory " + std::to_string(now.residentKb) +
                        " kB, against at most " + std::to_string(firstHalfMost_.residentKb) + " kB in the first half");
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
    std::array<std::map<std::string, int>, 2> acks;
    const auto unacknowledged = [&] {
      acks = {sims_[0].pushAcks(), sims_[1].pushAcks()};
      return std::count_if(payments.begin(), payments.end(), [&](const auto& payment) {
        const auto& lane = acks[laneIndex(payment.first)];
        const auto found = lane.find(payment.second);
        return found == lane.end() || found->second == 0;
      });
    };
    // The last acknowledgements may still be on their way.
    const auto deadline = Clock::now() + kAckWait;
    while (unacknowledged() > 0 && Clock::now() < deadline) std::this_thread::sleep_for(kProbeEvery);
    acks = {sims_[0].takePushAcks(), sims_[1].takePushAcks()};
    for (const auto& payment : payments) {
      const auto& lane = acks[laneIndex(payment.first)];
      const auto found = lane.find(payment.second);
      const int count = found == lane.end() ? 0 : found->second;
      if (count != 1) {
        report_.violation("payment " + payment.second + " on lane " + std::to_string(payment.first) +
                          " acknowledged " + std::to_string(count) + " times");
      }
    }
    for (const auto& lane : acks) {
      for (const auto& entry : lane) {
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
  std::array<LaneSimulator, 2> sims_;
  std::filesystem::path dir_;
  std::unique_ptr<LibraryBinding> api_;
  std::atomic<bool> stop_{false};
  std::atomic<long> calmPhase_{-1};        // the calm phase running, -1 during faults
  std::atomic<unsigned> sessionCalls_{0};  // odd while Init or Uninit runs
  testsupport::ProcessCensus baseline_;
  testsupport::ProcessCensus firstHalfMost_;  // the most memory of the first half's calm phases
  std::mutex paymentsMutex_;  // guards payments_ and the end of a calm phase
  std::vector<std::pair<int, std::string>> payments_;  // of the calm phase running
  std::size_t paymentsChecked_ = 0;
  std::atomic<long long> servedAfter_{0};                // the servers' return; 0: no restart watched
  std::array<std::atomic<long long>, 2> firstServed_{};  // per lane: the first answered call after it
};

}  // namespace

// Under AddressSanitizer: a small quarantine, so that resident memory tells the library's growth
// rather than the sanitizer's, and the soak leaves the machine room for other work.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "quarantine_size_mb=32";
}

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
