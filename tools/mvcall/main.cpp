// mvcall: loads the Marovex library the way a lane application does and runs the calls named on
// the command line, in order, in one process.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CallStep.h"
#include "LibraryBinding.h"
#include "common/ResultCodes.h"
#include "platform/Platform.h"

namespace {

constexpr int kExitAllOk = 0;
constexpr int kExitLibrary = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCallFailed = 3;
// Small enough that long outputs take the GetResponse path.
constexpr int kDefaultBufferSize = 1024;
constexpr int kMaxBufferSize = 64 * 1024 * 1024;

void printUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: mvcall [--lib PATH] [--buffer BYTES] STEP...\n"
               "  STEP is one of\n"
               "    Init                     read EtcConfig/Marovex.ini here and start the lanes\n"
               "    Uninit                   stop the lanes\n"
               "    OPERATION:LANE[:JSON]    call a lane operation (JSON defaults to {})\n"
               "    wait:MS                  pause for MS milliseconds\n"
               "  OPERATION is one of");
  for (int i = 0; i < LibraryBinding::kOperationCount; ++i) {
    std::fprintf(out, " %s", LibraryBinding::kOperationNames[i]);
  }
  std::fprintf(out,
               "\n"
               "  --lib PATH      the library to load (default: %s next to mvcall)\n"
               "  --buffer BYTES  the output buffer given to each call (default %d); longer\n"
               "                  outputs are fetched with GetResponse\n"
               "  --help          print this and exit\n"
               "Exit status: 0 when every call returned 0, 3 when one did not, 1 when the\n"
               "library cannot be used, 2 on a bad command line.\n",
               LibraryBinding::fileName().c_str(), kDefaultBufferSize);
}

struct Options {
  bool help = false;
  std::string library;
  int bufferSize = kDefaultBufferSize;
  std::vector<CallStep> steps;
};

bool parseOptions(int argc, char** argv, Options& options) {
  options.library =
      LibraryBinding::defaultPath(std::filesystem::path(argv[0]).parent_path().string());
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lib" || arg == "--buffer") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "mvcall: %s needs a value\n", arg.c_str());
        return false;
      }
      const std::string value = argv[++i];
      if (arg == "--lib") {
        options.library = value;
        continue;
      }
      char* end = nullptr;
      const long size = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || size < 1 || size > kMaxBufferSize) {
        std::fprintf(stderr, "mvcall: --buffer needs a size from 1 to %d\n", kMaxBufferSize);
        return false;
      }
      options.bufferSize = static_cast<int>(size);
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return true;
    }
    if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "mvcall: unknown option %s\n", arg.c_str());
      return false;
    }
    std::string error;
    auto step = CallStep::parse(arg, error);
    if (!step) {
      std::fprintf(stderr, "mvcall: %s\n", error.c_str());
      return false;
    }
    options.steps.push_back(*step);
  }
  if (options.steps.empty()) {
    std::fprintf(stderr, "mvcall: no calls given\n");
    return false;
  }
  return true;
}

// What one call gave back, after any GetResponse.
struct CallOutcome {
  int result = 0;
  std::string output;
  int stashedSize = -1;  // capacity asked for by a result of 5, or -1
};

// Fetches a stashed output on this thread with a buffer of the capacity the call asked for.
void fetchStashed(const LibraryBinding& lib, int capacity, CallOutcome& outcome) {
  outcome.stashedSize = capacity;
  std::vector<char> buffer(static_cast<std::size_t>(capacity));
  int code = 0;
  int len = capacity;
  const int fetched = lib.getResponse(&code, buffer.data(), &len);
  if (fetched == result::kOk) {
    outcome.result = code;
    outcome.output = buffer.data();
  } else {
    outcome.output = "(GetResponse returned " + std::to_string(fetched) + ")";
  }
}

CallOutcome runCall(const LibraryBinding& lib, const CallStep& step, int bufferSize) {
  CallOutcome outcome;
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize), '\0');
  int len = bufferSize;
  if (step.kind == CallStep::Kind::Init) {
    outcome.result = lib.init(buffer.data(), &len);
  } else if (step.kind == CallStep::Kind::Uninit) {
    outcome.result = lib.uninit();
    return outcome;
  } else {
    outcome.result = lib.operation(step.name)(step.lane, step.input.c_str(), buffer.data(), &len);
  }
  if (outcome.result == result::kStashed) {
    fetchStashed(lib, len, outcome);
  } else if (outcome.result != result::kException && outcome.result != result::kNoSession) {
    outcome.output = buffer.data();
  }
  return outcome;
}

// A lane has a session only after an Init in the same process, and every mvcall is one.
void hintInitFirst(const CallStep& step) {
  std::fprintf(stderr,
               "mvcall: lane %d has no session (1000). Each mvcall is a new process with no "
               "lanes started: put Init first on the same command line, e.g.\n"
               "  mvcall Init '%s:%d:%s' Uninit\n",
               step.lane, step.name.c_str(), step.lane, step.input.c_str());
}

void printOutcome(const CallStep& step, const CallOutcome& outcome, long long elapsedMs) {
  std::string title = step.name;
  if (step.kind == CallStep::Kind::Operation) title += " lane " + std::to_string(step.lane);
  std::printf("== %s: result %d, %lld ms", title.c_str(), outcome.result, elapsedMs);
  if (outcome.stashedSize >= 0) {
    std::printf(" (returned 5; output of %d bytes fetched with GetResponse)",
                outcome.stashedSize - 1);
  }
  std::printf("\n");
  if (!outcome.output.empty()) {
    std::printf("%s", outcome.output.c_str());
    if (outcome.output.back() != '\n') std::printf("\n");
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    printUsage(stderr);
    return kExitUsage;
  }
  if (options.help) {
    printUsage(stdout);
    return kExitAllOk;
  }
  const LibraryBinding lib(options.library);
  if (!lib.ok()) {
    std::fprintf(stderr, "mvcall: %s\n", lib.error().c_str());
    return kExitLibrary;
  }
  int status = kExitAllOk;
  bool initRan = false;
  bool hinted = false;
  for (const CallStep& step : options.steps) {
    if (step.kind == CallStep::Kind::Wait) {
      std::printf("== wait %d ms\n", step.waitMs);
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::milliseconds(step.waitMs));
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    const CallOutcome outcome = runCall(lib, step, options.bufferSize);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    printOutcome(step, outcome, static_cast<long long>(elapsed.count()));
    initRan = initRan || step.kind == CallStep::Kind::Init;
    if (outcome.result == result::kNoSession && !initRan && !hinted) {
      hintInitFirst(step);
      hinted = true;
    }
    if (outcome.result != result::kOk) status = kExitCallFailed;
  }
  return status;
}
