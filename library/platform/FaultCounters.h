// The armed counters behind failNthCall, shared by the platform implementations.
#pragma once

#include "platform/Platform.h"

namespace platform {

// Counts one call of the kind; true when it is the call that is to fail. The caller then sets
// the platform's error code and fails as the system would.
bool faultDue(Call call);

}  // namespace platform
