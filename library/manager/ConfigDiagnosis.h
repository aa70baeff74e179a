// Says where in a refused configuration file the trouble lies and what stands there instead, for
// the log line that goes with the reason Init returns: the section, the line and the text as the
// file has them.
#pragma once

#include <string>

#include "manager/IniOutline.h"

class ConfigDiagnosis {
 public:
  explicit ConfigDiagnosis(const IniOutline& outline) : outline_(outline) {}

  // A key looked for in a section and not found, or the section itself missing: what the file has
  // in its place (the key with a blank before the '=', the key under a repeated header that is not
  // read, the header without its ']' that ended the reading, the sections there are).
  std::string missing(const std::string& section, const std::string& key) const;

  // A value found and refused; `problem` completes "KEY 'VALUE' in [SECTION] line N ..." (such as
  // "is out of range 1024 to 65535"). Explains a missing key as missing() does.
  std::string refused(const std::string& section, const std::string& key,
                      const std::string& problem) const;

  // The same value of `key` in two sections that must differ.
  std::string repeated(const std::string& firstSection, const std::string& secondSection,
                       const std::string& key) const;

 private:
  std::string missingSection(const std::string& section) const;
  // "[name] line N" of a header, as written.
  std::string headerAt(std::size_t header) const;
  // "KEY 'VALUE' in [SECTION] line N" of a kept value.
  std::string valueAt(const IniOutline::KeyLine& line) const;
  // "; line N: '[...' has no ']', the rest of the file was not read", or "" when it was read whole.
  std::string stopNote() const;

  const IniOutline& outline_;
};
