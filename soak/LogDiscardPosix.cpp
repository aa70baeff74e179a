#include "LogDiscard.h"

#include <chrono>
#include <ctime>

namespace soak {

void discardLogs(const std::filesystem::path& logs) {
  const auto now = std::chrono::system_clock::now();
  for (const auto when : {now, now + std::chrono::hours(24)}) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char name[32];
    std::strftime(name, sizeof name, "Marovex_%Y%m%d.log", &local);
    std::error_code ec;
    std::filesystem::create_symlink("/dev/null", logs / name, ec);
  }
}

}  // namespace soak
