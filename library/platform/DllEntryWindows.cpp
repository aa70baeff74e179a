// The DLL's entry point. The C runtime's startup code around it builds the global object on
// attach and destroys it on detach; this only notes how the process is ending.
#include "platform/WindowsHeaders.h"

#include "platform/Platform.h"

// A detach with a non-null reserved argument is the process ending: the other threads have
// already been stopped wherever they were, and the global object is then left to the system.
// A thread that ends, and the thread that unloads the library, free what they kept.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    platform::markProcessEnding();
  } else if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH) {
    platform::runThreadEnd();
  }
  return TRUE;
}
