#include "protocol/FieldCodec.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/JsonText.h"

using namespace fieldcodec;

namespace {

Json::Value parsed(const char* text) {
  Json::Value root;
  EXPECT_TRUE(jsontext::parse(text, root));
  return root;
}

}  // namespace

TEST(FieldCodecTest, ReadCodeReadsLeadingIntAndFallsBackTo998) {
  EXPECT_EQ(readCode("0"), 0);
  EXPECT_EQ(readCode("  -17"), -17);
  EXPECT_EQ(readCode("12abc"), 12);
  EXPECT_EQ(readCode("+5"), 5);
  EXPECT_EQ(readCode(""), 998);
  EXPECT_EQ(readCode("abc"), 998);
  EXPECT_EQ(readCode("true"), 998);
  EXPECT_EQ(readCode("2147483647"), 2147483647);
  EXPECT_EQ(readCode("2147483648"), 998);
  EXPECT_EQ(readCode("-2147483649"), 998);
  EXPECT_EQ(readInt("x", -1), -1);
}

// readInt is written by hand; formatted stream extraction is what it must give, for every text.
TEST(FieldCodecTest, ReadIntGivesWhatStreamExtractionGives) {
  auto extracted = [](const std::string& text) {
    std::istringstream in(text);
    int value = 0;
    return (in >> value) ? value : 998;
  };
  std::vector<std::string> texts = {"-0", "+", "-", "+-1", "--1", " \t\n\v\f\r7", "0x1A", "007",
                                    "-2147483648", "2147483647x", "99999999999999999999", "1 2",
                                    "\xa0" "5", std::string("3\0" "4", 3), "\x80"};
  // Every text of up to four characters from an alphabet of the characters that matter.
  const std::string alphabet = " +-019x";
  std::vector<std::string> level = {""};
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::string> next;
    for (const std::string& prefix : level) {
      for (char c : alphabet) next.push_back(prefix + c);
    }
    texts.insert(texts.end(), next.begin(), next.end());
    level.swap(next);
  }
  for (const std::string& text : texts) {
    EXPECT_EQ(extracted(text), readCode(text)) << '"' << text << '"';
  }
}

