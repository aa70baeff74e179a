#include "ChildProcess.h"

#include <windows.h>

namespace soak {

namespace {

HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
std::intptr_t valueOf(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

void closeHandle(std::intptr_t& h) {
  if (h != -1) ::CloseHandle(handleOf(h));
  h = -1;
}

std::string lastErrorText(const std::string& what) {
  return what + ": error " + std::to_string(::GetLastError());
}

// A pipe whose end `childEnd` (0: reading, 1: writing) the child inherits.
bool inheritablePipe(HANDLE ends[2], int childEnd) {
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  if (!::CreatePipe(&ends[0], &ends[1], &inherit, 0)) return false;
  ::SetHandleInformation(ends[1 - childEnd], HANDLE_FLAG_INHERIT, 0);
  return true;
}

}  // namespace

void ChildProcess::start(const std::string& program) {
  HANDLE toChild[2];
  HANDLE fromChild[2];
  if (!inheritablePipe(toChild, 0)) {
    error_ = lastErrorText("CreatePipe");
    return;
  }
  if (!inheritablePipe(fromChild, 1)) {
    error_ = lastErrorText("CreatePipe");
    ::CloseHandle(toChild[0]);
    ::CloseHandle(toChild[1]);
    return;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = toChild[0];
  startup.hStdOutput = fromChild[1];
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::string commandLine = "\"" + program + "\"";
  PROCESS_INFORMATION info{};
  // Only the two pipe ends are inheritable here: the library's sockets and files are not.
  const BOOL created = ::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
  const std::string why = created ? "" : lastErrorText("cannot start " + program);
  ::CloseHandle(toChild[0]);
  ::CloseHandle(fromChild[1]);
  if (!created) {
    error_ = why;
    ::CloseHandle(toChild[1]);
    ::CloseHandle(fromChild[0]);
    return;
  }
  ::CloseHandle(info.hThread);
  input_ = valueOf(toChild[1]);
  output_ = valueOf(fromChild[0]);
  process_ = valueOf(info.hProcess);
}

bool ChildProcess::writeAll(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(handleOf(input_), data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

long ChildProcess::readSome(char* data, std::size_t size) {
  DWORD got = 0;
  // A broken pipe is the end of the child's output.
  if (!::ReadFile(handleOf(output_), data, static_cast<DWORD>(size), &got, nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<long>(got);
}

void ChildProcess::closeInput() { closeHandle(input_); }

void ChildProcess::closeOutput() { closeHandle(output_); }

int ChildProcess::waitOrKill() {
  const HANDLE process = handleOf(process_);
  const DWORD waitMs = static_cast<DWORD>(std::chrono::milliseconds(kExitDeadline).count());
  int status = -1;
  if (::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process, &code)) status = static_cast<int>(code);
  } else {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, INFINITE);
  }
  ::CloseHandle(process);
  return status;
}

}  // namespace soak
