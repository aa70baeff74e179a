#include "manager/IniOutline.h"

#include "manager/IniParser.h"

IniOutline::IniOutline(std::istream& in) {
  vark::AIniWalker::walkNumbered(
      in,
      [&](std::size_t line, auto nameBegin, auto nameEnd) {
        headers_.push_back(Header{line, std::string(nameBegin, nameEnd)});
      },
      [&](std::size_t line, auto keyBegin, auto keyEnd, auto valueBegin, auto valueEnd) {
        const std::size_t header = headers_.empty() ? kNone : headers_.size() - 1;
        keyLines_.push_back(
            KeyLine{line, header, std::string(keyBegin, keyEnd), std::string(valueBegin, valueEnd)});
      },
      [&](std::size_t line, auto begin, auto end) {
        malformedLine_ = line;
        malformedText_.assign(begin, end);
      });
}

std::size_t IniOutline::keptHeader(const std::string& name) const {
  const vark::CIStringEqual equal;
  for (std::size_t i = 0; i < headers_.size(); ++i) {
    if (equal(headers_[i].name, name)) return i;
  }
  return kNone;
}

const IniOutline::KeyLine* IniOutline::keptValue(const std::string& name, const std::string& key) const {
  const std::size_t header = keptHeader(name);
  if (header == kNone) return nullptr;
  const vark::CIStringEqual equal;
  const KeyLine* kept = nullptr;
  for (const KeyLine& line : keyLines_) {
    if (line.header == header && equal(line.key, key)) kept = &line;
  }
  return kept;
}
