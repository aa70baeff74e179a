// The operating system as the library sees it. Every system call of the library, of its tools and
// of its tests goes through this header; one implementation per platform stands behind it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace platform {

// ---- Sockets ------------------------------------------------------------------------------------

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Starts and ends the network runtime of the process (no-ops where there is none to start), for a
// program's main; networkStartup is false when the runtime could not be started. A library holds
// a NetworkRuntime instead.
bool networkStartup();
void networkCleanup();

// Keeps the process's network runtime started for as long as the object lives, counted: each one
// started is ended once. Starting Windows Sockets loads the protocols' helper DLLs, which must not
// happen in a DLL's entry point, under the loader lock (it can deadlock): the library starts it on
// the thread that starts its lanes, never while it is loaded or unloaded.
class NetworkRuntime {
 public:
  NetworkRuntime() = default;  // holds nothing
  static NetworkRuntime start() { return NetworkRuntime(networkStartup()); }
  ~NetworkRuntime() { reset(); }
  NetworkRuntime(const NetworkRuntime&) = delete;
  NetworkRuntime& operator=(const NetworkRuntime&) = delete;
  NetworkRuntime(NetworkRuntime&& other) noexcept : held_(other.held_) { other.held_ = false; }
  NetworkRuntime& operator=(NetworkRuntime&& other) noexcept {
    if (this != &other) {
      reset();
      held_ = other.held_;
      other.held_ = false;
    }
    return *this;
  }

  bool held() const { return held_; }
  void reset() {
    if (held_) networkCleanup();
    held_ = false;
  }

 private:
  explicit NetworkRuntime(bool held) : held_(held) {}
  bool held_ = false;
};

// The error code of the last failed system call of this thread (errno, or the Windows error).
unsigned long lastError();
// The system's words for an error code, with the code, for log lines ("Connection refused (111)").
std::string errorText(unsigned long code);

// A new IPv4 TCP socket, or kInvalidSocket. Sockets made here and by acceptConnection send
// without coalescing delay (TCP_NODELAY): every packet goes out in one send, and waiting for the
// peer's delayed acknowledgement would only add latency to small requests and answers.
SocketHandle tcpSocket();
bool setNonBlocking(SocketHandle s);
void closeSocket(SocketHandle s);

// Starts connecting to a dotted IPv4 address (no name look-up). Returns true when connected at once;
// false when the connect is in progress or failed, which the caller tells apart with waitWritable
// and socketError.
bool connectStart(SocketHandle s, const char* ip, std::uint16_t port);
// Right after connectStart returned false on this thread: true when the connect is under way (wait
// for it), false when it failed at once (an unreachable or invalid address, or a refusal).
bool connectInProgress();

// Wait for a socket to become readable or writable. Returns > 0 when ready, 0 on time-out and < 0 on
// error. A negative time-out counts as zero. The time-out is one deadline: an interruption (a
// signal) resumes the wait for what is left of it, never for the whole time-out again.
int waitReadable(SocketHandle s, std::chrono::microseconds timeout);
int waitWritable(SocketHandle s, std::chrono::microseconds timeout);

// The pending error of a socket (SO_ERROR); 0 when there is none.
int socketError(SocketHandle s);

// One send or receive. A send never raises a signal when the peer has gone. Results are the byte
// count, 0 for an orderly close (receive only) or < 0 on error.
long sendBytes(SocketHandle s, const char* data, std::size_t size);
long recvBytes(SocketHandle s, char* data, std::size_t size);
// Right after sendBytes or recvBytes returned < 0 on this thread: true when the call failed only
// because a non-blocking socket could take or give nothing now (try again later).
bool wouldBlock();

// A listening IPv4 TCP socket on ip:port (port 0 picks a free one, reported in boundPort), or
// kInvalidSocket with the reason in lastError(). Used by the lane-server simulator.
SocketHandle tcpListen(const char* ip, std::uint16_t port, std::uint16_t* boundPort);
// Accepts one pending connection (kInvalidSocket when none or on error); the new socket blocks.
SocketHandle acceptConnection(SocketHandle listener);
// Ends both directions of a connection so that the peer sees the close. A receive or wait already
// under way on the socket ends too on POSIX, but Windows does not promise that: a thread that
// waits on the socket also looks at a stop flag of its own.
void shutdownSocket(SocketHandle s);
// Closes a socket so that the peer sees the connection reset (RST) instead of an orderly close.
void abortConnection(SocketHandle s);

// ---- Fault injection (tests) --------------------------------------------------------------------

// System calls that a test can make fail. Armed counters are process-wide.
enum class Call { Socket, Connect, Wait, Send, Recv, kCount };

// Makes the nth following call of the kind fail (1: the very next one), as the system would:
// Socket gives no socket, Connect a refused connection, Wait an error result, Send and Recv -1.
void failNthCall(Call call, unsigned nth);
// True while the counter of the kind is armed, that is, its failure has not happened yet.
bool faultArmed(Call call);
// Disarms every counter.
void clearFaults();

// ---- Files, time, threads ------------------------------------------------------------------------

// The path separator of the platform: '\\' on Windows, '/' elsewhere.
char pathSeparator();

// The process's current working directory, without a trailing separator; empty when it cannot be
// read (e.g. it was removed), so that no path is ever built on a directory that is not there.
std::string currentDirectory();

