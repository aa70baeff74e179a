// POSIX implementation of the platform layer.
#include "platform/Platform.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/FaultCounters.h"
#include "platform/ThreadEndHook.h"

namespace platform {

namespace {

bool injectedFailure(Call call, int err) {
  if (!faultDue(call)) return false;
  errno = err;
  return true;
}

int toFd(SocketHandle s) { return static_cast<int>(s); }

// strerror_r comes in two forms: the GNU one returns the text, the XSI one fills the buffer.
[[maybe_unused]] const char* errorWords(const char* text, const char*) { return text; }
[[maybe_unused]] const char* errorWords(int failed, const char* buffer) { return failed == 0 ? buffer : "unknown error"; }

void disableCoalescing(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int waitFor(SocketHandle s, short events, std::chrono::microseconds timeout) {
  if (injectedFailure(Call::Wait, EBADF)) return -1;
  if (timeout.count() < 0) timeout = std::chrono::microseconds(0);
  // One steady deadline: a signal that interrupts the wait shortens what is left, it never starts
  // the whole time-out again (a thread hit by frequent signals would otherwise wait for ever).
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  pollfd p{toFd(s), events, 0};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    // Round up so that a wait of a few microseconds does not turn into a busy poll of 0 ms.
    long long ms = left.count() > 0 ? (left.count() + 999) / 1000 : 0;
    if (ms > INT_MAX) ms = INT_MAX;
    int r = ::poll(&p, 1, static_cast<int>(ms));
    if (r < 0 && errno == EINTR) continue;
    if (r > 0 && (p.revents & POLLNVAL)) {
      errno = EBADF;
      return -1;
    }
    return r;
  }
}

}  // namespace

bool networkStartup() { return true; }
void networkCleanup() {}

unsigned long lastError() { return static_cast<unsigned long>(errno); }

std::string errorText(unsigned long code) {
  char buffer[256] = {};
  const int number = static_cast<int>(code);
  return std::string(errorWords(::strerror_r(number, buffer, sizeof buffer), buffer)) + " (" +
         std::to_string(code) + ")";
}

SocketHandle tcpSocket() {
  if (injectedFailure(Call::Socket, EMFILE)) return kInvalidSocket;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kInvalidSocket;
  disableCoalescing(fd);
  return fd;
}

bool setNonBlocking(SocketHandle s) {
  int flags = ::fcntl(toFd(s), F_GETFL, 0);
  return flags >= 0 && ::fcntl(toFd(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

void closeSocket(SocketHandle s) {
  if (s != kInvalidSocket) ::close(toFd(s));
}

bool connectStart(SocketHandle s, const char* ip, std::uint16_t port) {
  if (injectedFailure(Call::Connect, ECONNREFUSED)) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = ::inet_addr(ip);
  return ::connect(toFd(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool connectInProgress() { return errno == EINPROGRESS || errno == EINTR; }

int waitReadable(SocketHandle s, std::chrono::microseconds timeout) { return waitFor(s, POLLIN, timeout); }
int waitWritable(SocketHandle s, std::chrono::microseconds timeout) { return waitFor(s, POLLOUT, timeout); }

int socketError(SocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(toFd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  if (err != 0) errno = err;
  return err;
}

long sendBytes(SocketHandle s, const char* data, std::size_t size) {
  if (injectedFailure(Call::Send, ECONNRESET)) return -1;
  for (;;) {
    ssize_t n = ::send(toFd(s), data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long recvBytes(SocketHandle s, char* data, std::size_t size) {
  if (injectedFailure(Call::Recv, ECONNRESET)) return -1;
  for (;;) {
    ssize_t n = ::recv(toFd(s), data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

SocketHandle tcpListen(const char* ip, std::uint16_t port, std::uint16_t* boundPort) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kInvalidSocket;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  bool listening = false;
  if (::inet_pton(AF_INET, ip, &addr.sin_addr) != 1) {
    errno = EINVAL;
  } else {
    listening = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 64) == 0;
  }
  if (!listening) {
    const int reason = errno;  // kept across the close
    ::close(fd);
    errno = reason;
    return kInvalidSocket;
  }
  socklen_t len = sizeof addr;
  if (boundPort != nullptr) {
    *boundPort = ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0 ? ntohs(addr.sin_port) : 0;
  }
  return fd;
}

SocketHandle acceptConnection(SocketHandle listener) {
  for (;;) {
    int fd = ::accept4(toFd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && errno == EINTR) continue;
    if (fd < 0) return kInvalidSocket;
    disableCoalescing(fd);
    return fd;
  }
}

void shutdownSocket(SocketHandle s) {
  if (s != kInvalidSocket) ::shutdown(toFd(s), SHUT_RDWR);
}

void abortConnection(SocketHandle s) {
  if (s == kInvalidSocket) return;
  linger hard{1, 0};
  ::setsockopt(toFd(s), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(toFd(s));
}

char pathSeparator() { return '/'; }

std::string currentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

namespace {

LocalTime fromTm(const std::tm& tm, int milliseconds) {
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.milliseconds = milliseconds;
  return t;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10000000LL;

std::uint64_t fileTimeOfUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond +
                                    nanoseconds / 100);
}

// The local calendar time of a second. The conversion takes the C library's time-zone lock and
// walks its rules, and a thread asks for the same second many times in a row (each packet and log
// line), so each thread keeps its last answer.
std::tm localCalendar(time_t seconds) {
  struct LastSecond {
    bool known = false;
    time_t seconds = 0;
    std::tm tm{};
  };
  thread_local LastSecond last;  // trivially destructible: nothing to run at thread exit
  if (!last.known || last.seconds != seconds) {
    ::localtime_r(&seconds, &last.tm);
    last.seconds = seconds;
    last.known = true;
  }
  return last.tm;
}

}  // namespace

LocalTime localTimeNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return fromTm(localCalendar(ts.tv_sec), static_cast<int>(ts.tv_nsec / 1000000));
}

LocalTime localTimeOf(std::int64_t unixSeconds) {
  return fromTm(localCalendar(static_cast<time_t>(unixSeconds)), 0);
}

std::uint64_t fileTimeOf(const LocalTime& t) {
  std::int64_t days = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  std::int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return fileTimeOfUnix(seconds, static_cast<std::int64_t>(t.milliseconds) * 1000000);
}

AppendFile::AppendFile(const std::string& path) {
  // The permissions a buffered file opened for appending gets.
  constexpr mode_t kNewFileMode = 0666;
  handle_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kNewFileMode);
}

AppendFile::~AppendFile() {
  if (isOpen()) ::close(static_cast<int>(handle_));
}

bool AppendFile::append(const char* text, std::size_t size) const {
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), text, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

unsigned long currentThreadId() { return static_cast<unsigned long>(::syscall(SYS_gettid)); }

bool isDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

namespace {

std::uint64_t creationTimeOf(const std::string& path) {
#if defined(STATX_BTIME)
  struct statx sx{};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) == 0) {
    if (sx.stx_mask & STATX_BTIME) return fileTimeOfUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return fileTimeOfUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  }
#endif
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return fileTimeOfUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

}  // namespace

std::vector<DirEntry> listFiles(const std::string& dir, const std::string& suffix) {
  std::vector<DirEntry> entries;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return entries;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    std::string path = dir + '/' + name;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    entries.push_back(DirEntry{name, creationTimeOf(path)});
  }
  ::closedir(d);
  return entries;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

ModuleReference ModuleReference::toThisModule() { return ModuleReference(); }

void ModuleReference::reset() { handle_ = nullptr; }

namespace {

// Its destructor runs when the thread ends, once the thread has touched it.
struct ThreadEnd {
  bool hooked = false;
  ~ThreadEnd() { runThreadEnd(); }
};

thread_local ThreadEnd threadEnd;

}  // namespace

void hookThreadEnd() { threadEnd.hooked = true; }

}  // namespace platform
