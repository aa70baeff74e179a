// The value conversions of the lane-server protocol, as pure functions on texts and documents:
// the hex-coded members of card and OBU answers, the hex encodings of write requests and the
// reading of numeric texts. Numbers follow the 32-bit rules of the lane equipment: a long is 32
// bits wide, so texts come out the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <json/json.h>

namespace fieldcodec {

// Value returned by readCode when a text does not read as an int.
constexpr int kUnreadableCode = 998;
// Value of "CashMoney" when its text does not read as an int.
constexpr int kUnreadableCash = -1;

// Plate widths in hex characters, and the widths of the numeric hex fields.
constexpr std::size_t kPlateHexWidth = 24;
constexpr std::size_t kPlateHexWidthGD = 20;
constexpr std::size_t kSmallHexWidth = 2;
constexpr std::size_t kWideHexWidth = 8;

// A decimal int read by formatted stream extraction (leading blanks skipped, reading stops at the
// first character that cannot continue the number); `fallback` when nothing can be read or the
// number is outside the int range.
int readInt(const std::string& text, int fallback);
// readInt with 998: how result codes are read from "ErrorCode" texts.
int readCode(const std::string& text);

// atol on a 32-bit long: blanks, optional sign, decimal digits; 0 without digits; saturates at the
// 32-bit range.
std::int32_t atol32(const std::string& text);
// strtoul in base 10 on a 32-bit unsigned long: blanks, optional sign, digits; 0 without digits;
// values above 4294967295 give 4294967295; a minus sign negates modulo 2^32.
std::uint32_t strtoul32(const std::string& text);

// Value of one hex digit: 0-9, a-f, A-F; 0 for any other character.
unsigned hexDigitValue(char c);
// The text read as hex (every character shifts by 4 bits, non-digits count 0, wraps at 64 bits),
// written in decimal. "" gives "0".
std::string hexToDecimal(const std::string& text);
// Pairs of hex digits as bytes, up to the first pair that gives 0; an odd last digit is a byte of
// its own unless it is 0.
std::string hexToBytes(const std::string& text);
// Four hex digits, two, two (e.g. 11940320) as "4500X3X32"; texts under 8 characters unchanged.
std::string vehicleSize(const std::string& text);

// Each byte as two lower-case hex digits, filled up with '0' on the right or cut to `width`.
std::string plateToHex(const std::string& plate, std::size_t width);
// atol32 of the text in lower-case hex (32-bit two's complement for negatives), '0'-filled in
// front or cut to its first `width` digits.
std::string toHex(const std::string& text, std::size_t width);

// In-place conversions of one member of an object; absent or non-string members stay as they are.
void hexToDecimalField(Json::Value& root, const char* key);
void hexToBytesField(Json::Value& root, const char* key);
void vehicleSizeField(Json::Value& root, const char* key);

// In-place encodings of one member of a request; the member is read as text (a number, array or
// object raises std::runtime_error) and an absent one reads as "".
void plateToHexField(Json::Value& root, const char* key, std::size_t width);
void toHexField(Json::Value& root, const char* key, std::size_t width);
// "CashMoney": the text read as an int (-1 when unreadable), stored as a JSON number.
void cashMoneyField(Json::Value& root, const char* key);

// The conversions of whole answers: GetCardNo (OpType 2), GetOBUInfo (OpType 3) and GetCardInfo
// (ICReaderOP 2).
void convertCardNoAnswer(Json::Value& root);
void convertObuInfoAnswer(Json::Value& root);
void convertCardInfoAnswer(Json::Value& root);

}  // namespace fieldcodec
