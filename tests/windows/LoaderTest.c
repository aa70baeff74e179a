/*
 * Loads Marovex.dll the way a lane application does: LoadLibraryA, every export bound by name
 * with GetProcAddress into standard-call function pointers declared here (not from the library's
 * header), a lane served by lanesim.exe (started from this program's folder). On 32-bit x86 every
 * export is called with a stack 4 bytes off the 16-byte boundary.
 *
 * Usage: loader_test SCENARIO, one of
 *   session              load (Windows Sockets not started), Init, the eleven operations, a
 *                        stashed output, Uninit (Windows Sockets ended), FreeLibrary
 *   free-without-uninit  FreeLibrary while a lane is connected, then load again and Uninit
 *   exit-without-uninit  a child process ends with a lane connected and no Uninit
 *   stash-then-unload    a thread keeps a stashed output past FreeLibrary, then ends
 * Prints one line per check and "N passed, N failed"; exits 0 when nothing failed.
 */
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int(__stdcall* InitFn)(char* out, int* pLen);
typedef int(__stdcall* UninitFn)(void);
typedef int(__stdcall* GetResponseFn)(int* code, char* out, int* pLen);
typedef int(__stdcall* OperationFn)(int lane, const char* input, char* out, int* pLen);

enum { kLane = 1, kBufferSize = 64 * 1024, kSmallBuffer = 16, kOperationCount = 11 };
/* Bounds that tell a prompt return from a hang, with room for a loaded machine. */
enum { kUnloadBoundMs = 5000, kExitBoundMs = 30000, kSimulatorStartMs = 30000 };

static const char* const kOperations[kOperationCount] = {
    "ReaderRead", "ReaderWrite", "RSURead", "RSUWrite", "ETCStatusQuery", "SendNonCashPay",
    "StopNonCashPay", "ListUpLoad", "BlackListQuery", "ListQuery", "QueryTransDetail"};
static const char* const kInputs[kOperationCount] = {
    "{\"TimeOut\":\"500\"}",
    "{\"CardNo\":\"4401230000012345\",\"CashMoney\":\"1500\",\"VehPlate\":\"DEMO123\",\"VehType\":\"1\","
    "\"VehClass\":\"1\",\"OutFlag\":\"0\",\"LittleCashMoney\":\"1500\",\"LittleTime\":\"0\"}",
    "{\"TimeOut\":\"500\"}",
    "{\"VehPlate\":\"DEMO123\",\"VehType\":\"1\",\"VehClass\":\"1\",\"OutFlag\":\"0\","
    "\"LittleCashMoney\":\"1500\",\"LittleTime\":\"0\"}",
    "{}",
    "{\"Timeout\":\"5000\",\"NonCashTsSn\":\"DEMO000001\",\"PayMoney\":\"1500\"}",
    "{\"NonCashTsSn\":\"DEMO000001\"}",
    "{\"ListType\":\"1\",\"CardNo\":\"4401230000012345\"}",
    "{\"CardNo\":\"4401230000012345\"}",
    "{\"ListType\":\"1\"}",
    "{\"NonCashTsSn\":\"DEMO000001\"}"};

static int passed;
static int failed;

static void check(int ok, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printf("%s: ", ok ? "ok" : "FAILED");
  vprintf(format, args);
  printf("\n");
  fflush(stdout);
  va_end(args);
  if (ok) {
    ++passed;
  } else {
    ++failed;
  }
}

/* ---- Calling an export ------------------------------------------------------------------------ */

#if defined(__i386__)
/* Calls a standard-call function of `count` 32-bit arguments with the stack pointer 4 bytes past a
   16-byte boundary at the call, as a caller that keeps only 4-byte alignment may. *popped receives
   the argument bytes the callee removed (all of them for the standard calling convention). */
