// Where the library's log lines go during the soak: it logs every call, as it would for a lane
// application, but thousands of calls a second would fill the disk (LogDiscardPosix.cpp,
// LogDiscardWindows.cpp).
#pragma once

#include <filesystem>

namespace soak {

// Before the library opens them: today's and tomorrow's log files in `logs` discard what is
// written to them where the system can link a file to its null device (POSIX). Elsewhere they
// are written, and go with the soak's folder.
void discardLogs(const std::filesystem::path& logs);

}  // namespace soak
