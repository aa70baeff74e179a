// A program of the build started as a child process through the shell, its output read line by line.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

const std::string kLanesimProgram = MAROVEX_BIN_DIR "/lanesim";

// One line of a stream without its line feed; false at the end of the stream.
bool readLine(FILE* f, std::string& line);

// The program started in the background by a shell that reports the pid first and the exit status
// last ("exit=N"). Whatever happens, the program is gone when the object is.
class ChildProgram {
 public:
  static constexpr std::chrono::seconds kExitDeadline{10};

  ChildProgram(const std::string& program, const std::string& args);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  bool started() const { return !pid_.empty(); }
  // The next line of the program's output; false at its end.
  bool line(std::string& text) { return readLine(out_, text); }
  bool signal(const char* name);
  // Reads the rest of the output (killing the program should it not end in time).
  std::vector<std::string> rest();

 private:
  FILE* out_ = nullptr;
  std::string pid_;
  bool finished_ = false;
};

}  // namespace testsupport