static int callMisaligned(FARPROC fn, const unsigned* args, unsigned count, unsigned* popped) {
  const unsigned offset = (12u - 4u * count) & 15u;
  unsigned espAfter = offset;
  unsigned espSaved;
  unsigned n = count;
  int result;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "andl $-16, %%esp\n\t"
      "subl %%edx, %%esp\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result), "+d"(espAfter), "=S"(espSaved), "+c"(n)
      : "b"(fn), "D"(args)
      : "memory", "cc");
  {
    const unsigned argumentsStart = (espSaved & ~15u) - offset;
    *popped = 4u * count - (argumentsStart - espAfter);
  }
  return result;
}
#define ARG(x) ((unsigned)(x))
#define CALL(fn, type, count, ...)                                                   \
  callChecked((FARPROC)(fn), #fn, (const unsigned[]){__VA_ARGS__}, count)
#define CALL0(fn, type) callChecked((FARPROC)(fn), #fn, NULL, 0)

static int callChecked(FARPROC fn, const char* what, const unsigned* args, unsigned count) {
  unsigned popped = 0;
  const int result = callMisaligned(fn, args, count, &popped);
  if (popped != 4u * count) check(0, "%s removed %u of %u argument bytes", what, popped, 4u * count);
  return result;
}
#endif

typedef struct {
  HMODULE module;
  InitFn init;
  UninitFn uninit;
  GetResponseFn getResponse;
  OperationFn operations[kOperationCount];
} Library;

static int callInit(const Library* lib, char* out, int* len) {
#if defined(__i386__)
  return CALL(lib->init, InitFn, 2, ARG(out), ARG(len));
#else
  return lib->init(out, len);
#endif
}

static int callUninit(const Library* lib) {
#if defined(__i386__)
  return CALL0(lib->uninit, UninitFn);
#else
  return lib->uninit();
#endif
}

static int callGetResponse(const Library* lib, int* code, char* out, int* len) {
#if defined(__i386__)
  return CALL(lib->getResponse, GetResponseFn, 3, ARG(code), ARG(out), ARG(len));
#else
  return lib->getResponse(code, out, len);
#endif
}

static int callOperation(const Library* lib, int i, const char* input, char* out, int* len) {
#if defined(__i386__)
  return CALL(lib->operations[i], OperationFn, 4, ARG(kLane), ARG(input), ARG(out), ARG(len));
#else
  return lib->operations[i](kLane, input, out, len);
#endif
}

/* ---- The library ------------------------------------------------------------------------------ */

static int loadLibrary(Library* lib) {
  int i;
  int bound = 1;
  memset(lib, 0, sizeof *lib);
  lib->module = LoadLibraryA("Marovex.dll");
  if (lib->module == NULL) {
    check(0, "LoadLibraryA(\"Marovex.dll\") failed with error %lu", GetLastError());
    return 0;
  }
  lib->init = (InitFn)(void*)GetProcAddress(lib->module, "Init");
  lib->uninit = (UninitFn)(void*)GetProcAddress(lib->module, "Uninit");
  lib->getResponse = (GetResponseFn)(void*)GetProcAddress(lib->module, "GetResponse");
  bound = lib->init != NULL && lib->uninit != NULL && lib->getResponse != NULL;
  for (i = 0; i < kOperationCount; ++i) {
    lib->operations[i] = (OperationFn)(void*)GetProcAddress(lib->module, kOperations[i]);
    bound = bound && lib->operations[i] != NULL;
  }
  if (!bound) check(0, "not every export binds by its plain name");
  return bound;
}

static int libraryMapped(void) { return GetModuleHandleA("Marovex.dll") != NULL; }

/* True once Windows Sockets is started in this process (this program never starts it itself):
   before that, socket() fails with WSANOTINITIALISED. */
static int socketsStarted(void) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return WSAGetLastError() != WSANOTINITIALISED;
  closesocket(s);
  return 1;
}

/* ---- The working folder and the simulator ---------------------------------------------------- */

static char programDir[MAX_PATH];
static PROCESS_INFORMATION simulator;


