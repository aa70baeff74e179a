#include "protocol/FieldCodec.h"

#include <cctype>
#include <cstdio>

#include "common/JsonText.h"

namespace fieldcodec {

namespace {

constexpr std::uint64_t kUint32Max = 0xFFFFFFFFULL;
constexpr std::int64_t kInt32Max = 0x7FFFFFFFLL;
constexpr std::int64_t kInt32Min = -0x80000000LL;
constexpr unsigned kHexRadix = 16;
constexpr unsigned kDecimalRadix = 10;
constexpr std::size_t kSizeField1 = 4;  // vehicle size: length, then width and height
constexpr std::size_t kSizeField2 = 2;
constexpr std::size_t kSizeField3 = 2;
constexpr std::size_t kSizeMinLength = kSizeField1 + kSizeField2 + kSizeField3;

// Blanks, an optional sign and decimal digits, as atol and strtoul read them. The magnitude
// saturates just above the 32-bit range, which is all either caller needs to know.
struct DecimalText {
  bool negative = false;
  std::uint64_t magnitude = 0;
  bool saturated = false;
  std::size_t digits = 0;
};

DecimalText scanDecimal(const std::string& text) {
  DecimalText d;
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    d.negative = text[i] == '-';
    ++i;
  }
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    ++d.digits;
    if (d.saturated) continue;
    d.magnitude = d.magnitude * kDecimalRadix + static_cast<unsigned>(text[i] - '0');
    if (d.magnitude > kUint32Max) d.saturated = true;
  }
  return d;
}

bool hasString(const Json::Value& root, const char* key) {
  return root.isObject() && root.isMember(key) && root[key].isString();
}

// A member read as text without creating it when absent.
std::string memberText(const Json::Value& root, const char* key) {
  const Json::Value& constRoot = root;
  return jsontext::text(constRoot[key]);
}

}  // namespace

// What formatted extraction of an int from the text gives: blanks skipped, a sign, at least one
// digit, reading stops at the first character that cannot continue the number, and a value outside
// the int range is a failure. Done by hand: a string stream per answer costs more than the rest of
// reading it.
int readInt(const std::string& text, int fallback) {
  const DecimalText d = scanDecimal(text);
  if (d.digits == 0 || d.saturated) return fallback;
  const std::int64_t value = d.negative ? -static_cast<std::int64_t>(d.magnitude)
                                        : static_cast<std::int64_t>(d.magnitude);
  if (value > kInt32Max || value < kInt32Min) return fallback;
  return static_cast<int>(value);
}

int readCode(const std::string& text) { return readInt(text, kUnreadableCode); }

std::int32_t atol32(const std::string& text) {
  const DecimalText d = scanDecimal(text);
  if (d.saturated) return d.negative ? static_cast<std::int32_t>(kInt32Min)
                                     : static_cast<std::int32_t>(kInt32Max);
  const std::int64_t value = d.negative ? -static_cast<std::int64_t>(d.magnitude)
                                        : static_cast<std::int64_t>(d.magnitude);
  if (value > kInt32Max) return static_cast<std::int32_t>(kInt32Max);
  if (value < kInt32Min) return static_cast<std::int32_t>(kInt32Min);
  return static_cast<std::int32_t>(value);
}

std::uint32_t strtoul32(const std::string& text) {
  const DecimalText d = scanDecimal(text);
  if (d.saturated) return static_cast<std::uint32_t>(kUint32Max);
  const auto magnitude = static_cast<std::uint32_t>(d.magnitude);
  return d.negative ? static_cast<std::uint32_t>(0U - magnitude) : magnitude;
}

unsigned hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 0;
}

std::string hexToDecimal(const std::string& text) {
  unsigned long long value = 0;
  for (char c : text) value = value * kHexRadix + hexDigitValue(c);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%llu", value);
  return buffer;
}

std::string hexToBytes(const std::string& text) {
  std::string bytes;
  std::size_t i = 0;
  for (; i + 1 < text.size(); i += 2) {
    const unsigned byte = hexDigitValue(text[i]) * kHexRadix + hexDigitValue(text[i + 1]);
    if (byte == 0) return bytes;
    bytes.push_back(static_cast<char>(byte));
  }
  if (i < text.size()) {
    const unsigned last = hexDigitValue(text[i]);
    if (last != 0) bytes.push_back(static_cast<char>(last));
  }
  return bytes;
}

std::string vehicleSize(const std::string& text) {
  if (text.size() < kSizeMinLength) return text;
  return hexToDecimal(text.substr(0, kSizeField1)) + "X" +
         hexToDecimal(text.substr(kSizeField1, kSizeField2)) + "X" +
         hexToDecimal(text.substr(kSizeField1 + kSizeField2, kSizeField3));
}

std::string plateToHex(const std::string& plate, std::size_t width) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(plate.size() * 2);
  for (char c : plate) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  hex.resize(width, '0');
  return hex;
}

std::string toHex(const std::string& text, std::size_t width) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%x",
                              static_cast<unsigned>(static_cast<std::uint32_t>(atol32(text))));
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::string(width, 'f');
  std::string hex(buffer, static_cast<std::size_t>(n));
  if (hex.size() < width) return std::string(width - hex.size(), '0') + hex;
  return hex.substr(0, width);
}

void hexToDecimalField(Json::Value& root, const char* key) {
  if (hasString(root, key)) root[key] = hexToDecimal(root[key].asString());
}

void hexToBytesField(Json::Value& root, const char* key) {
  if (hasString(root, key)) root[key] = hexToBytes(root[key].asString());
}

void vehicleSizeField(Json::Value& root, const char* key) {
  if (hasString(root, key)) root[key] = vehicleSize(root[key].asString());
}

void plateToHexField(Json::Value& root, const char* key, std::size_t width) {
  root[key] = plateToHex(memberText(root, key), width);
}

void toHexField(Json::Value& root, const char* key, std::size_t width) {
  root[key] = toHex(memberText(root, key), width);
}

void cashMoneyField(Json::Value& root, const char* key) {
  root[key] = readInt(memberText(root, key), kUnreadableCash);
}

namespace {

// The card and vehicle members common to the OBU and card answers, after the plate.
void convertCardVehicleMembers(Json::Value& root) {
  hexToDecimalField(root, "CardVehClass");
  hexToDecimalField(root, "CardVehUserType");
}

void convertIssuedVehicleMembers(Json::Value& root) {
  hexToBytesField(root, "VehPlate");
  for (const char* key : {"VehType", "VehClass", "LittleCashMoney", "LittleTime"}) {
    hexToDecimalField(root, key);
  }
}

}  // namespace

void convertCardNoAnswer(Json::Value& root) {
  hexToDecimalField(root, "Balance");
  hexToBytesField(root, "CardPlate");
  convertCardVehicleMembers(root);
}

void convertObuInfoAnswer(Json::Value& root) {
  convertCardNoAnswer(root);
  hexToBytesField(root, "OBUPlate");
  hexToDecimalField(root, "OBUVehClass");
  hexToDecimalField(root, "OBUVehUserType");
  vehicleSizeField(root, "OBUVehSize");
  for (const char* key : {"OBUWheelNo", "OBUAxieNo", "OBUWheelbase", "OBUWeight"}) {
    hexToDecimalField(root, key);
  }
  convertIssuedVehicleMembers(root);
}

void convertCardInfoAnswer(Json::Value& root) {
  convertCardNoAnswer(root);
  convertIssuedVehicleMembers(root);
}

}  // namespace fieldcodec
