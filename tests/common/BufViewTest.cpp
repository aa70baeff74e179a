#include <gtest/gtest.h>

#include <cstring>

#include "common/BufView.h"

TEST(BufView, SzprintfCutsToSizeMinusOneAndTerminates) {
  char area[5];
  std::memset(area, 'z', sizeof area);
  BufView<5> view(area);
  view.szprintf("%d", 123456);
  EXPECT_STREQ(area, "1234");
}

TEST(BufView, SprintfWritesExactlyNCharactersWithoutTerminator) {
  char area[10];
  std::memset(area, '#', sizeof area);
  BufView<8> view(area);
  view.sprintf("%08d", 62);
  EXPECT_EQ(std::string(area, 10), "00000062##");
  view.sprintf("%08d", 123456789);  // wider than the field: the first 8 characters
  EXPECT_EQ(std::string(area, 10), "12345678##");
}

TEST(BufView, LiteralViewIsReadOnly) {
  BufView<5> cmd("03001");
  EXPECT_EQ(std::string(cmd.data(), cmd.size()), "03001");
  EXPECT_THROW(cmd.szprintf("x"), std::logic_error);
}
