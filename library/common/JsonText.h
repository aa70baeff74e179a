// The library's JSON text conventions, in one place: how texts are read, written and taken apart.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include <json/json.h>

namespace jsontext {

// A reader kept for many texts, so that its buffers are made once. Reads as parse() below. One
// thread at a time.
class Reader {
 public:
  bool parse(const char* begin, const char* end, Json::Value& root);

 private:
  Json::Reader reader_;
};

// A writer kept for many documents, so that its settings are built once, and only for documents
// that need them (arrays, fractions, comments). Writes as styled() below. One thread at a time.
// Owned by the objects that use it rather than kept in a static: lanes still running when the
// process exits write JSON from their threads until the library's global object stops them, after
// statics made later than it are already gone.
class StyledWriter {
 public:
  StyledWriter();
  StyledWriter(const StyledWriter&) = delete;
  StyledWriter& operator=(const StyledWriter&) = delete;

  std::string write(const Json::Value& value);

 private:
  // Appends what the writer streams to one string, with no buffer of its own in between.
  class StringSink : public std::streambuf {
   public:
    void target(std::string* out) { out_ = out; }

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;

   private:
    std::string* out_ = nullptr;
  };

  std::unique_ptr<Json::StreamWriter> writer_;  // for what the plain path does not write
  StringSink sink_;
  std::ostream stream_;
};

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
