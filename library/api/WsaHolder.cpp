#include "api/WsaHolder.h"

#include "platform/Platform.h"

WsaHolder::WsaHolder() { platform::networkStartup(); }

WsaHolder::~WsaHolder() { platform::networkCleanup(); }