static void findProgramDir(void) {
  char* slash;
  GetModuleFileNameA(NULL, programDir, sizeof programDir);
  slash = strrchr(programDir, '\\');
  if (slash != NULL) *slash = '\0';
}

/* A fresh working folder with EtcConfig\Marovex.ini for one lane on `port` (none when port is 0);
   the library reads it at load (logging) and at Init (lanes). */
static int enterWorkDir(const char* scenario, unsigned port) {
  char dir[MAX_PATH];
  char temp[MAX_PATH];
  FILE* f;
  GetTempPathA(sizeof temp, temp);
  snprintf(dir, sizeof dir, "%smarovex-loader-%s-%lu", temp, scenario, GetCurrentProcessId());
  CreateDirectoryA(dir, NULL);
  if (!SetCurrentDirectoryA(dir)) return 0;
  CreateDirectoryA("EtcConfig", NULL);
  if (port == 0) {
    DeleteFileA("EtcConfig\\Marovex.ini");
    return 1;
  }
  f = fopen("EtcConfig\\Marovex.ini", "w");
  if (f == NULL) return 0;
  fprintf(f,
          "[Global]\nMvLaneNum=1\nLogDir=MvClientLog\nLogKeepDays=7\n"
          "[MvLane0]\nIpAddr=127.0.0.1\nPort=%u\nUserName=loader\nPassWord=secret\nProvinceNo=44\n"
          "CityNo=1\nAreaNo=101\nGateNo=2\nLaneNo=%d\nHeartBeatTime=1\nTimeOut=3\nRSUID=0\n"
          "ReaderID=0\nAutoLogout=1\n",
          port, kLane);
  fclose(f);
  return 1;
}

/* Reads the simulator's output: the first line names its port, the rest is drained so that the
   simulator never blocks on a full pipe. */
typedef struct {
  HANDLE output;
  HANDLE portKnown;
  volatile unsigned port;
} SimulatorOutput;

static SimulatorOutput simulatorOutput;

static DWORD WINAPI drainSimulator(void* arg) {
  SimulatorOutput* sim = (SimulatorOutput*)arg;
  char line[256];
  size_t used = 0;
  DWORD got = 0;
  while (ReadFile(sim->output, line + used, 1, &got, NULL) && got == 1) {
    if (sim->port != 0) continue;
    if (line[used] == '\n' || used + 2 >= sizeof line) {
      const char* mark;
      line[used] = '\0';
      mark = strstr(line, "127.0.0.1:");
      if (mark != NULL) {
        sim->port = (unsigned)strtoul(mark + 10, NULL, 10);
        SetEvent(sim->portKnown);
      }
      used = 0;
    } else {
      ++used;
    }
  }
  SetEvent(sim->portKnown);
  return 0;
}

/* Starts lanesim.exe on a free loopback port and returns the port (0 on failure). */
static unsigned startSimulator(void) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE writeEnd;
  HANDLE drain;
  STARTUPINFOA startup;
  char command[2 * MAX_PATH];
  if (!CreatePipe(&simulatorOutput.output, &writeEnd, &inherit, 0)) return 0;
  SetHandleInformation(simulatorOutput.output, HANDLE_FLAG_INHERIT, 0);
  simulatorOutput.portKnown = CreateEventA(NULL, TRUE, FALSE, NULL);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  snprintf(command, sizeof command, "\"%s\\lanesim.exe\" --listen 127.0.0.1:0", programDir);
  if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &simulator)) {
    CloseHandle(writeEnd);
    return 0;
  }
  CloseHandle(writeEnd);
  drain = CreateThread(NULL, 0, drainSimulator, &simulatorOutput, 0, NULL);
  if (drain != NULL) CloseHandle(drain);
  WaitForSingleObject(simulatorOutput.portKnown, kSimulatorStartMs);
  return simulatorOutput.port;
}

