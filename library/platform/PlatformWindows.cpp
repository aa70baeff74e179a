// Windows implementation of the platform layer (Windows Sockets 2 and the Win32 API).
#include "platform/WindowsHeaders.h"

#include "platform/Platform.h"

#include <climits>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/FaultCounters.h"
#include "platform/ThreadEndHook.h"

namespace platform {

namespace {

bool injectedFailure(Call call, int err) {
  if (!faultDue(call)) return false;
  ::WSASetLastError(err);
  return true;
}

SOCKET toSocket(SocketHandle s) { return static_cast<SOCKET>(s); }
SocketHandle toHandle(SOCKET s) { return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s); }

// Every socket of the library, made or accepted: not inherited by processes the application
// starts (like the log file), and without a coalescing delay.
SocketHandle adopt(SOCKET s) {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return toHandle(s);
}

// A fresh socket set up as every socket of the library: not inherited, no coalescing delay.
SocketHandle newTcpSocket() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  return adopt(s);
}

constexpr long long kMicrosecondsPerSecond = 1000000;
constexpr int kListenBacklog = 64;
// Room kept for the CRs added before line feeds: one per this many bytes (log lines are longer).
constexpr std::size_t kLineEndReserveDivisor = 32;

timeval toTimeval(std::chrono::microseconds left) {
  timeval tv{};
  // select takes a long of seconds; nothing here waits anywhere near that long.
  const long long seconds = std::min<long long>(left.count() / kMicrosecondsPerSecond, LONG_MAX);
  tv.tv_sec = static_cast<long>(seconds);
  tv.tv_usec = static_cast<long>(left.count() % kMicrosecondsPerSecond);
  return tv;
}

// One steady deadline for the whole wait, so that a retried select still ends on time. A failed
// connect shows in the exception set on Windows, not the write set, so a wait for writability
// watches both and leaves the verdict to socketError.
int waitFor(SocketHandle s, bool forWrite, std::chrono::microseconds timeout) {
  if (injectedFailure(Call::Wait, WSAENOTSOCK)) return -1;
  if (timeout.count() < 0) timeout = std::chrono::microseconds(0);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(toSocket(s), &ready);
    FD_SET(toSocket(s), &failed);
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::microseconds(0);
    timeval tv = toTimeval(left);
    const int r = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                           forWrite ? &failed : nullptr, &tv);
    if (r < 0 && ::WSAGetLastError() == WSAEINTR) continue;
    if (r == 0) ::WSASetLastError(WSAETIMEDOUT);
    return r;
  }
}

}  // namespace

bool networkStartup() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void networkCleanup() { ::WSACleanup(); }

// WSAGetLastError reads the same per-thread value, so this serves sockets and files alike.
unsigned long lastError() { return ::GetLastError(); }

std::string errorText(unsigned long code) {
  char text[512] = {};
  const DWORD size = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string words(text, size);
  // The system's texts end in a full stop and a line end.
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.' || words.back() == ' ')) {
    words.pop_back();
  }
  return (words.empty() ? "error" : words) + " (" + std::to_string(code) + ")";
}

SocketHandle tcpSocket() {
  if (injectedFailure(Call::Socket, WSAEMFILE)) return kInvalidSocket;
  return newTcpSocket();
}

bool setNonBlocking(SocketHandle s) {
  u_long on = 1;
  return ::ioctlsocket(toSocket(s), FIONBIO, &on) == 0;
}

void closeSocket(SocketHandle s) {
  if (s != kInvalidSocket) ::closesocket(toSocket(s));
}

