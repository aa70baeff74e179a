// A program started as a child process whose standard input and output are pipes to this process
// (its standard error is this process's), for a dialogue of lines. Whatever happens, the child is
// gone when the object is: its input is closed, which tells it to end, and a child that has not
// ended within kExitDeadline is killed. One thread uses the object.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace soak {

class ChildProcess {
 public:
  static constexpr std::chrono::seconds kExitDeadline{10};

  explicit ChildProcess(const std::string& program);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return process_ != kNone; }
  // Why the program could not be started.
  const std::string& error() const { return error_; }

  // Writes the line and a line feed to the child's input; false when it cannot (the child ended).
  bool writeLine(const std::string& line);
  // The next line of the child's output without its line end (a CR before the LF included);
  // false at the end of its output. Waits as long as the child takes.
  bool readLine(std::string& line);

  // Closes the child's input and waits for it to end, killing it after kExitDeadline; its exit
  // status, or -1 when it was killed or never started. The destructor does the same.
  int finish();

 private:
  static constexpr std::intptr_t kNone = -1;

  // The system's side (ChildProcessPosix.cpp, ChildProcessWindows.cpp).
  void start(const std::string& program);
  bool writeAll(const char* data, std::size_t size);
  long readSome(char* data, std::size_t size);  // 0 at the end of the output, < 0 on error
  void closeInput();
  int waitOrKill();
  void closeOutput();

  // Descriptors on POSIX, handles on Windows; the process id or handle.
  std::intptr_t input_ = kNone;
  std::intptr_t output_ = kNone;
  std::intptr_t process_ = kNone;
  std::string error_;
  std::string pending_;  // output read past the last line handed out
  bool outputEnded_ = false;
};

}  // namespace soak