TEST(FieldCodecTest, Atol32SaturatesAtThe32BitRange) {
  EXPECT_EQ(atol32(""), 0);
  EXPECT_EQ(atol32(" \t42xyz"), 42);
  EXPECT_EQ(atol32("-1"), -1);
  EXPECT_EQ(atol32("+300"), 300);
  EXPECT_EQ(atol32("99999999999"), 2147483647);
  EXPECT_EQ(atol32("-99999999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(atol32("2147483648"), 2147483647);
}

TEST(FieldCodecTest, Strtoul32SaturatesAndWrapsNegativesLike32BitWindows) {
  EXPECT_EQ(strtoul32("500"), 500u);
  EXPECT_EQ(strtoul32("  30000ms"), 30000u);
  EXPECT_EQ(strtoul32("abc"), 0u);
  EXPECT_EQ(strtoul32("-1"), 4294967295u);
  EXPECT_EQ(strtoul32("-0"), 0u);
  EXPECT_EQ(strtoul32("4294967295"), 4294967295u);
  EXPECT_EQ(strtoul32("4294967296"), 4294967295u);
  EXPECT_EQ(strtoul32("99999999999"), 4294967295u);
  EXPECT_EQ(strtoul32("-99999999999"), 4294967295u);
}

TEST(FieldCodecTest, HexToDecimalCountsEveryCharacterAndWrapsAt64Bits) {
  EXPECT_EQ(hexToDecimal("000003E8"), "1000");
  EXPECT_EQ(hexToDecimal("ff"), "255");
  EXPECT_EQ(hexToDecimal(""), "0");
  EXPECT_EQ(hexToDecimal("1z"), "16");  // a non-digit still shifts
  EXPECT_EQ(hexToDecimal("FFFFFFFFFFFFFFFF"), "18446744073709551615");
  EXPECT_EQ(hexToDecimal("10000000000000001"), "1");
}

TEST(FieldCodecTest, HexToBytesStopsAtTheFirstZeroPair) {
  EXPECT_EQ(hexToBytes("414243000000"), "ABC");
  EXPECT_EQ(hexToBytes("41004200"), "A");
  EXPECT_EQ(hexToBytes("00414243"), "");
  EXPECT_EQ(hexToBytes("414"), std::string("A\x04"));   // odd last digit is a byte of its own
  EXPECT_EQ(hexToBytes("410"), "A");                    // ... unless it is 0
  EXPECT_EQ(hexToBytes("41000"), "A");                  // zero pair met: the odd digit is ignored
  EXPECT_EQ(hexToBytes("d4c1"), "\xd4\xc1");
  EXPECT_EQ(hexToBytes(""), "");
}

TEST(FieldCodecTest, VehicleSizeSplitsFourTwoTwoDigits) {
  EXPECT_EQ(vehicleSize("11940320"), "4500X3X32");
  EXPECT_EQ(vehicleSize("11940320FFFF"), "4500X3X32");
  EXPECT_EQ(vehicleSize("1194"), "1194");
  EXPECT_EQ(vehicleSize("1194032"), "1194032");
}

TEST(FieldCodecTest, PlateToHexPadsAndCutsToWidth) {
  EXPECT_EQ(plateToHex("ABC", kPlateHexWidth), "414243" + std::string(18, '0'));
  EXPECT_EQ(plateToHex("ABC", kPlateHexWidthGD), "414243" + std::string(14, '0'));
  EXPECT_EQ(plateToHex("", kPlateHexWidth), std::string(24, '0'));
  EXPECT_EQ(plateToHex("\xd4\xc1" "ABCDEFGHIJKLM", kPlateHexWidth), "d4c14142434445464748494a");
  EXPECT_EQ(plateToHex("ABCDEFGHIJKLMN", kPlateHexWidthGD), "4142434445464748494a");
}

TEST(FieldCodecTest, ToHexShowsTwosComplementAndKeepsLeadingDigits) {
  EXPECT_EQ(toHex("10", 2), "0a");
  EXPECT_EQ(toHex("300", 2), "12");
  EXPECT_EQ(toHex("-1", 2), "ff");
  EXPECT_EQ(toHex("-2", 8), "fffffffe");
  EXPECT_EQ(toHex("-1", 8), "ffffffff");
  EXPECT_EQ(toHex("1000", 8), "000003e8");
  EXPECT_EQ(toHex("", 2), "00");
  EXPECT_EQ(toHex("abc", 8), "00000000");
  EXPECT_EQ(toHex("99999999999", 8), "7fffffff");
}

TEST(FieldCodecTest, FieldConversionsLeaveAbsentAndNonStringMembersAlone) {
  Json::Value root = parsed(R"({"Balance": 5, "CardPlate": null, "OBUVehSize": "1194"})");
  convertObuInfoAnswer(root);
  EXPECT_EQ(root, parsed(R"({"Balance": 5, "CardPlate": null, "OBUVehSize": "1194"})"));
}

TEST(FieldCodecTest, ObuInfoAnswerConvertsEveryHexMember) {
  Json::Value root = parsed(R"({
    "Balance": "000003E8", "CardPlate": "41424300", "CardVehClass": "01", "CardVehUserType": "0a",
    "OBUPlate": "4a4b00", "OBUVehClass": "02", "OBUVehUserType": "10", "OBUVehSize": "11940320",
    "OBUWheelNo": "04", "OBUAxieNo": "02", "OBUWheelbase": "0100", "OBUWeight": "2710",
    "VehPlate": "5a", "VehType": "0c", "VehClass": "03", "LittleCashMoney": "000003e8",
    "OBUID": "ab", "ErrorCode": "0"})");
  convertObuInfoAnswer(root);
  EXPECT_EQ(root, parsed(R"({
    "Balance": "1000", "CardPlate": "ABC", "CardVehClass": "1", "CardVehUserType": "10",
    "OBUPlate": "JK", "OBUVehClass": "2", "OBUVehUserType": "16", "OBUVehSize": "4500X3X32",
    "OBUWheelNo": "4", "OBUAxieNo": "2", "OBUWheelbase": "256", "OBUWeight": "10000",
    "VehPlate": "Z", "VehType": "12", "VehClass": "3", "LittleCashMoney": "1000",
    "OBUID": "ab", "ErrorCode": "0"})"));
}

TEST(FieldCodecTest, CardAnswersConvertOnlyTheirOwnMembers) {
  const char* input = R"({"Balance": "10", "CardPlate": "41", "VehPlate": "42", "OBUPlate": "43",
                          "OBUVehSize": "11940320", "LittleTime": "0a"})";
  Json::Value cardNo = parsed(input);
  convertCardNoAnswer(cardNo);
  EXPECT_EQ(cardNo, parsed(R"({"Balance": "16", "CardPlate": "A", "VehPlate": "42",
                               "OBUPlate": "43", "OBUVehSize": "11940320", "LittleTime": "0a"})"));
  Json::Value cardInfo = parsed(input);
  convertCardInfoAnswer(cardInfo);
  EXPECT_EQ(cardInfo, parsed(R"({"Balance": "16", "CardPlate": "A", "VehPlate": "B",
                                 "OBUPlate": "43", "OBUVehSize": "11940320", "LittleTime": "10"})"));
}

TEST(FieldCodecTest, RequestEncodingsReadMembersAsText) {
  Json::Value root = parsed(R"({"VehType": "300", "CashMoney": "150"})");
  toHexField(root, "VehType", kSmallHexWidth);
  toHexField(root, "OutFlag", kSmallHexWidth);
  plateToHexField(root, "VehPlate", kPlateHexWidthGD);
  cashMoneyField(root, "CashMoney");
  EXPECT_EQ(root["VehType"], "12");
  EXPECT_EQ(root["OutFlag"], "00");
  EXPECT_EQ(root["VehPlate"], std::string(20, '0'));
  EXPECT_TRUE(root["CashMoney"].isInt());
  EXPECT_EQ(root["CashMoney"].asInt(), 150);

  Json::Value unreadable = parsed(R"({"CashMoney": "lots", "VehType": 3})");
  cashMoneyField(unreadable, "CashMoney");
  EXPECT_EQ(unreadable["CashMoney"].asInt(), -1);
  EXPECT_THROW(toHexField(unreadable, "VehType", kSmallHexWidth), std::runtime_error);
  Json::Value absent(Json::objectValue);
  cashMoneyField(absent, "CashMoney");
  EXPECT_EQ(absent["CashMoney"].asInt(), -1);
}
