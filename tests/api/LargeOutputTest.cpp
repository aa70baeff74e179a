#include "api/LargeOutput.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Platform.h"

namespace {

// Whether the thread's stash still held its text when a thread-end function registered before it
// ran: -1 when that function never ran.
int stashHeldTextAtThreadEnd = -1;

void recordStash() { stashHeldTextAtThreadEnd = largeOutput().text.has_value() ? 1 : 0; }

}  // namespace

// The stash of a thread goes with the thread, also when other thread-end functions were
// registered on it before (they run after the stash's, newest first).
TEST(LargeOutputTest, StashIsFreedWhenItsThreadEnds) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows the DLL's thread-detach notification frees it, which a test program has not";
#endif
  std::thread([] {
    platform::callAtThreadEnd(recordStash);
    largeOutput().stash(std::string(1 << 20, 'x'), 5, 1);
  }).join();
  EXPECT_EQ(stashHeldTextAtThreadEnd, 0);
}
