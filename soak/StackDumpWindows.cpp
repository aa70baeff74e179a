#include "StackDump.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace soak {

namespace {

// Words of a thread's stack searched for return addresses, and how many are printed.
constexpr std::size_t kStackWordsSearched = 16 * 1024;
constexpr int kMaxFrames = 48;
constexpr DWORD kMaxModules = 256;

struct Module {
  std::uintptr_t base = 0;
  std::uintptr_t end = 0;
  std::string name;
};

// The modules of the process, listed before any thread is stopped (listing allocates).
std::vector<Module> loadedModules() {
  HMODULE handles[kMaxModules];
  DWORD bytes = 0;
  std::vector<Module> modules;
  if (!::K32EnumProcessModules(::GetCurrentProcess(), handles, sizeof handles, &bytes)) return modules;
  for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < kMaxModules; ++i) {
    MODULEINFO info{};
    char path[MAX_PATH];
    if (!::K32GetModuleInformation(::GetCurrentProcess(), handles[i], &info, sizeof info)) continue;
    const DWORD length = ::GetModuleFileNameA(handles[i], path, sizeof path);
    std::string name(path, length);
    const auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const auto base = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
    modules.push_back({base, base + info.SizeOfImage, name});
  }
  return modules;
}

bool isCode(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION region{};
  if (::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return false;
  const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return region.Type == MEM_IMAGE && (region.Protect & executable) != 0;
}

// "MODULE+0xOFFSET" for an address in a module's code (addr2line resolves it with the module's
// file and image base), or empty.
std::string codeAddressText(const std::vector<Module>& modules, std::uintptr_t address) {
  for (const Module& m : modules) {
    if (address < m.base || address >= m.end) continue;
    if (!isCode(address)) return "";
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%lx", static_cast<unsigned long>(address - m.base));
    return m.name + offset;
  }
  return "";
}

struct ThreadSnapshot {
  std::uintptr_t ip = 0;
  std::vector<std::uintptr_t> stack;  // from the stack pointer up
};

// Stops the thread only while its registers and stack are copied, and allocates nothing then:
// it may hold the heap's lock.
bool snapshotOf(HANDLE thread, ThreadSnapshot& out) {
  if (::SuspendThread(thread) == static_cast<DWORD>(-1)) return false;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  bool ok = ::GetThreadContext(thread, &context) != 0;
  std::size_t words = 0;
  if (ok) {
#ifdef _WIN64
    out.ip = context.Rip;
    const std::uintptr_t sp = context.Rsp;
#else
    out.ip = context.Eip;
    const std::uintptr_t sp = context.Esp;
#endif
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(reinterpret_cast<const void*>(sp), &region, sizeof region) != 0) {
      const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
      words = std::min<std::size_t>(out.stack.size(), (end - sp) / sizeof(std::uintptr_t));
      std::memcpy(out.stack.data(), reinterpret_cast<const void*>(sp), words * sizeof(std::uintptr_t));
    }
  }
  ::ResumeThread(thread);
  out.stack.resize(words);
  return ok;
}

void printThread(const std::vector<Module>& modules, DWORD id, const ThreadSnapshot& snapshot) {
  std::fprintf(stderr, "---- thread %lu at %s\n", id, codeAddressText(modules, snapshot.ip).c_str());
  int frames = 0;
  for (std::uintptr_t word : snapshot.stack) {
    const std::string frame = codeAddressText(modules, word);
    if (frame.empty()) continue;
    std::fprintf(stderr, "  %s\n", frame.c_str());
    if (++frames == kMaxFrames) break;
  }
}

}  // namespace

void installStackDump() {}

// Each thread's instruction pointer, then the words of its stack that point into a module's code:
// its return addresses among them (a search, as the code keeps no frame pointers).
void dumpStacksAndAbort(const char* reason) {
  std::fprintf(stderr, "soak: %s; stacks of every thread follow\n", reason);
  const std::vector<Module> modules = loadedModules();
  const HANDLE list = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  const DWORD self = ::GetCurrentProcessId();
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = list != INVALID_HANDLE_VALUE && ::Thread32First(list, &entry); more;
       more = ::Thread32Next(list, &entry)) {
    if (entry.th32OwnerProcessID != self || entry.th32ThreadID == ::GetCurrentThreadId()) continue;
    const HANDLE thread = ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    ThreadSnapshot snapshot;
    snapshot.stack.resize(kStackWordsSearched);
    if (snapshotOf(thread, snapshot)) printThread(modules, entry.th32ThreadID, snapshot);
    ::CloseHandle(thread);
  }
  if (list != INVALID_HANDLE_VALUE) ::CloseHandle(list);
  std::fflush(stderr);
  std::abort();
}

}  // namespace soak
