#include "common/JsonText.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace jsontext {

bool parse(const std::string& text, Json::Value& root) {
  return parse(text.data(), text.data() + text.size(), root);
}

bool parse(const char* begin, const char* end, Json::Value& root) {
  return Reader().parse(begin, end, root);
}

bool Reader::parse(const char* begin, const char* end, Json::Value& root) {
  // The reader throws instead of failing for nesting deeper than it follows; such a text is as
  // unreadable as any other broken one, and a sender must not be able to turn it into an error
  // of the receiving code.
  try {
    return reader_.parse(begin, end, root, true);
  } catch (const std::exception&) {
    root = Json::Value();
    return false;
  }
}

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kEscapeScratch = 7;  // \u00XX and the terminator
constexpr const char* kIndentUnit = "\t";
constexpr const char* kColon = " : ";

bool hasAnyComment(const Json::Value& value) {
  return value.hasComment(Json::commentBefore) || value.hasComment(Json::commentAfterOnSameLine) ||
         value.hasComment(Json::commentAfter);
}

// The documents the library builds and receives for its requests and answers: objects of texts,
// integers, booleans, nulls and further such objects, without comments. Their styled text is
// written here directly; everything else (arrays, fractions, comments) goes through the JSON
// library, whose layout rules for those are not repeated here. Writing them here saves about a
// seventh of the client's instructions for a whole ListQuery call (make bench, callgrind).
bool isPlain(const Json::Value& value) {
  if (hasAnyComment(value)) return false;
  switch (value.type()) {
    case Json::nullValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::stringValue:
    case Json::booleanValue:
      return true;
    case Json::objectValue:
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!isPlain(*it)) return false;
      }
      return true;
    default:
      return false;
  }
}

// The escape of one byte as the styled writer with emitUTF8 writes it, or null for a byte written
// as it is: quote, backslash and the control characters are escaped, every other byte is not.
const char* escapeOf(unsigned char byte, char (&scratch)[kEscapeScratch]) {
  switch (byte) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default:
      if (byte >= kFirstPrintable) return nullptr;
      std::memcpy(scratch, "\\u00", 4);
      scratch[4] = kHexDigits[byte >> 4];
      scratch[5] = kHexDigits[byte & 0xF];
      scratch[6] = '\0';
      return scratch;
  }
}

void appendQuoted(std::string& out, const char* text, std::size_t size) {
  out += '"';
  const char* run = text;  // bytes from here on are copied in one piece
  char scratch[kEscapeScratch];
  for (const char* c = text; c != text + size; ++c) {
    const char* escape = escapeOf(static_cast<unsigned char>(*c), scratch);
    if (escape == nullptr) continue;
    out.append(run, c);
    out += escape;
    run = c + 1;
  }
  out.append(run, text + size);
  out += '"';
}

void appendPlain(std::string& out, const Json::Value& value, std::string& indent) {
  switch (value.type()) {
    case Json::nullValue:
      out += "null";
      return;
    case Json::intValue:
      out += std::to_string(value.asLargestInt());
      return;
    case Json::uintValue:
      out += std::to_string(value.asLargestUInt());
      return;
    case Json::booleanValue:
      out += value.asBool() ? "true" : "false";
      return;
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      value.getString(&begin, &end);
      appendQuoted(out, begin, static_cast<std::size_t>(end - begin));
      return;
    }
    default:
      break;
  }
  if (value.empty()) {
    out += "{}";
    return;
  }
  // A nested object opens on a line of its own, as the styled writer puts it.
  if (!indent.empty()) (out += '\n') += indent;
  out += '{';
  indent += kIndentUnit;
  for (auto it = value.begin(); it != value.end();) {
    (out += '\n') += indent;
    const char* nameEnd = nullptr;
    const char* name = it.memberName(&nameEnd);
    appendQuoted(out, name, static_cast<std::size_t>(nameEnd - name));
    out += kColon;
    appendPlain(out, *it, indent);
    if (++it != value.end()) out += ',';
  }
  indent.pop_back();
  (out += '\n') += indent;
  out += '}';
}

}  // namespace

StyledWriter::StyledWriter() : stream_(&sink_) {}

std::string StyledWriter::write(const Json::Value& value) {
  if (value.isObject() && isPlain(value)) {
    std::string out;
    std::string indent;
    appendPlain(out, value, indent);
    out += '\n';
    return out;
  }
  if (!writer_) {
    // The settings of the installed toStyledString, plus emitUTF8; built only when first needed.
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    writer_.reset(builder.newStreamWriter());
  }
  std::string out = value.hasComment(Json::commentBefore) ? "\n" : "";
  sink_.target(&out);
  stream_.clear();
  writer_->write(value, &stream_);
  sink_.target(nullptr);
  out += '\n';
  return out;
}

StyledWriter::StringSink::int_type StyledWriter::StringSink::overflow(int_type c) {
  if (out_ == nullptr) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    out_->push_back(traits_type::to_char_type(c));
  }
  return traits_type::not_eof(c);
}

std::streamsize StyledWriter::StringSink::xsputn(const char* data, std::streamsize size) {
  if (out_ == nullptr) return 0;
  out_->append(data, static_cast<std::size_t>(size));
  return size;
}

std::string styled(const Json::Value& value) { return StyledWriter().write(value); }

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
