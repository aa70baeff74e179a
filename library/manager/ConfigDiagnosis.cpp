#include "manager/ConfigDiagnosis.h"

#include <algorithm>

#include "manager/IniParser.h"

namespace {

std::string withoutSpace(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), vark::isIniSpace), text.end());
  return text;
}

// The same text once white space is gone (letter case ignored), but not the same as written.
bool differsOnlyByBlanks(const std::string& written, const std::string& wanted) {
  return written.size() != wanted.size() && vark::CIStringEqual()(withoutSpace(written), wanted);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string lineText(std::size_t line) { return "line " + std::to_string(line); }

// What is wrong with a header the reading stopped at.
const char* headerFault(const std::string& header) {
  if (header.find(']') == std::string::npos) return " has no ']'";
  return header.back() == ']' ? " names no section" : " does not end in ']'";
}

}  // namespace

std::string ConfigDiagnosis::headerAt(std::size_t header) const {
  const IniOutline::Header& h = outline_.headers()[header];
  return "[" + h.name + "] " + lineText(h.line);
}

std::string ConfigDiagnosis::valueAt(const IniOutline::KeyLine& line) const {
  return line.key + " " + quoted(line.value) + " in [" + outline_.headers()[line.header].name + "] " +
         lineText(line.line);
}

std::string ConfigDiagnosis::stopNote() const {
  if (outline_.malformedLine() == 0) return std::string();
  const std::string& text = outline_.malformedText();
  return "; " + lineText(outline_.malformedLine()) + ": " + quoted(text) + headerFault(text) +
         ", the rest of the file was not read";
}

std::string ConfigDiagnosis::missing(const std::string& section, const std::string& key) const {
  const std::size_t header = outline_.keptHeader(section);
  if (header == IniOutline::kNone) return missingSection(section);
  const vark::CIStringEqual equal;
  for (const IniOutline::KeyLine& line : outline_.keyLines()) {
    if (line.header == header && differsOnlyByBlanks(line.key, key)) {
      // The line was trimmed, so a key's blanks are inside it or before the '='.
      const char* where = vark::isIniSpace(line.key.back()) ? " with a blank before '='" : " with a blank in it";
      return "key " + quoted(line.key) + where + " in [" + outline_.headers()[header].name + "] " +
             lineText(line.line);
    }
  }
  const std::string absent = "no key " + quoted(key) + " in " + headerAt(header);
  for (const IniOutline::KeyLine& line : outline_.keyLines()) {
    if (line.header == IniOutline::kNone || line.header == header || !equal(line.key, key)) continue;
    if (!equal(outline_.headers()[line.header].name, section)) continue;
    return absent + "; " + lineText(line.line) + " has it under the repeated header " +
           headerAt(line.header) + ", which is not read";
  }
  return absent + stopNote();
}

std::string ConfigDiagnosis::missingSection(const std::string& section) const {
  const std::string absent = "no section [" + section + "]";
  const auto& headers = outline_.headers();
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (differsOnlyByBlanks(headers[i].name, section)) {
      return absent + "; " + lineText(headers[i].line) + " has " + quoted("[" + headers[i].name + "]") +
             " with a blank in the name";
    }
  }
  const std::string stop = stopNote();
  if (!stop.empty()) return absent + stop;
  if (headers.empty()) return absent + "; the file has no section header";
  std::string found = absent + "; the file has ";
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (i > 0) found += ", ";
    found += headerAt(i);
  }
  return found;
}

std::string ConfigDiagnosis::refused(const std::string& section, const std::string& key,
                                     const std::string& problem) const {
  const IniOutline::KeyLine* line = outline_.keptValue(section, key);
  if (line == nullptr) return missing(section, key);
  return valueAt(*line) + " " + problem;
}

std::string ConfigDiagnosis::repeated(const std::string& firstSection, const std::string& secondSection,
                                      const std::string& key) const {
  const IniOutline::KeyLine* first = outline_.keptValue(firstSection, key);
  const IniOutline::KeyLine* second = outline_.keptValue(secondSection, key);
  if (first == nullptr || second == nullptr) return missing(first == nullptr ? firstSection : secondSection, key);
  return valueAt(*second) + " repeats " + valueAt(*first);
}