static void stopSimulator(void) {
  if (simulator.hProcess == NULL) return;
  TerminateProcess(simulator.hProcess, 0);
  WaitForSingleObject(simulator.hProcess, INFINITE);
  CloseHandle(simulator.hProcess);
  CloseHandle(simulator.hThread);
  simulator.hProcess = NULL;
}

/* Runs Init on the loaded library, with one lane configured on the simulator. */
static int initLane(const Library* lib) {
  static char out[kBufferSize];
  int len = sizeof out;
  const int result = callInit(lib, out, &len);
  check(result == 0, "Init returned %d (0 expected): %.200s", result, out);
  return result == 0;
}

static int startLane(Library* lib) { return loadLibrary(lib) && initLane(lib); }

/* ---- Scenarios -------------------------------------------------------------------------------- */

static void runSession(void) {
  static char out[kBufferSize];
  Library lib;
  int i;
  int len;
  int code = -12345;
  int result;
  if (!loadLibrary(&lib)) return;
  /* Starting it loads DLLs, which must not happen under the loader lock of the library's load. */
  check(!socketsStarted(), "loading the library leaves Windows Sockets to Init");
  if (!initLane(&lib)) return;
  check(GetProcAddress(lib.module, "Init@8") == NULL && GetProcAddress(lib.module, "_Init@8") == NULL,
        "no decorated export names");
  for (i = 0; i < kOperationCount; ++i) {
    len = sizeof out;
    out[0] = '\0';
    result = callOperation(&lib, i, kInputs[i], out, &len);
    check(result == 0, "%s returned %d (0 expected): %.120s", kOperations[i], result, out);
  }
  len = kSmallBuffer;
  result = callOperation(&lib, 4, kInputs[4], out, &len);
  check(result == 5 && len > kSmallBuffer, "ETCStatusQuery with %d bytes returned %d, needs %d",
        kSmallBuffer, result, len);
  len = sizeof out;
  result = callGetResponse(&lib, &code, out, &len);
  check(result == 0 && code == 0 && strstr(out, "{") != NULL,
        "GetResponse returned %d with code %d and the status document", result, code);
  len = sizeof out;
  result = callGetResponse(&lib, &code, out, &len);
  check(result == 3, "a second GetResponse returned %d (3 expected)", result);
  result = callOperation(&lib, 0, kInputs[0], out, &len);
  check(result == 0, "ReaderRead again returned %d", result);
  check(callUninit(&lib) == 0, "Uninit returned 0");
  check(!socketsStarted(), "Uninit ends the Windows Sockets it started");
  len = sizeof out;
  result = callOperation(&lib, 0, kInputs[0], out, &len);
  check(result == 1000, "ReaderRead after Uninit returned %d (1000 expected)", result);
  FreeLibrary(lib.module);
  check(!libraryMapped(), "FreeLibrary after Uninit unloads the library");
}

static void runFreeWithoutUninit(void) {
  Library lib;
  DWORD took;
  DWORD start;
  if (!startLane(&lib)) return;
  start = GetTickCount();
  FreeLibrary(lib.module);
  took = GetTickCount() - start;
  check(took < kUnloadBoundMs, "FreeLibrary without Uninit returned after %lu ms", took);
  check(libraryMapped(), "the library stays loaded while its lane runs");
  /* The application can take the library up again and stop the lane. */
  if (!loadLibrary(&lib)) return;
  start = GetTickCount();
  check(callUninit(&lib) == 0, "Uninit after loading again returned 0");
  FreeLibrary(lib.module);
  took = GetTickCount() - start;
  check(took < kUnloadBoundMs && !libraryMapped(),
        "Uninit and FreeLibrary then unload it, in %lu ms", took);
}

static void runExitChild(unsigned port) {
  Library lib;
  if (port == 0 || !enterWorkDir("exit-child", port) || !startLane(&lib)) ExitProcess(2);
  /* Ends with the lane connected, its threads running, and no Uninit. */
  ExitProcess(passed > 0 && failed == 0 ? 0 : 2);
}

