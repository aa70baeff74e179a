// A non-owning view of a character area of exactly N bytes that belongs to someone else.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/Compiler.h"

template <std::size_t N>
class BufView {
 public:
  static_assert(N > 0, "a view covers at least one byte");

  // A writable view of the caller's N bytes.
  explicit BufView(char* area) : view_(area), writable_(area) {}
  // A read-only view of a literal of exactly N characters, such as a command id "03001".
  explicit BufView(const char (&literal)[N + 1]) : view_(literal), writable_(nullptr) {}

  const char* data() const { return view_; }
  static constexpr std::size_t size() { return N; }

  // Formats like snprintf into the N bytes: at most N - 1 characters and a NUL; longer text is cut.
  MV_PRINTF_FORMAT(2, 3) int szprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(writableArea(), N, format, args);
    va_end(args);
    return n;
  }

  // Formats into an N + 1 byte scratch area and copies exactly its first N bytes, without a
  // terminator, into the view: the fixed-width fields of a packet.
  MV_PRINTF_FORMAT(2, 3) int sprintf(const char* format, ...) {
    char scratch[N + 1] = {};
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    std::memcpy(writableArea(), scratch, N);
    return n;
  }

 private:
  char* writableArea() {
    if (writable_ == nullptr) throw std::logic_error("BufView: write to a read-only view");
    return writable_;
  }

  const char* view_;
  char* writable_;
};
