// Test programs that use sockets without loading the library start the network runtime
// themselves, as the library's global object does for its own users.
#include "platform/Platform.h"

namespace {

struct NetworkRuntime {
  NetworkRuntime() { platform::networkStartup(); }
  ~NetworkRuntime() { platform::networkCleanup(); }
  NetworkRuntime(const NetworkRuntime&) = delete;
  NetworkRuntime& operator=(const NetworkRuntime&) = delete;
};

const NetworkRuntime runtime;

}  // namespace
