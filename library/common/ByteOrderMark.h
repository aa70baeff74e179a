// The UTF-8 byte-order mark that Windows editors put at the start of a text file.
#pragma once

#include <string>

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Removes a byte-order mark from the start of a file's first line; other lines are left alone.
inline void dropByteOrderMark(std::string& firstLine) {
  constexpr std::size_t kSize = sizeof kUtf8ByteOrderMark - 1;
  if (firstLine.compare(0, kSize, kUtf8ByteOrderMark) == 0) firstLine.erase(0, kSize);
}
