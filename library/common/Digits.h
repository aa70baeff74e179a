// Fixed-width decimal fields written digit by digit, for the texts made on every call (packet send
// times, log line prefixes), where the general formatter costs more than the rest of the text.
#pragma once

namespace digits {

constexpr unsigned kBase = 10;

// Writes exactly `width` digits: the value zero-padded ("%0*d"), or, should it have more digits
// than that, its last `width` ones. Never anything but digits, so the fields of a time need no
// check and no other formatter. Returns the end.
inline char* putFixed(char* at, int value, int width) {
  auto rest = static_cast<unsigned>(value);
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + rest % kBase);
    rest /= kBase;
  }
  return at + width;
}

}  // namespace digits
