// A small INI reader: '#' and ';' start a comment anywhere in a line, section names and keys match
// without regard to the case of ASCII letters, and everything else is kept exactly as written. A
// UTF-8 byte-order mark at the start of the text is not part of it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "common/ByteOrderMark.h"

namespace vark {

// ASCII-only case folding and white space, so that bytes above 127 are never reclassified by the
// locale and never reach the C classification functions as negative values.
inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool isIniSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// h = h * 133 + upper(c) over the text, in unsigned 32-bit arithmetic.
struct CIStringHash {
  std::size_t operator()(const std::string& text) const;
};

// Same length and equal characters after folding ASCII letters to upper case.
struct CIStringEqual {
  bool operator()(const std::string& a, const std::string& b) const;
};

using IniSection = std::unordered_map<std::string, std::string, CIStringHash, CIStringEqual>;
using IniDocument = std::unordered_map<std::string, IniSection, CIStringHash, CIStringEqual>;

class AIniWalker {
 public:
  // Reads `in` line by line. Calls onSection(nameBegin, nameEnd) for a header and
  // onKeyValue(keyBegin, keyEnd, valueBegin, valueEnd) for a line holding '=', with iterators into
  // the current line. Returns true at the end of the stream, false at a malformed header (the rest
  // of the stream is left unread). A UTF-8 byte-order mark before the first line is skipped.
  template <typename Stream, typename OnSection, typename OnKeyValue>
  static bool walk(Stream& in, OnSection&& onSection, OnKeyValue&& onKeyValue) {
    return walkNumbered(
        in, [&](std::size_t, auto nameBegin, auto nameEnd) { onSection(nameBegin, nameEnd); },
        [&](std::size_t, auto keyBegin, auto keyEnd, auto valueBegin, auto valueEnd) {
          onKeyValue(keyBegin, keyEnd, valueBegin, valueEnd);
        },
        [](std::size_t, auto, auto) {});
  }

  // As walk, with the line's number (from 1) first in every call, and with
  // onMalformed(lineNumber, begin, end) called on the trimmed text of the malformed header that
  // ends the walk.
  template <typename Stream, typename OnSection, typename OnKeyValue, typename OnMalformed>
  static bool walkNumbered(Stream& in, OnSection&& onSection, OnKeyValue&& onKeyValue,
                           OnMalformed&& onMalformed) {
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
      if (number == 1) dropByteOrderMark(line);
      auto begin = line.cbegin();
      auto end = begin + static_cast<std::ptrdiff_t>(std::min(line.find_first_of("#;"), line.size()));
      begin = std::find_if_not(begin, end, isIniSpace);
      while (end != begin && isIniSpace(*(end - 1))) --end;
      if (begin == end) continue;
      if (*begin == '[') {
        if (end - begin < kShortestHeader || *(end - 1) != ']') {
          onMalformed(number, begin, end);
          return false;
        }
        onSection(number, begin + 1, end - 1);
        continue;
      }
      const auto eq = std::find(begin, end, '=');
      if (eq == end) continue;
      onKeyValue(number, begin, eq, eq + 1, end);
    }
    return true;
  }

 private:
  // "[" + one character + "]"
  static constexpr std::ptrdiff_t kShortestHeader = 3;
};

class AIniParserBase {
 public:
  // Fills `document` from `in`: the first occurrence of a repeated section wins, a later value of
  // a key replaces an earlier one, and a malformed header ends the reading with what was read so
  // far. Keys before the first header land in the section with the empty name. Returns false, and
  // leaves `document` alone, only when `in` is a file stream whose file is not open.
  template <typename Stream, typename Document>
  static bool parse(Stream& in, Document& document) {
    if (!isOpen(in)) return false;
    Document built;
    typename Document::key_type name;
    typename Document::mapped_type section;
    AIniWalker::walk(
        in,
        [&](auto nameBegin, auto nameEnd) {
          built.try_emplace(std::move(name), std::move(section));
          name.assign(nameBegin, nameEnd);
          section.clear();
        },
        [&](auto keyBegin, auto keyEnd, auto valueBegin, auto valueEnd) {
          section[std::string(keyBegin, keyEnd)].assign(valueBegin, valueEnd);
        });
    built.try_emplace(std::move(name), std::move(section));
    document = std::move(built);
    return true;
  }

 private:
  template <typename Stream>
  static auto isOpen(Stream& in, int) -> decltype(in.is_open()) {
    return in.is_open();
  }
  // Streams without a file (string streams in tests) are always readable.
  template <typename Stream>
  static bool isOpen(Stream&, long) {
    return true;
  }
  template <typename Stream>
  static bool isOpen(Stream& in) {
    return isOpen(in, 0);
  }
};

}  // namespace vark
