#include <gtest/gtest.h>

#include <ctime>

#include "platform/Platform.h"

namespace {

// Each thread keeps the last second it converted: seconds asked for in any order, again and again,
// still each give their own calendar time.
TEST(LocalTimeTest, EverySecondGivesItsOwnCalendarTimeInAnyOrder) {
  const std::time_t base = std::time(nullptr);
  const std::time_t order[] = {base, base, base + 1, base, base + 86400, base + 86400, base - 3600, base};
  for (std::time_t seconds : order) {
    const std::tm expected = *std::localtime(&seconds);
    const platform::LocalTime t = platform::localTimeOf(seconds);
    EXPECT_EQ(expected.tm_year + 1900, t.year) << seconds;
    EXPECT_EQ(expected.tm_mon + 1, t.month) << seconds;
    EXPECT_EQ(expected.tm_mday, t.day) << seconds;
    EXPECT_EQ(expected.tm_hour, t.hour) << seconds;
    EXPECT_EQ(expected.tm_min, t.minute) << seconds;
    EXPECT_EQ(expected.tm_sec, t.second) << seconds;
  }
}

}  // namespace
