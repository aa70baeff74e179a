// One step of an mvcall command line: a call of the library or a pause.
#pragma once

#include <optional>
#include <string>

struct CallStep {
  enum class Kind { Init, Uninit, Operation, Wait };

  Kind kind = Kind::Init;
  std::string name;           // the export's name (operations)
  int lane = 0;               // operations
  std::string input = "{}";   // operations: the JSON request
  int waitMs = 0;             // pauses

  // Reads "Init", "Uninit", "wait:MS" or "Operation:LANE[:JSON]" (the JSON may hold colons);
  // empty with `error` set when the text is none of these.
  static std::optional<CallStep> parse(const std::string& text, std::string& error);
};
