#include "common/Digits.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string fixed(int value, int width) {
  char text[16];
  return std::string(text, digits::putFixed(text, value, width));
}

}  // namespace

TEST(Digits, WritesExactlyTheWidthInDigitsOnly) {
  EXPECT_EQ(fixed(7, 2), "07");
  EXPECT_EQ(fixed(0, 3), "000");
  EXPECT_EQ(fixed(2026, 4), "2026");
  // A value longer than its field keeps its last digits, and a negative one still gives digits:
  // no field of a packet or a log line can ever hold anything else.
  EXPECT_EQ(fixed(12345, 2), "45");
  EXPECT_EQ(fixed(-1, 3), "295");
}
