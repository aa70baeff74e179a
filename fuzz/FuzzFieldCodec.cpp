// The field conversions of card and OBU answers, on arbitrary JSON documents and texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include <json/json.h>

#include "common/JsonText.h"
#include "protocol/FieldCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Every text conversion on the raw bytes.
  fieldcodec::hexToDecimal(text);
  fieldcodec::hexToBytes(text);
  fieldcodec::vehicleSize(text);
  fieldcodec::readCode(text);
  fieldcodec::atol32(text);
  fieldcodec::strtoul32(text);
  fieldcodec::plateToHex(text, fieldcodec::kPlateHexWidth);
  fieldcodec::toHex(text, fieldcodec::kWideHexWidth);

  Json::Value root;
  if (!jsontext::parse(text, root) || !root.isObject()) return 0;
  Json::Value card = root, obu = root, info = root, request = root;
  fieldcodec::convertCardNoAnswer(card);
  fieldcodec::convertObuInfoAnswer(obu);
  fieldcodec::convertCardInfoAnswer(info);
  jsontext::styled(card);
  jsontext::styled(obu);
  jsontext::styled(info);
  // The request encodings read members as text, which raises for numbers, arrays and objects.
  try {
    fieldcodec::plateToHexField(request, "VehPlate", fieldcodec::kPlateHexWidth);
    fieldcodec::toHexField(request, "Balance", fieldcodec::kWideHexWidth);
    fieldcodec::cashMoneyField(request, "CashMoney");
  } catch (const std::runtime_error&) {
  }
  return 0;
}