static void runExitWithoutUninit(unsigned port) {
  char command[2 * MAX_PATH];
  char self[MAX_PATH];
  STARTUPINFOA startup;
  PROCESS_INFORMATION child;
  DWORD waited;
  DWORD exitCode = 0;
  DWORD start;
  GetModuleFileNameA(NULL, self, sizeof self);
  snprintf(command, sizeof command, "\"%s\" exit-child %u", self, port);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
    check(0, "could not start the child process (error %lu)", GetLastError());
    return;
  }
  start = GetTickCount();
  waited = WaitForSingleObject(child.hProcess, kExitBoundMs);
  if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 99);
  GetExitCodeProcess(child.hProcess, &exitCode);
  check(waited == WAIT_OBJECT_0, "the process ended %lu ms after it was started", GetTickCount() - start);
  check(exitCode == 0, "it ended with exit code %lu (0 expected)", exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

typedef struct {
  Library* lib;
  HANDLE stashed;
  HANDLE mayEnd;
  int result;
} StashThread;

static DWORD WINAPI stashAndWait(void* arg) {
  StashThread* t = (StashThread*)arg;
  char out[kSmallBuffer];
  int len = 1;
  /* No configuration file here: Init fails with the reason, which does not fit one byte. */
  t->result = callInit(t->lib, out, &len);
  SetEvent(t->stashed);
  WaitForSingleObject(t->mayEnd, INFINITE);
  return 7;
}

static void runStashThenUnload(void) {
  Library lib;
  StashThread t;
  HANDLE thread;
  DWORD exitCode = 0;
  if (!loadLibrary(&lib)) return;
  t.lib = &lib;
  t.stashed = CreateEventA(NULL, TRUE, FALSE, NULL);
  t.mayEnd = CreateEventA(NULL, TRUE, FALSE, NULL);
  t.result = 0;
  thread = CreateThread(NULL, 0, stashAndWait, &t, 0, NULL);
  WaitForSingleObject(t.stashed, INFINITE);
  check(t.result == 5, "Init on the thread stashed its output (returned %d)", t.result);
  FreeLibrary(lib.module);
  check(!libraryMapped(), "FreeLibrary unloads the library while the thread still lives");
  SetEvent(t.mayEnd);
  check(WaitForSingleObject(thread, kUnloadBoundMs) == WAIT_OBJECT_0, "the thread ended");
  GetExitCodeThread(thread, &exitCode);
  check(exitCode == 7, "it ended normally (exit code %lu)", exitCode);
  CloseHandle(thread);
  CloseHandle(t.stashed);
  CloseHandle(t.mayEnd);
}

int main(int argc, char** argv) {
  const char* scenario = argc > 1 ? argv[1] : "session";
  const int needsLane = strcmp(scenario, "stash-then-unload") != 0;
  unsigned port = 0;
  findProgramDir();
  if (strcmp(scenario, "exit-child") == 0) runExitChild(argc > 2 ? (unsigned)atoi(argv[2]) : 0);
  if (needsLane) {
    port = startSimulator();
    check(port != 0, "lanesim.exe listens on 127.0.0.1:%u", port);
  }
  if (!enterWorkDir(scenario, port)) {
    check(0, "cannot prepare a working folder");
  } else if (needsLane && port == 0) {
    /* reported above */
  } else if (strcmp(scenario, "session") == 0) {
    runSession();
  } else if (strcmp(scenario, "free-without-uninit") == 0) {
    runFreeWithoutUninit();
  } else if (strcmp(scenario, "exit-without-uninit") == 0) {
    runExitWithoutUninit(port);
  } else if (strcmp(scenario, "stash-then-unload") == 0) {
    runStashThenUnload();
  } else {
    check(0, "unknown scenario %s", scenario);
  }
  stopSimulator();
  printf("loader %s: %d passed, %d failed\n", scenario, passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
