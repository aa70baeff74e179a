// Last words of a hung soak: the stack of every thread of the process on the standard error stream.
#pragma once

namespace soak {

// Installs the handler that lets each thread print its own stack. Call once at start.
void installStackDump();
// Makes every thread print its stack, waits a moment for them, then aborts the process.
[[noreturn]] void dumpStacksAndAbort(const char* reason);

}  // namespace soak
