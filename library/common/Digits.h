// Fixed-width decimal fields written digit by digit, for the texts made on every call (packet send
// times, log line prefixes), where the general formatter costs more than the rest of the text.
#pragma once

namespace digits {

constexpr int kBase = 10;

// True when 0 <= value < 10^width, so that putFixed writes it exactly.
constexpr bool fits(int value, int width) {
  int limit = 1;
  for (int i = 0; i < width; ++i) limit *= kBase;
  return value >= 0 && value < limit;
}

// Writes a value that fits as exactly `width` zero-padded digits ("%0*d"); returns the end.
inline char* putFixed(char* at, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + value % kBase);
    value /= kBase;
  }
  return at + width;
}

}  // namespace digits
