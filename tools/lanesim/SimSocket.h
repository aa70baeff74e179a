// Owns one socket handle of the simulator and closes it when it goes.
#pragma once

#include <utility>

#include "platform/Platform.h"

class SimSocket {
 public:
  SimSocket() = default;
  explicit SimSocket(platform::SocketHandle s) : handle_(s) {}
  ~SimSocket() { reset(); }
  SimSocket(const SimSocket&) = delete;
  SimSocket& operator=(const SimSocket&) = delete;
  SimSocket(SimSocket&& other) noexcept : handle_(std::exchange(other.handle_, platform::kInvalidSocket)) {}
  SimSocket& operator=(SimSocket&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, platform::kInvalidSocket);
    }
    return *this;
  }

  platform::SocketHandle get() const { return handle_; }
  bool valid() const { return handle_ != platform::kInvalidSocket; }
  // Gives the handle up without closing it (its new owner closed it already).
  platform::SocketHandle release() { return std::exchange(handle_, platform::kInvalidSocket); }
  void reset() {
    if (valid()) platform::closeSocket(std::exchange(handle_, platform::kInvalidSocket));
  }

 private:
  platform::SocketHandle handle_ = platform::kInvalidSocket;
};
