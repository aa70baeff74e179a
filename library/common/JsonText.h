// The library's JSON text conventions, in one place: how texts are read, written and taken apart.
#pragma once

#include <string>

#include <json/json.h>

namespace jsontext {

// Parses a text the way the library reads every JSON text it receives (comments collected).
// Returns false when the text is not JSON, nesting too deep for the reader included.
bool parse(const std::string& text, Json::Value& root);
bool parse(const char* begin, const char* end, Json::Value& root);

// The styled text of a document: tab indentation, members by name, one array element a line and a
// final line feed, with 8-bit text written through unchanged rather than escaped.
std::string styled(const Json::Value& value);

// A member read as text: null gives "", a string itself, a boolean "true" or "false"; a number, an
// array or an object raises std::runtime_error "Type is not convertible to string".
std::string text(const Json::Value& value);

// True when the value is a string of at least `minLength` bytes.
bool isStringOfAtLeast(const Json::Value& value, std::size_t minLength);

}  // namespace jsontext