bool connectStart(SocketHandle s, const char* ip, std::uint16_t port) {
  if (injectedFailure(Call::Connect, WSAECONNREFUSED)) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = ::htons(port);
  addr.sin_addr.s_addr = ::inet_addr(ip);
  return ::connect(toSocket(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool connectInProgress() {
  const int err = ::WSAGetLastError();
  return err == WSAEWOULDBLOCK || err == WSAEINPROGRESS;
}

int waitReadable(SocketHandle s, std::chrono::microseconds timeout) { return waitFor(s, false, timeout); }
int waitWritable(SocketHandle s, std::chrono::microseconds timeout) { return waitFor(s, true, timeout); }

int socketError(SocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (::getsockopt(toSocket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
    return ::WSAGetLastError();
  }
  if (err != 0) ::WSASetLastError(err);
  return err;
}

long sendBytes(SocketHandle s, const char* data, std::size_t size) {
  if (injectedFailure(Call::Send, WSAECONNRESET)) return -1;
  const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
  return ::send(toSocket(s), data, chunk, 0);
}

long recvBytes(SocketHandle s, char* data, std::size_t size) {
  if (injectedFailure(Call::Recv, WSAECONNRESET)) return -1;
  const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
  return ::recv(toSocket(s), data, chunk, 0);
}

bool wouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

SocketHandle tcpListen(const char* ip, std::uint16_t port, std::uint16_t* boundPort) {
  // No SO_REUSEADDR: on Windows it would let another socket take over a port in use.
  const SocketHandle handle = newTcpSocket();
  if (handle == kInvalidSocket) return kInvalidSocket;
  const SOCKET s = toSocket(handle);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = ::htons(port);
  bool listening = false;
  if (::inet_pton(AF_INET, ip, &addr.sin_addr) != 1) {
    ::WSASetLastError(WSAEINVAL);
  } else {
    listening = ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
                ::listen(s, kListenBacklog) == 0;
  }
  if (!listening) {
    const int reason = ::WSAGetLastError();  // kept across the close
    ::closesocket(s);
    ::WSASetLastError(reason);
    return kInvalidSocket;
  }
  int len = sizeof addr;
  if (boundPort != nullptr) {
    *boundPort = ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0 ? ::ntohs(addr.sin_port) : 0;
  }
  return handle;
}

SocketHandle acceptConnection(SocketHandle listener) {
  for (;;) {
    SOCKET s = ::accept(toSocket(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINTR) continue;
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // An accepted socket takes over the listener's non-blocking mode here, unlike on POSIX.
    u_long off = 0;
    ::ioctlsocket(s, FIONBIO, &off);
    return adopt(s);
  }
}

void shutdownSocket(SocketHandle s) {
  if (s != kInvalidSocket) ::shutdown(toSocket(s), SD_BOTH);
}

void abortConnection(SocketHandle s) {
  if (s == kInvalidSocket) return;
  linger hard{};
  hard.l_onoff = 1;
  hard.l_linger = 0;
  ::setsockopt(toSocket(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  ::closesocket(toSocket(s));
}

char pathSeparator() { return '\\'; }

std::string currentDirectory() {
  // The directory may change between asking for its length and reading it: ask until it fits.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      std::string dir(buffer.data(), length);
      // Only a drive's root ends with a separator ("C:\").
      if (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
      return dir;
    }
    buffer.resize(length);
  }
}

namespace {

LocalTime fromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10000000LL;

std::uint64_t toUint64(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

LocalTime localTimeNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return fromSystemTime(st);
}

LocalTime localTimeOf(std::int64_t unixSeconds) {
  const std::uint64_t units =
      static_cast<std::uint64_t>((unixSeconds + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond);
  FILETIME utc;
  utc.dwLowDateTime = static_cast<DWORD>(units);
  utc.dwHighDateTime = static_cast<DWORD>(units >> 32);
  SYSTEMTIME universal;
  SYSTEMTIME local;
  if (!::FileTimeToSystemTime(&utc, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return LocalTime{};
  }
  LocalTime t = fromSystemTime(local);
  t.milliseconds = 0;
  return t;
}

std::uint64_t fileTimeOf(const LocalTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  st.wMilliseconds = static_cast<WORD>(t.milliseconds);
  FILETIME ft;
  return ::SystemTimeToFileTime(&st, &ft) ? toUint64(ft) : 0;
}

unsigned long currentThreadId() { return ::GetCurrentThreadId(); }

bool isDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool createDirectory(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }

namespace {

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  return ::lstrcmpiA(name.c_str() + (name.size() - suffix.size()), suffix.c_str()) == 0;
}

// Closes a directory search when it goes.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

}  // namespace

std::vector<DirEntry> listFiles(const std::string& dir, const std::string& suffix) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAA found;
  const FindHandle search(::FindFirstFileA((dir + "\\*" + suffix).c_str(), &found));
  if (!search.valid()) return entries;
  do {
    // The pattern also matches through short 8.3 names ("*.log" finds "x.logfile"); the suffix
    // test keeps what the long name says.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::string name = found.cFileName;
    if (!endsWithIgnoringCase(name, suffix)) continue;
    entries.push_back(DirEntry{name, toUint64(found.ftCreationTime)});
  } while (::FindNextFileA(search.get(), &found));
  return entries;
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

AppendFile::AppendFile(const std::string& path) {
  // No security attributes: the handle stays out of processes the application starts. Appending
  // only: the file system puts every write at the end of the file as it is then.
  const HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(file);
}

AppendFile::~AppendFile() {
  if (isOpen()) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

namespace {
// One write for the whole text, unless it is larger than one write can take.
bool writeAll(HANDLE file, const std::string& lines) {
  const char* next = lines.data();
  std::size_t left = lines.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, MAXDWORD));
    DWORD written = 0;
    if (!::WriteFile(file, next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    left -= written;
  }
  return true;
}
}  // namespace

bool AppendFile::append(const char* text, std::size_t size) const {
  std::string lines;
  lines.reserve(size + size / kLineEndReserveDivisor);
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') lines += '\r';
    lines += text[i];
  }
  // An append-only handle should keep concurrent writes apart by itself, but not every
  // implementation of it does, and a lost log line is worth more than the few microseconds of
  // holding this file's lock for its one write.
  const std::lock_guard<std::mutex> lock(appendMutex_);
  return writeAll(reinterpret_cast<HANDLE>(handle_), lines);
}

namespace {

// An address inside this module, by which the module is found.
const char moduleAnchor = 0;

}  // namespace

ModuleReference ModuleReference::toThisModule() {
  HMODULE module = nullptr;
  // The call counts one more reference on the module.
  const auto anchor = &moduleAnchor;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, anchor, &module)) return ModuleReference();
  return ModuleReference(module);
}

void ModuleReference::reset() {
  if (handle_ != nullptr) {
    ::FreeLibrary(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
  }
}

// The DLL's thread-detach notification runs runThreadEnd for every thread: nothing to set up.
void hookThreadEnd() {}

}  // namespace platform
