#include "StackDump.h"

#include <execinfo.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace soak {

namespace {

constexpr int kDumpSignal = SIGUSR2;
constexpr int kMaxFrames = 64;
constexpr auto kDumpWait = std::chrono::milliseconds(500);

extern "C" void printOwnStack(int) {
  void* frames[kMaxFrames];
  const int n = backtrace(frames, kMaxFrames);
  char head[64];
  const int len = std::snprintf(head, sizeof head, "---- thread %ld\n", static_cast<long>(syscall(SYS_gettid)));
  if (len > 0) (void)!write(STDERR_FILENO, head, static_cast<std::size_t>(len));
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
}

}  // namespace

void installStackDump() {
  struct sigaction action {};
  action.sa_handler = printOwnStack;
  sigemptyset(&action.sa_mask);
  sigaction(kDumpSignal, &action, nullptr);
  // backtrace loads its unwinder on first use, which must not happen inside a signal handler.
  void* frame[1];
  backtrace(frame, 1);
}

void dumpStacksAndAbort(const char* reason) {
  std::fprintf(stderr, "soak: %s; stacks of every thread follow\n", reason);
  std::fflush(stderr);
  const pid_t pid = getpid();
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    const long tid = std::stol(task.path().filename().string());
    syscall(SYS_tgkill, pid, tid, kDumpSignal);
  }
  std::this_thread::sleep_for(kDumpWait);
  std::abort();
}

}  // namespace soak
