#include "manager/IniParser.h"

namespace vark {

namespace {
constexpr std::uint32_t kHashFactor = 133;
}

std::size_t CIStringHash::operator()(const std::string& text) const {
  std::uint32_t h = 0;
  for (char c : text) h = h * kHashFactor + static_cast<unsigned char>(asciiUpper(c));
  return h;
}

bool CIStringEqual::operator()(const std::string& a, const std::string& b) const {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return asciiUpper(x) == asciiUpper(y);
         });
}

}  // namespace vark
