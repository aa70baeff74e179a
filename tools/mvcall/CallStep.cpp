#include "CallStep.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "LibraryBinding.h"

namespace {

constexpr int kMaxWaitMs = 600000;

bool readInt(const std::string& text, long low, long high, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || number < low || number > high) return false;
  value = static_cast<int>(number);
  return true;
}

bool isOperation(const std::string& name) {
  for (int i = 0; i < LibraryBinding::kOperationCount; ++i) {
    if (name == LibraryBinding::kOperationNames[i]) return true;
  }
  return false;
}

}  // namespace

std::optional<CallStep> CallStep::parse(const std::string& text, std::string& error) {
  CallStep step;
  const std::size_t colon = text.find(':');
  step.name = text.substr(0, colon);
  const std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);

  if (step.name == "Init" || step.name == "Uninit") {
    if (colon != std::string::npos) {
      error = step.name + " takes no arguments: " + text;
      return std::nullopt;
    }
    step.kind = step.name == "Init" ? Kind::Init : Kind::Uninit;
    return step;
  }
  if (step.name == "wait") {
    step.kind = Kind::Wait;
    if (!readInt(rest, 0, kMaxWaitMs, step.waitMs)) {
      error = "wait needs milliseconds from 0 to " + std::to_string(kMaxWaitMs) + ": " + text;
      return std::nullopt;
    }
    return step;
  }
  if (!isOperation(step.name)) {
    error = "unknown call: " + text;
    return std::nullopt;
  }
  step.kind = Kind::Operation;
  const std::size_t second = rest.find(':');
  if (!readInt(rest.substr(0, second), INT_MIN, INT_MAX, step.lane)) {
    error = step.name + " needs a lane number: " + text;
    return std::nullopt;
  }
  if (second != std::string::npos) step.input = rest.substr(second + 1);
  return step;
}
