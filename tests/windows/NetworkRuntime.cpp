// Test programs that use sockets without starting lanes through the manager (the simulator, the
// transport tests) start the network runtime themselves, for the whole program.
#include "platform/Platform.h"

namespace {

const platform::NetworkRuntime runtime = platform::NetworkRuntime::start();

}  // namespace
