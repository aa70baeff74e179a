#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "common/JsonText.h"

// A document of the kind the library writes itself (objects of texts, numbers, booleans and nulls),
// so that the writer's own layout is what is compared.
TEST(JsonText, StyledLayoutMatchesTheInstalledStyledWriter) {
  Json::Value root;
  root["b"] = "2";
  root["a"] = -7;
  root["c"]["inner"] = Json::Value();
  root["c"]["deeper"]["t"] = true;
  root["d"] = Json::Value(Json::objectValue);
  EXPECT_EQ(jsontext::styled(root), root.toStyledString());
  EXPECT_EQ(jsontext::styled(root),
            "{\n\t\"a\" : -7,\n\t\"b\" : \"2\",\n\t\"c\" : \n\t{\n\t\t\"deeper\" : \n\t\t{\n\t\t\t\"t\" : true\n\t\t},"
            "\n\t\t\"inner\" : null\n\t},\n\t\"d\" : {}\n}\n");
}

TEST(JsonText, GbkTextPassesThroughUnchanged) {
  const std::string plate = "\xd4\xc1" "A12345";  // GBK bytes of a plate with a Chinese province
  Json::Value root;
  root["VehPlate"] = plate;
  const std::string out = jsontext::styled(root);
  EXPECT_EQ(out, "{\n\t\"VehPlate\" : \"" + plate + "\"\n}\n");
  Json::Value back;
  ASSERT_TRUE(jsontext::parse(out, back));
  EXPECT_EQ(back["VehPlate"].asString(), plate);
}

TEST(JsonText, ControlCharactersAreStillEscaped) {
  Json::Value root;
  root["k"] = std::string("a\x01\n", 3);
  EXPECT_EQ(jsontext::styled(root), "{\n\t\"k\" : \"a\\u0001\\n\"\n}\n");
}

TEST(JsonText, TextOfEachType) {
  EXPECT_EQ(jsontext::text(Json::Value()), "");
  EXPECT_EQ(jsontext::text(Json::Value("12")), "12");
  EXPECT_EQ(jsontext::text(Json::Value(true)), "true");
  EXPECT_EQ(jsontext::text(Json::Value(false)), "false");
  for (const Json::Value& v : {Json::Value(1), Json::Value(1.5), Json::Value(Json::arrayValue),
                               Json::Value(Json::objectValue), Json::Value(Json::UInt64(1) << 40)}) {
    try {
      jsontext::text(v);
      ADD_FAILURE() << "no exception for " << v.toStyledString();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Type is not convertible to string");
    }
  }
}

TEST(JsonText, ParseAcceptsCommentsAndRejectsNonJson) {
  Json::Value root;
  EXPECT_TRUE(jsontext::parse("// lead\n{\"a\":1} /* tail */", root));
  EXPECT_EQ(root["a"].asInt(), 1);
  EXPECT_TRUE(jsontext::parse("null", root));
  EXPECT_TRUE(root.isNull());
  EXPECT_FALSE(jsontext::parse("", root));
  EXPECT_FALSE(jsontext::parse("abc", root));
  EXPECT_FALSE(jsontext::parse("{\"a\":", root));
}

TEST(JsonText, TextNestedDeeperThanTheReaderFollowsDoesNotParse) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  Json::Value root;
  EXPECT_FALSE(jsontext::parse(deep, root));
  const std::string shallow = std::string(100, '[') + std::string(100, ']');
  EXPECT_TRUE(jsontext::parse(shallow, root));
}

namespace {

// The installed library's own styled text, as the writer produced it before it wrote the plain
// documents itself.
std::string referenceStyled(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  return (value.hasComment(Json::commentBefore) ? "\n" : "") + Json::writeString(builder, value) +
         "\n";
}

}  // namespace

TEST(JsonText, WriterGivesTheInstalledLibrarysTextForEveryByteAndValueKind) {
  Json::Value root(Json::objectValue);
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    root["v" + std::to_string(byte)] = "a" + one + "b";
    root["n" + one + std::to_string(byte)] = byte;
  }
  root["int"]["min"] = Json::Int64(INT64_MIN);
  root["int"]["max"] = Json::UInt64(UINT64_MAX);
  root["int"]["neg"] = -1;
  root["flags"]["t"] = true;
  root["flags"]["f"] = false;
  root["flags"]["null"] = Json::Value();
  root["flags"]["empty"] = Json::Value(Json::objectValue);
  root["deep"]["a"]["b"]["c"] = "";

  jsontext::StyledWriter writer;
  EXPECT_EQ(referenceStyled(root), writer.write(root));
  // A writer used again gives the same text: nothing of the first document stays behind.
  EXPECT_EQ(referenceStyled(root), writer.write(root));
  const Json::Value empty(Json::objectValue);
  EXPECT_EQ("{}\n", writer.write(empty));
}

TEST(JsonText, WriterGivesTheInstalledLibrarysTextForArraysFractionsAndComments) {
  const char* texts[] = {
      "{\"a\":[1,2,{\"x\":[]}],\"b\":0.1,\"c\":-2.5e300}",
      "// lead\n{\"a\":\"1\" /* after */, \"b\":{\"c\":\"2\" // tail\n}}",
      "{\"long\":[\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\",\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\"]}",
      "[1,2]",
      "\"text\"",
      "7",
  };
  Json::Value plain;
  plain["k"] = "v";
  plain["n"]["m"] = 1;
  jsontext::StyledWriter writer;
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Json::Value doc;
    ASSERT_TRUE(jsontext::parse(text, doc));
    EXPECT_EQ(referenceStyled(doc), writer.write(doc));
    EXPECT_EQ(referenceStyled(doc), jsontext::styled(doc));
    // The writer's own path and the library's take turns on one writer without a trace of each
    // other.
    EXPECT_EQ(referenceStyled(plain), writer.write(plain));
    EXPECT_EQ(referenceStyled(doc), writer.write(doc));
  }
}
