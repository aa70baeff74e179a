#include "common/JsonText.h"

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

// The settings of the installed toStyledString, plus emitUTF8.
StyledWriter::StyledWriter() : stream_(&sink_) {
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  writer_.reset(builder.newStreamWriter());
}

std::string StyledWriter::write(const Json::Value& value) {
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
  if (!traits_type::eq_int_type(c, traits_type::eof())) out_->push_back(traits_type::to_char_type(c));
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
