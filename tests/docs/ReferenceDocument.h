// The examples of docs/operations.md: where they stand in the markdown, how a call's outcome is
// shown, and what may differ between runs.
//
// An example is written as
//
//   <!-- example: ReaderRead lane=1 buffer=4096 answers={"03010":{"NoAnswer":true}} -->
//   ```json
//   {"TimeOut":"500"}
//   ```
//   Result `2`, output: the empty text.
//   <!-- end example -->
//
// The marker names the call and, optionally, the lane, the buffer capacity passed in *pLen (which
// the text then shows) and the simulator's answers for this call only (its "Commands" object,
// last on the line). Operations have a request block; everything after it up to the end marker
// is what the call gave and is produced by running it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <json/json.h>

namespace refdoc {

constexpr int kDefaultCapacity = 4096;

struct Example {
  std::string call;                    // "Init", "Uninit", "GetResponse" or an operation
  int lane = 1;
  int capacity = kDefaultCapacity;
  bool showsCapacity = false;          // the marker gave buffer=
  Json::Value answers;                 // simulator "Commands" for this call; null: the defaults
  std::optional<std::string> request;  // operations: the request text
  std::size_t line = 0;                // the marker's line, from 1
  std::size_t shownBegin = 0;          // where the produced text stands in the document
  std::size_t shownEnd = 0;
  std::string shown;                   // the produced text as the document has it
};

// What one call gave back.
struct Outcome {
  int result = 0;
  bool written = false;  // the library wrote to out
  std::string output;
  int lenAfter = 0;
  std::optional<int> code;  // GetResponse: *code when written
};

// Splits the document into its examples; false with the reason (and line) on a malformed one.
bool parse(const std::string& document, std::vector<Example>& examples, std::string& error);

// The markdown that shows an outcome, as it stands after the request block.
std::string render(const Example& example, const Outcome& outcome);

// The text with the values that change from run to run (serial numbers, times, trade numbers)
// replaced by a placeholder.
std::string normalise(const std::string& text);

// The document with the produced text of every example replaced by `shown` (one per example).
std::string rewrite(const std::string& document, const std::vector<Example>& examples,
                    const std::vector<std::string>& shown);

bool isOperation(const std::string& call);

// The messages that the reference lists for the error object of result 3 (the quoted texts of the
// paragraph that begins "The error object of result 3") and that no example shows as
// "ErrMsg" : "MESSAGE". The examples are run against the library, so a listed message that an
// example shows is one the library returns. False with the reason when the list is not found.
bool unshownErrorMessages(const std::string& document, const std::vector<Example>& examples,
                          std::vector<std::string>& unshown, std::string& error);

}  // namespace refdoc
