#include "ReferenceDocument.h"

#include <algorithm>
#include <regex>
#include <sstream>

#include "LibraryBinding.h"
#include "common/JsonText.h"

namespace refdoc {
namespace {

constexpr char kMarker[] = "<!-- example: ";
constexpr char kMarkerClose[] = " -->";
constexpr char kEndMarker[] = "<!-- end example -->";
constexpr char kFence[] = "```";
constexpr char kErrorMessageList[] = "The error object of result 3";

std::size_t lineOf(const std::string& text, std::size_t pos) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < pos && i < text.size(); ++i) line += text[i] == '\n';
  return line;
}

// The position just past the end of the line that holds `pos`.
std::size_t nextLine(const std::string& text, std::size_t pos) {
  const std::size_t end = text.find('\n', pos);
  return end == std::string::npos ? text.size() : end + 1;
}

bool readNumber(const std::string& text, int& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoi(text);
  return true;
}

// Reads "CALL [lane=N] [buffer=N] [answers=JSON]" into the example.
bool readMarker(const std::string& content, Example& example, std::string& error) {
  std::istringstream words(content);
  words >> example.call;
  if (example.call != "Init" && example.call != "Uninit" && example.call != "GetResponse" &&
      !isOperation(example.call)) {
    error = "unknown call '" + example.call + "'";
    return false;
  }
  std::string word;
  while (words >> word) {
    const std::size_t eq = word.find('=');
    const std::string key = word.substr(0, eq == std::string::npos ? word.size() : eq);
    const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
    if (key == "answers") {
      std::string rest;
      std::getline(words, rest);
      if (!jsontext::parse(value + rest, example.answers) || !example.answers.isObject()) {
        error = "answers= needs a JSON object";
        return false;
      }
      break;
    }
    const bool isLane = key == "lane";
    if (!(isLane || key == "buffer") ||
        !readNumber(value, isLane ? example.lane : example.capacity)) {
      error = "bad option '" + word + "'";
      return false;
    }
    example.showsCapacity = example.showsCapacity || !isLane;
  }
  return true;
}

// Reads the fenced request block at `pos`; `pos` moves past it.
bool readRequest(const std::string& doc, std::size_t& pos, std::size_t end, Example& example) {
  while (pos < end && doc[pos] == '\n') ++pos;
  if (doc.compare(pos, sizeof kFence - 1, kFence) != 0) return false;
  const std::size_t first = nextLine(doc, pos);
  const std::size_t close = doc.find(std::string("\n") + kFence, first - 1);
  if (close == std::string::npos || close >= end) return false;
  example.request = close < first ? std::string() : doc.substr(first, close - first);
  pos = nextLine(doc, close + 1);
  return true;
}

}  // namespace

bool isOperation(const std::string& call) {
  for (int i = 0; i < LibraryBinding::kOperationCount; ++i) {
    if (call == LibraryBinding::kOperationNames[i]) return true;
  }
  return false;
}

bool parse(const std::string& document, std::vector<Example>& examples, std::string& error) {
  examples.clear();
  std::size_t pos = 0;
  while ((pos = document.find(kMarker, pos)) != std::string::npos) {
    Example example;
    example.line = lineOf(document, pos);
    const std::string where = "line " + std::to_string(example.line) + ": ";
    const std::size_t contentBegin = pos + sizeof kMarker - 1;
    const std::size_t close = document.find(kMarkerClose, contentBegin);
    const std::size_t body = nextLine(document, pos);
    if (close == std::string::npos || close >= body) {
      error = where + "the marker is not closed on its line";
      return false;
    }
    if (!readMarker(document.substr(contentBegin, close - contentBegin), example, error)) {
      error = where + error;
      return false;
    }
    const std::size_t end = document.find(kEndMarker, body);
    const std::size_t next = document.find(kMarker, body);
    if (end == std::string::npos || next < end) {
      error = where + "no end marker before the next example";
      return false;
    }
    std::size_t shown = body;
    if (isOperation(example.call) && !readRequest(document, shown, end, example)) {
      error = where + "an operation's example starts with its request in a fenced block";
      return false;
    }
    example.shownBegin = shown;
    example.shownEnd = end;
    example.shown = document.substr(shown, end - shown);
    examples.push_back(std::move(example));
    pos = end;
  }
  return true;
}

std::string render(const Example& example, const Outcome& outcome) {
  std::string text = "Result `" + std::to_string(outcome.result) + "`";
  if (outcome.code) text += ", `*code` " + std::to_string(*outcome.code);
  if (example.showsCapacity) {
    text += outcome.lenAfter == example.capacity
                ? ", `*pLen` unchanged (" + std::to_string(example.capacity) + ")"
                : ", `*pLen` " + std::to_string(example.capacity) + " → " +
                      std::to_string(outcome.lenAfter);
  }
  if (example.call == "Uninit") return text + ".\n";
  if (!outcome.written) return text + ", `out` untouched.\n";
  if (outcome.output.empty()) return text + ", output: the empty text.\n";
  const char first = outcome.output[0];
  const char* language = (first == '{' || first == '[') ? "json" : "text";
  text += ", output:\n" + std::string(kFence) + language + "\n" + outcome.output;
  if (outcome.output.back() != '\n') text += '\n';
  return text + kFence + "\n";
}

std::string normalise(const std::string& text) {
  static const std::regex varying(
      "\"(OpSerialNo|ServerTime|PayTime|LastTime|TermTradeNo|CardTradeNo|Tac)\" : \"[^\"]*\"");
  return std::regex_replace(text, varying, "\"$1\" : \"…\"");
}

std::string rewrite(const std::string& document, const std::vector<Example>& examples,
                    const std::vector<std::string>& shown) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < examples.size() && i < shown.size(); ++i) {
    out.append(document, copied, examples[i].shownBegin - copied);
    out += shown[i];
    copied = examples[i].shownEnd;
  }
  out.append(document, copied, std::string::npos);
  return out;
}

bool unshownErrorMessages(const std::string& document, const std::vector<Example>& examples,
                          std::vector<std::string>& unshown, std::string& error) {
  const std::size_t begin = document.find(kErrorMessageList);
  if (begin == std::string::npos) {
    error = std::string("no paragraph beginning \"") + kErrorMessageList + "\"";
    return false;
  }
  const std::string paragraph = document.substr(begin, document.find("\n\n", begin) - begin);
  std::vector<std::string> listed;
  bool inCode = false;  // quotes inside `...` show the object's form, not a message
  for (std::size_t i = 0; i < paragraph.size(); ++i) {
    if (paragraph[i] == '`') inCode = !inCode;
    if (inCode || paragraph[i] != '"') continue;
    const std::size_t close = paragraph.find('"', i + 1);
    if (close == std::string::npos) break;
    listed.push_back(paragraph.substr(i + 1, close - i - 1));
    i = close;
  }
  if (listed.empty()) {
    error = std::string("the paragraph beginning \"") + kErrorMessageList + "\" lists no message";
    return false;
  }
  unshown.clear();
  for (const std::string& message : listed) {
    const std::string shown = "\"ErrMsg\" : \"" + message + "\"";
    const bool found = std::any_of(examples.begin(), examples.end(), [&](const Example& example) {
      return example.shown.find(shown) != std::string::npos;
    });
    if (!found) unshown.push_back(message);
  }
  return true;
}

}  // namespace refdoc
