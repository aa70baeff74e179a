#include "SoakCensus.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace soak {

namespace {

constexpr std::size_t kKb = 1024;

// The system's handle table as NtQuerySystemInformation gives it (SystemExtendedHandleInformation).
constexpr ULONG kExtendedHandleInformation = 64;
constexpr ULONG kFirstTableBytes = 64 * 1024;
constexpr ULONG kMostTableBytes = 64 * 1024 * 1024;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

// This process's entries in the system's handle table; 0 when it cannot be read.
std::size_t handlesInSystemTable() {
  const ULONG_PTR self = ::GetCurrentProcessId();
  for (ULONG bytes = kFirstTableBytes; bytes <= kMostTableBytes; bytes *= 2) {
    std::vector<ULONG_PTR> buffer(bytes / sizeof(ULONG_PTR));
    const NTSTATUS status = ::NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kExtendedHandleInformation),
                                                       buffer.data(), bytes, nullptr);
    if (status == kInfoLengthMismatch) continue;
    if (status != 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const std::size_t fits = (bytes - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
    const std::size_t listed = std::min<std::size_t>(table->count, fits);
    return static_cast<std::size_t>(std::count_if(table->entries, table->entries + listed,
                                                  [self](const HandleEntry& e) { return e.processId == self; }));
  }
  return 0;
}

// Wine's GetProcessHandleCount succeeds with 0 (a process always holds some handles, its
// standard streams at least): the system's handle table counts them there.
std::size_t handleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
  return handlesInSystemTable();
}

std::size_t threadCount() {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  const DWORD self = ::GetCurrentProcessId();
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::size_t count = 0;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  ::CloseHandle(snapshot);
  return count;
}

std::size_t privateKb() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters)) {
    return 0;
  }
  // Both are the commit charge; Wine fills only the first structure's.
  return (counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage) / kKb;
}

// The heap is locked while it is walked, so that other threads' allocations wait for the count.
std::size_t busyBytesOf(HANDLE heap) {
  if (!::HeapLock(heap)) return 0;
  std::size_t busy = 0;
  PROCESS_HEAP_ENTRY entry{};
  entry.lpData = nullptr;
  while (::HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) busy += entry.cbData;
  }
  ::HeapUnlock(heap);
  return busy;
}

std::size_t heapBusyKb() {
  std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr));
  // Heaps made between the two calls are left out until the next census.
  const DWORD listed = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  heaps.resize(std::min<std::size_t>(listed, heaps.size()));
  std::size_t busy = 0;
  for (HANDLE heap : heaps) busy += busyBytesOf(heap);
  return busy / kKb;
}

}  // namespace

const char* const SoakCensus::kMemoryName = "private bytes";
// Under Wine the heap in use rises by about 1.5 MB over the soak's first minute, then more and
// more slowly (up to 1 MB over the second half of 300 seconds), with or without the Init and
// Uninit cycles and the log files; the library's heap in use stays flat on Linux.
const std::size_t SoakCensus::kHeapSlackKb = 1536;
// Handles come and go with the calls in flight (the waits of the library, the C runtime and Wine
// hold events while they last): about one per caller thread.
const std::size_t SoakCensus::kHandlesInFlight = 8;

SoakCensus SoakCensus::take() {
  SoakCensus c;
  c.handles = handleCount();
  c.threads = threadCount();
  c.memoryKb = privateKb();
  c.heapInUseKb = heapBusyKb();
  return c;
}

std::string SoakCensus::text() const {
  return std::to_string(handles) + " handles, " + std::to_string(threads) + " threads, " +
         std::to_string(memoryKb) + " kB private, " + std::to_string(heapInUseKb) + " kB heap in use";
}

}  // namespace soak