// A broken-down local time, the counterpart of the Windows SYSTEMTIME.
struct LocalTime {
  int year = 1601;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// The local wall-clock time now.
LocalTime localTimeNow();
// The local calendar time of a count of seconds since 1970-01-01 UTC (milliseconds 0).
LocalTime localTimeOf(std::int64_t unixSeconds);

// 100-nanosecond units since 1601-01-01. A local time converts as if it were universal time, so day
// numbers computed from it change at local midnight.
std::uint64_t fileTimeOf(const LocalTime& t);

// The kernel id of the calling thread.
unsigned long currentThreadId();

bool isDirectory(const std::string& path);
// Creates one directory level; false on failure.
bool createDirectory(const std::string& path);

struct DirEntry {
  std::string name;                   // file name without the directory
  std::uint64_t creationFileTime = 0; // birth time where reported, else modification time
};
// The regular files of a directory whose names end with the suffix (empty on any error).
std::vector<DirEntry> listFiles(const std::string& dir, const std::string& suffix);
bool removeFile(const std::string& path);

// A file opened for appending, for the log. Each append is one write of the whole text at the end
// of the file, with nothing buffered in the process: the appends of concurrent threads never mix
// and a text is in the file once append returns. On POSIX no lock of the process is held while the
// system writes. On Windows the file's own lock is held across its one write (one log line to a
// local file), because an append-only handle does not keep concurrent writes apart everywhere;
// appends to other files do not wait for it. Text mode: where the platform's line end is "\r\n"
// each "\n" is written as that. The file is created when missing, not inherited by child
// processes, and closed by the destructor. Any thread may append.
class AppendFile {
 public:
  explicit AppendFile(const std::string& path);
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool isOpen() const { return handle_ != kNoFile; }
  // False when the text could not be written whole.
  bool append(const char* text, std::size_t size) const;

 private:
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  // Orders this file's appends on Windows (Wine's append-only handle reads the file's size and
  // writes there, so two threads could land on the same place). Never taken on POSIX.
  mutable std::mutex appendMutex_;
};

// ---- Dynamic libraries ---------------------------------------------------------------------------

// The loader below is a target of its own (marovex_loader), so that a program that only loads the
// library at run time links nothing else of the platform layer.

// The file name of a shared library called `name`: libname.so or name.dll.
std::string sharedLibraryFileName(const std::string& name);
// The file name by which a program loads major version `abiVersion` of that library: its SONAME
// libname.so.N on POSIX, name.dll on Windows, whose file name carries no version.
std::string sharedLibraryFileName(const std::string& name, int abiVersion);

// Owns one loaded shared library; unloads it when destroyed.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;

  bool loaded() const { return handle_ != nullptr; }
  // The system's reason when loading failed.
  const std::string& error() const { return error_; }
  // The address of an exported symbol, or null.
  void* symbol(const char* name) const;
  // An exported function as a pointer of type Fn (a function pointer type), or null.
  template <typename Fn>
  Fn function(const char* name) const {
    static_assert(std::is_pointer<Fn>::value && std::is_function<std::remove_pointer_t<Fn>>::value,
                  "Fn must be a function pointer type");
    void* address = symbol(name);
    Fn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(address), "function and data pointers differ in size");
    std::memcpy(&fn, &address, sizeof(fn));
    return fn;
  }
  // Unloads now (the destructor does the same).
  void reset();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// ---- The library's own lifetime ----------------------------------------------------------------

// One reference on the module that holds the library's code, held for as long as the object
// lives: while the library runs threads of its own, an application that unloads it without
// Uninit must not unmap the code those threads run (on Windows, the threads could not be joined
// while the library is unloaded: that runs under the loader lock, which a thread needs to end).
// Holds nothing on Linux, where unloading joins the threads as usual.
class ModuleReference {
 public:
  ModuleReference() = default;
  static ModuleReference toThisModule();
  ~ModuleReference() { reset(); }
  ModuleReference(const ModuleReference&) = delete;
  ModuleReference& operator=(const ModuleReference&) = delete;
  ModuleReference(ModuleReference&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  ModuleReference& operator=(ModuleReference&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  bool held() const { return handle_ != nullptr; }
  // Gives the reference back. Must not be the module's last one while code of the module still
  // has to run after it.
  void reset();

 private:
  explicit ModuleReference(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// True once the process is ending while the library is still loaded and its other threads are
// already gone, possibly in the middle of holding a lock: nothing may then be joined, locked or
// waited for. Set by the library's entry point on Windows; never set on Linux, where the other
// threads run on until the process has ended.
bool processEnding();
void markProcessEnding();

// Has `atEnd` called on the calling thread when that thread ends while the library is loaded.
// Every call adds one function; they run newest first, each once. On Windows the DLL's thread-detach notification
// calls it: a thread-local object with a destructor would instead have the C++ runtime keep the
// DLL loaded for the thread and unload it from the thread's end, which hangs. Threads still
// running when the library is unloaded do not call it. On Linux a thread-local destructor calls
// it (the C library keeps an unloaded library mapped until such threads end).
void callAtThreadEnd(void (*atEnd)());
// Runs the calling thread's functions now, newest first, and forgets them (the DLL's
// thread-detach notification). A function registered meanwhile runs too.
void runThreadEnd();

}  // namespace platform
