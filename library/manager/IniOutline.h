// Where the headers and key lines of an INI text stand, read with the parser's own grammar. The
// parsed document says what a file holds; this says on which line, and what the parser skipped,
// so that a refused file can be explained to whoever wrote it.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

class IniOutline {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  struct Header {
    std::size_t line = 0;
    std::string name;  // between the brackets, as written
  };
  struct KeyLine {
    std::size_t line = 0;
    std::size_t header = kNone;  // index into headers(); kNone before the first header
    std::string key;             // as written, blanks before the '=' included
    std::string value;
  };

  // Reads the stream from where it stands to its end or to a malformed header.
  explicit IniOutline(std::istream& in);

  const std::vector<Header>& headers() const { return headers_; }
  const std::vector<KeyLine>& keyLines() const { return keyLines_; }
  // The line of the malformed header that ended the reading, 0 when the text was read whole.
  std::size_t malformedLine() const { return malformedLine_; }
  // That header's text, trimmed and without its comment.
  const std::string& malformedText() const { return malformedText_; }

  // The header of the section the parser keeps under `name` (the first of that name, letter case
  // ignored), or kNone.
  std::size_t keptHeader(const std::string& name) const;
  // The line whose value the parser keeps for `key` in that section (the last of that key), or
  // null.
  const KeyLine* keptValue(const std::string& name, const std::string& key) const;

 private:
  std::vector<Header> headers_;
  std::vector<KeyLine> keyLines_;
  std::size_t malformedLine_ = 0;
  std::string malformedText_;
};
