// e2e_bench: the exported ListQuery against the minimal responder, side by side with the floors it
// is measured against: a raw blocking ping-pong, and a thread hand-off ping-pong (one send, a
// receive thread in poll/recv handing the answer over through a condition variable; no JSON, no
// logging); and how soon a lane serves again after its server restarts. Every figure is printed
// as a name=value line.
//
// The library reads EtcConfig/Marovex.ini below the current directory; the driver script writes it
// (lane 1, and lane 2 for the parallel and lifecycle runs, both at the responder).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LibraryBinding.h"
#include "Recovery.h"
#include "Wire.h"
#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "127.0.0.1";
constexpr int kOutputCapacity = 64 * 1024;
constexpr int kWarmUpCalls = 500;
constexpr double kMicrosPerSecond = 1e6;
constexpr double kMillisPerSecond = 1e3;
constexpr int kRawParallelPairs = 12;
constexpr std::chrono::milliseconds kRecvIdleWait{200};

struct Options {
  std::string mode;
  std::string lib;
  std::uint16_t port = 0;
  int rounds = 10;
  int perRound = 1000;
  int calls = 20000;
  double seconds = 5;
  int lanes = 2;
  int threads = 6;
  bool libraryOnly = false;
  std::string prefix;
};

void print(const Options& o, const char* name, double value) {
  std::printf("%s%s=%.6g\n", o.prefix.c_str(), name, value);
  std::fflush(stdout);
}

double micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double quantile(std::vector<double> samples, double q) {
  if (samples.empty()) return 0;
  const std::size_t at = std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()));
  std::nth_element(samples.begin(), samples.begin() + static_cast<long>(at), samples.end());
  return samples[at];
}

// CPU time of the whole process, every thread included.
double processCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Context switches the process's live threads asked for (sleeps and waits): its wake-ups.
long long voluntarySwitches() {
  long long total = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream status(task.path() / "status");
    std::string key;
    while (status >> key) {
      if (key == "voluntary_ctxt_switches:") {
        long long n = 0;
        status >> n;
        total += n;
        break;
      }
    }
  }
  return total;
}

platform::SocketHandle connectBlocking(std::uint16_t port) {
  const platform::SocketHandle s = platform::tcpSocket();
  if (s == platform::kInvalidSocket) return s;
  if (!platform::connectStart(s, kHost, port)) {
    platform::closeSocket(s);
    return platform::kInvalidSocket;
  }
  return s;
}

// The raw floor: one blocking socket, send the request, block in recv for the answer.
class RawClient {
 public:
  explicit RawClient(std::uint16_t port)
      : s_(connectBlocking(port)), request_(wire::listQueryRequestPacket()) {}
  ~RawClient() { platform::closeSocket(s_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;
  bool ok() const { return s_ != platform::kInvalidSocket; }
  bool roundTrip() {
    return wire::sendAll(s_, request_) && wire::readPacket(s_, cutter_, answer_);
  }

 private:
  platform::SocketHandle s_;
  std::string request_;
  std::string answer_;
  wire::PacketCutter cutter_;
};

// The floor of the library's design: the caller sends and waits on a condition variable; a
// receive thread blocked in poll/recv cuts the answer out and hands it over.
class HandoffClient {
 public:
  explicit HandoffClient(std::uint16_t port)
      : s_(connectBlocking(port)), request_(wire::listQueryRequestPacket()) {
    if (ok()) receiver_ = std::thread(&HandoffClient::receive, this);
  }
  ~HandoffClient() {
    running_.store(false);
    if (receiver_.joinable()) receiver_.join();
    platform::closeSocket(s_);
  }
  HandoffClient(const HandoffClient&) = delete;
  HandoffClient& operator=(const HandoffClient&) = delete;
  bool ok() const { return s_ != platform::kInvalidSocket; }

  bool roundTrip() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answered_ = false;
    }
    if (platform::sendBytes(s_, request_.data(), request_.size()) !=
        static_cast<long>(request_.size())) {
      return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::seconds(5), [this] { return answered_; });
  }

