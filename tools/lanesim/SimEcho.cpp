#include "SimEcho.h"

void SimEcho::setStream(std::ostream* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  out_ = out;
}

bool SimEcho::active() {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_ != nullptr;
}

void SimEcho::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (out_ != nullptr) *out_ << text << '\n' << std::flush;
}
