#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace soak {

namespace {

constexpr auto kExitPoll = std::chrono::milliseconds(20);

int fd(std::intptr_t handle) { return static_cast<int>(handle); }

void closeFd(std::intptr_t& handle) {
  if (handle != -1) ::close(fd(handle));
  handle = -1;
}

}  // namespace

void ChildProcess::start(const std::string& program) {
  // A child that has gone must make a write fail, not end this process.
  ::signal(SIGPIPE, SIG_IGN);
  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    return;
  }
  if (::pipe2(fromChild, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    ::close(toChild[0]);
    ::close(toChild[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copies: the child keeps only these two of the pipes.
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  if (failed != 0) {
    error_ = "cannot start " + program + ": " + std::strerror(failed);
    ::close(toChild[1]);
    ::close(fromChild[0]);
    return;
  }
  input_ = toChild[1];
  output_ = fromChild[0];
  process_ = pid;
}

bool ChildProcess::writeAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd(input_), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

long ChildProcess::readSome(char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd(output_), data, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void ChildProcess::closeInput() { closeFd(input_); }

void ChildProcess::closeOutput() { closeFd(output_); }

int ChildProcess::waitOrKill() {
  const pid_t pid = static_cast<pid_t>(process_);
  const auto deadline = std::chrono::steady_clock::now() + kExitDeadline;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kExitPoll);
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
}

}  // namespace soak
