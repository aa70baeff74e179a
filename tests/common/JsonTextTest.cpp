#include <gtest/gtest.h>

#include <stdexcept>

#include "common/JsonText.h"

TEST(JsonText, StyledLayoutMatchesTheInstalledStyledWriter) {
  Json::Value root;
  root["b"] = "2";
  root["a"] = Json::Value(Json::arrayValue);
  root["a"].append(1);
  root["a"].append("x");
  root["c"]["inner"] = Json::Value();
  root["d"] = Json::Value(Json::objectValue);
  EXPECT_EQ(jsontext::styled(root), root.toStyledString());
  EXPECT_EQ(jsontext::styled(root),
            "{\n\t\"a\" : \n\t[\n\t\t1,\n\t\t\"x\"\n\t],\n\t\"b\" : \"2\",\n\t\"c\" : \n\t{\n\t\t\"inner\" : null\n\t},"
            "\n\t\"d\" : {}\n}\n");
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