 private:
  void receive() {
    wire::PacketCutter cutter;
    std::string packet;
    char chunk[wire::kReadChunk];
    while (running_.load()) {
      const int ready = platform::waitReadable(s_, kRecvIdleWait);
      if (ready == 0) continue;
      if (ready < 0) return;
      const long received = platform::recvBytes(s_, chunk, sizeof chunk);
      if (received <= 0) return;
      cutter.append(chunk, static_cast<std::size_t>(received));
      while (cutter.next(packet)) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          answer_.swap(packet);
          answered_ = true;
        }
        cond_.notify_one();
      }
    }
  }

  platform::SocketHandle s_;
  std::string request_;
  std::mutex mutex_;
  std::condition_variable cond_;
  bool answered_ = false;  // guarded by mutex_
  std::string answer_;     // guarded by mutex_
  std::atomic<bool> running_{true};
  std::thread receiver_;
};

// The library, loaded and initialised from the configuration in the current directory.
class Library {
 public:
  explicit Library(const std::string& path) : binding_(path) {
    if (!binding_.ok()) {
      std::fprintf(stderr, "e2e_bench: %s\n", binding_.error().c_str());
      return;
    }
    const Clock::time_point start = Clock::now();
    std::vector<char> out(kOutputCapacity);
    int len = kOutputCapacity;
    initialised_ = binding_.init(out.data(), &len) == 0;
    initTime_ = Clock::now() - start;
    if (!initialised_) std::fprintf(stderr, "e2e_bench: Init failed: %s\n", out.data());
  }
  ~Library() { uninit(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool ok() const { return initialised_; }
  Clock::duration initTime() const { return initTime_; }
  Clock::duration uninit() {
    if (!initialised_) return {};
    initialised_ = false;
    const Clock::time_point start = Clock::now();
    binding_.uninit();
    return Clock::now() - start;
  }
  MarovexOperationFn operation(const char* name) const { return binding_.operation(name); }

 private:
  LibraryBinding binding_;
  bool initialised_ = false;
  Clock::duration initTime_{};
};

// One exported operation with its input on one lane, called again and again from one thread.
class Caller {
 public:
  Caller(const Library& lib, const char* name, int lane, std::string input)
      : fn_(lib.operation(name)), lane_(lane), input_(std::move(input)), out_(kOutputCapacity) {}
  bool call() {
    int len = kOutputCapacity;
    return fn_(lane_, input_.c_str(), out_.data(), &len) == 0;
  }

 private:
  MarovexOperationFn fn_;
  int lane_;
  std::string input_;
  std::vector<char> out_;
};

Caller listQueryCaller(const Library& lib, int lane = 1) {
  return Caller(lib, "ListQuery", lane, wire::kListQueryInput);
}

// Runs the round trips in rounds, the contenders taking turns, so that a change of load on the
// machine falls on all of them alike. Returns one sample list per contender, in microseconds.
std::vector<std::vector<double>> interleaved(const Options& o,
                                             std::vector<std::function<bool()>>& contenders) {
  std::vector<std::vector<double>> samples(contenders.size());
  for (int round = 0; round < o.rounds; ++round) {
    for (std::size_t c = 0; c < contenders.size(); ++c) {
      for (int i = 0; i < o.perRound; ++i) {
        const Clock::time_point start = Clock::now();
        if (!contenders[c]()) {
          std::fprintf(stderr, "e2e_bench: a round trip failed\n");
          std::exit(1);
        }
        samples[c].push_back(micros(Clock::now() - start));
      }
    }
  }
  return samples;
}

int latency(const Options& o) {
  Library lib(o.lib);
  if (!lib.ok()) return 1;
  Caller caller = listQueryCaller(lib);
  std::vector<std::function<bool()>> contenders{[&] { return caller.call(); }};
  std::unique_ptr<RawClient> raw;
  std::unique_ptr<HandoffClient> handoff;
  if (!o.libraryOnly) {
    raw = std::make_unique<RawClient>(o.port);
    handoff = std::make_unique<HandoffClient>(o.port);
    if (!raw->ok() || !handoff->ok()) return 1;
    contenders.push_back([&] { return raw->roundTrip(); });
    contenders.push_back([&] { return handoff->roundTrip(); });
  }
  for (auto& contender : contenders) {
    for (int i = 0; i < kWarmUpCalls; ++i) contender();
  }
  const auto samples = interleaved(o, contenders);
  const double roundtrip = quantile(samples[0], 0.5);
  print(o, "roundtrip_median_us", roundtrip);
  print(o, "roundtrip_p99_us", quantile(samples[0], 0.99));
  if (o.libraryOnly) return 0;
  const double handoffMedian = quantile(samples[2], 0.5);
  print(o, "raw_median_us", quantile(samples[1], 0.5));
  print(o, "raw_p99_us", quantile(samples[1], 0.99));
  print(o, "handoff_median_us", handoffMedian);
  print(o, "handoff_p99_us", quantile(samples[2], 0.99));
  print(o, "roundtrip_ratio", roundtrip / handoffMedian);
  return 0;
}

// Process CPU time per ListQuery over o.calls calls.
int cpu(const Options& o) {
  Library lib(o.lib);
  if (!lib.ok()) return 1;
  Caller caller = listQueryCaller(lib);
  for (int i = 0; i < kWarmUpCalls; ++i) caller.call();
  const double before = processCpuSeconds();
  for (int i = 0; i < o.calls; ++i) {
    if (!caller.call()) return 1;
  }
  print(o, "client_cpu_us_per_call", (processCpuSeconds() - before) * kMicrosPerSecond / o.calls);
  return 0;
}

// A fixed number of calls and nothing else, for an instruction count of the whole process.
int calls(const Options& o) {
  Library lib(o.lib);
  if (!lib.ok()) return 1;
  Caller caller = listQueryCaller(lib);
  for (int i = 0; i < o.calls; ++i) {
    if (!caller.call()) return 1;
  }
  return 0;
}

// Makes the work of one thread from its index.
using WorkMaker = std::function<std::function<bool()>(int)>;

// Runs the work of `count` threads for o.seconds; returns the successful calls per second.
double callsPerSecond(const Options& o, int count, const WorkMaker& make) {
  std::atomic<bool> stop{false};
  std::atomic<long long> done{0};
  std::atomic<long long> failed{0};
  std::vector<std::thread> threads;
  const Clock::time_point start = Clock::now();
  for (int t = 0; t < count; ++t) {
    threads.emplace_back([&, t] {
      std::function<bool()> work = make(t);
      long long mine = 0;
      long long bad = 0;
      while (!stop.load(std::memory_order_relaxed)) (work() ? mine : bad) += 1;
      done += mine;
      failed += bad;
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
  stop.store(true);
  for (std::thread& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (failed.load() != 0) std::fprintf(stderr, "e2e_bench: %lld calls failed\n", failed.load());
  return static_cast<double>(done.load()) / elapsed;
}

// One operation per channel that an exported operation reaches, each with an input it accepts.
struct ChannelCall {
  const char* name;
  const char* input;
};
const ChannelCall kChannelCalls[] = {
    {"ReaderWrite", "{\"CardNo\":\"3201234567890123\"}"},
    {"RSUWrite", "{\"OBUID\":\"1\"}"},
    {"ListQuery", wire::kListQueryInput},
    {"BlackListQuery", "{\"CardNo\":\"4401234567890123\"}"},
    {"QueryTransDetail", "{\"NonCashTsSn\":\"1\"}"},
    {"StopNonCashPay", "{\"NonCashTsSn\":\"1\"}"},
};
constexpr int kChannelCallCount = sizeof kChannelCalls / sizeof kChannelCalls[0];

int parallel(const Options& o) {
  Library lib(o.lib);
  if (!lib.ok()) return 1;
  auto libraryWork = [&](int lanes) {
    return [&, lanes](int t) -> std::function<bool()> {
      const ChannelCall& c = kChannelCalls[t % kChannelCallCount];
      const int lane = 1 + (t / kChannelCallCount) % lanes;
      auto caller = std::make_shared<Caller>(lib, c.name, lane, c.input);
      return [caller] { return caller->call(); };
    };
  };
  const double two = callsPerSecond(o, o.lanes * o.threads, libraryWork(o.lanes));
  const double one = callsPerSecond(o, o.threads, libraryWork(1));
  const double raw = callsPerSecond(o, kRawParallelPairs, [&](int) -> std::function<bool()> {
    auto client = std::make_shared<RawClient>(o.port);
    return [client] { return client->roundTrip(); };
  });
  print(o, "one_lane_parallel_calls_per_s", one);
  print(o, "parallel_calls_per_s", two);
  print(o, "raw_parallel_calls_per_s", raw);
  print(o, "parallel_ratio", two / raw);
  return 0;
}

int lifecycle(const Options& o) {
  Library lib(o.lib);
  if (!lib.ok()) return 1;
  print(o, "init_two_lanes_ms", micros(lib.initTime()) / kMillisPerSecond);
  const double cpuBefore = processCpuSeconds();
  const long long switchesBefore = voluntarySwitches();
  const Clock::time_point start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
  const double idle = std::chrono::duration<double>(Clock::now() - start).count();
  const long long switches = voluntarySwitches() - switchesBefore;
  const double cpuUsed = processCpuSeconds() - cpuBefore;
  print(o, "uninit_two_lanes_ms", micros(lib.uninit()) / kMillisPerSecond);
  print(o, "idle_cpu_percent", cpuUsed / idle * 100);
  print(o, "idle_wakeups_per_s", static_cast<double>(switches) / idle);
  return 0;
}

// The median time from a lane server's return after a restart to the lane's first answered call.
int recoveryAfterRestart(const Options& o) {
  recovery::Plan plan;
  plan.lib = o.lib;
  plan.rounds = o.rounds;
  const std::vector<double> samples = recovery::measure(plan);
  if (samples.empty()) {
    std::fprintf(stderr, "e2e_bench: the lane did not serve again after a restart\n");
    return 1;
  }
  print(o, "recovery_ms", quantile(samples, 0.5));
  print(o, "recovery_max_ms", *std::max_element(samples.begin(), samples.end()));
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: e2e_bench MODE --lib PATH [--port N] [options]\n"
               "  latency   [--rounds R] [--per-round K] [--library-only]\n"
               "  cpu       [--calls N]\n"
               "  calls     [--calls N]\n"
               "  parallel  [--lanes L] [--threads T] [--seconds S]\n"
               "  lifecycle [--seconds S]\n"
               "  recovery  [--rounds R]   (a simulator of its own, restarted for 2 s per round)\n"
               "  --prefix P  put P before every printed name\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  Options o;
  o.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--library-only") {
      o.libraryOnly = true;
      continue;
    }
    if (value == nullptr) return usage();
    ++i;
    if (arg == "--lib") o.lib = value;
    else if (arg == "--port") o.port = static_cast<std::uint16_t>(std::atoi(value));
    else if (arg == "--rounds") o.rounds = std::atoi(value);
    else if (arg == "--per-round") o.perRound = std::atoi(value);
    else if (arg == "--calls") o.calls = std::atoi(value);
    else if (arg == "--seconds") o.seconds = std::atof(value);
    else if (arg == "--lanes") o.lanes = std::atoi(value);
    else if (arg == "--threads") o.threads = std::atoi(value);
    else if (arg == "--prefix") o.prefix = value;
    else return usage();
  }
  if (o.lib.empty()) return usage();
  platform::networkStartup();
  int rc = 2;
  if (o.mode == "latency") rc = latency(o);
  else if (o.mode == "cpu") rc = cpu(o);
  else if (o.mode == "calls") rc = calls(o);
  else if (o.mode == "parallel") rc = parallel(o);
  else if (o.mode == "lifecycle") rc = lifecycle(o);
  else if (o.mode == "recovery") rc = recoveryAfterRestart(o);
  else usage();
  platform::networkCleanup();
  return rc;
}
