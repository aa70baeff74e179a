#include "common/JsonText.h"

#include <memory>
#include <stdexcept>

namespace jsontext {

bool parse(const std::string& text, Json::Value& root) {
  return parse(text.data(), text.data() + text.size(), root);
}

bool parse(const char* begin, const char* end, Json::Value& root) {
  Json::Reader reader;
  // The reader throws instead of failing for nesting deeper than it follows; such a text is as
  // unreadable as any other broken one, and a sender must not be able to turn it into an error
  // of the receiving code.
  try {
    return reader.parse(begin, end, root, true);
  } catch (const std::exception&) {
    root = Json::Value();
    return false;
  }
}

namespace {

// The settings of the installed toStyledString, plus emitUTF8. Built per call rather than kept in
// a static: lanes still running when the process exits write JSON from their threads until the
// library's global object stops them, after statics made later than it are already destroyed.
Json::StreamWriterBuilder styledBuilder() {
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  return builder;
}

}  // namespace

std::string styled(const Json::Value& value) {
  std::string out = value.hasComment(Json::commentBefore) ? "\n" : "";
  out += Json::writeString(styledBuilder(), value);
  out += '\n';
  return out;
}

std::string text(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return std::string();
    case Json::stringValue:
      return value.asString();
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    default:
      throw std::runtime_error("Type is not convertible to string");
  }
}

bool isStringOfAtLeast(const Json::Value& value, std::size_t minLength) {
  return value.isString() && value.asString().size() >= minLength;
}

}  // namespace jsontext
